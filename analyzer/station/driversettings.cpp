#include "driversettings.h"

#include "driverkeys.h"
#include "frequency.h"
#include "pttport.h"
#include "settingsstore.h"

namespace sondrel {
namespace {

namespace keys = pelorin::keys;

constexpr double kFallbackHz = 1000.0;
const QString kAnalyzerSettings = QStringLiteral("Sondrel");
const QString kSerialPortsSection = QStringLiteral("Serial ports");
const QString kSummitOption = QStringLiteral("summit");

QString defaultSerialDevice(int comPort)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(comPort);
#else
    return QStringLiteral("/dev/ttyS%1").arg(comPort - 1);
#endif
}

} // namespace

QString profileName(const QString& profileOption)
{
    return profileOption.compare(kSummitOption, Qt::CaseInsensitive) == 0 ? keys::kSummitProfile
                                                                           : keys::kClassicProfile;
}

QString serialDeviceFor(int comPort)
{
    const fw::SettingsStore store(kAnalyzerSettings, keys::kOrganisation);
    return store.GetProfileString(kSerialPortsSection, QStringLiteral("COM%1").arg(comPort),
                                  defaultSerialDevice(comPort));
}

DriverSettings readDriverSettings(const QString& profile)
{
    const fw::SettingsStore store(profile, keys::kOrganisation);
    DriverSettings settings;
    const int ptt = pelorin::PttIndexFromText(
        store.GetProfileString(keys::kSection, keys::kPtt, keys::kDefaultPtt));
    if (ptt != pelorin::kPttNone) {
        settings.comPort = ptt - pelorin::kPttCom1 + 1;
        settings.pttDevice = serialDeviceFor(settings.comPort);
    }
    settings.reverseOutput = store.GetProfileInt(keys::kSection, keys::kReverseOutputChannel,
                                                 keys::kDefaultReverseOutputChannel) != 0;
    settings.storedIf = store.GetProfileString(keys::kSection, keys::kIf, keys::kDefaultIf);
    // Pelorin shows 0 for anything outside its band, and 0 is no frequency to work on.
    const double hz = pelorin::FrequencyFromStored(settings.storedIf);
    settings.ifFellBack = !(hz >= kLowestUsableHz && hz <= kHighestUsableHz);
    settings.centreHz = settings.ifFellBack ? kFallbackHz : hz;
    return settings;
}

QStringList describe(const DriverSettings& settings, const QString& profile, bool keys)
{
    QStringList lines;
    if (keys)
        lines << (settings.comPort == 0
                  ? QStringLiteral("PTT: none (the transmitter keys itself, by VOX)")
                  : QStringLiteral("PTT: COM%1, RTS and DTR of %2").arg(settings.comPort).arg(settings.pttDevice));
    if (settings.ifFellBack)
        lines << QStringLiteral("IF \"%1\" from \"%2\" cannot be used: working at %3 Hz; "
                                "set the centre frequency with Pelorin")
                     .arg(settings.storedIf, profile)
                     .arg(settings.centreHz);
    else
        lines << QStringLiteral("IF: %1 Hz").arg(settings.centreHz);
    lines << QStringLiteral("output: %1 channel").arg(settings.reverseOutput ? QStringLiteral("right")
                                                                           : QStringLiteral("left"));
    return lines;
}

} // namespace sondrel
