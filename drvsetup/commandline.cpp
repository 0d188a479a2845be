#include "commandline.h"

#include "driverkeys.h"

namespace pelorin {

namespace {
bool isSwitch(const QString& argument)
{
    return argument.startsWith(QLatin1Char('/')) || argument.startsWith(QLatin1Char('-'));
}
} // namespace

CommandLineAction FindCommandLineAction(const QStringList& arguments)
{
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--help"))
            return CommandLineAction::ShowUsage;
        if (argument == QLatin1String("--version"))
            return CommandLineAction::ShowVersion;
    }
    return CommandLineAction::Run;
}

QString ChooseProfile(const QStringList& arguments)
{
    for (const QString& argument : arguments) {
        if (isSwitch(argument))
            continue;
        return argument.contains(QLatin1String("Pro"), Qt::CaseSensitive) ? keys::kSummitProfile
                                                                           : keys::kClassicProfile;
    }
    return keys::kClassicProfile;
}

} // namespace pelorin
