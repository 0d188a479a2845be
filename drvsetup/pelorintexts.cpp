#include "pelorintexts.h"

#include "driverkeys.h"
#include "frequency.h"

#include <QCoreApplication>

namespace pelorin::texts {

QString AboutMenuItem()
{
    return QCoreApplication::translate("Pelorin", "&About Pelorin...");
}

QString HelpTitle()
{
    return QCoreApplication::translate("Pelorin", "Pelorin Help");
}

QString EnterNumber()
{
    return QCoreApplication::translate("Pelorin", "Please enter a number.");
}

QString EnterNumberBetween(double low, double high)
{
    return QCoreApplication::translate("Pelorin", "Please enter a number between %1 and %2.")
        .arg(FormatForField(low), FormatForField(high));
}

QString SaveFailed(const QString& fileName)
{
    return QCoreApplication::translate("Pelorin", "The driver settings could not be saved to\n%1\n\n"
                                                  "The PSK31 driver will not see the values shown. Make sure this file "
                                                  "and its folder can be written, then press OK to try again, or press "
                                                  "Cancel to leave without saving.")
        .arg(fileName);
}

QString UsageText()
{
    return QCoreApplication::translate("Pelorin", "Usage: pelorin [profile]\n"
                                                  "Edits the PTT port, centre frequency and Reverse Output Channel setting\n"
                                                  "of the PSK31 driver.\n"
                                                  "\n"
                                                  "  profile    an argument containing \"Pro\" edits the %1 settings;\n"
                                                  "             any other, or none, edits the %2 settings\n"
                                                  "  --help     show this text and exit\n"
                                                  "  --version  show the version and exit\n")
        .arg(keys::kSummitProfile, keys::kClassicProfile);
}

QString VersionText()
{
    return QStringLiteral("Pelorin %1\n").arg(kVersion);
}

} // namespace pelorin::texts
