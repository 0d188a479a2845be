#include "driversettings.h"

#include "driverkeys.h"
#include "frequency.h"
#include "link/linkserver.h"
#include "psk31/demodulator.h"
#include "pttport.h"
#include "settingsstore.h"

#include <algorithm>

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

UsableRange usableRange(double sampleRate)
{
    const double afcRange = psk31::Demodulator::Config{}.afcRangeHz;
    return {
        psk31::Demodulator::lowestCarrier(afcRange),
        std::min(pelorin::kMaxFrequency, psk31::Demodulator::highestCarrier(sampleRate, afcRange))};
}

QString serialDeviceFor(int comPort)
{
    const fw::SettingsStore store(kAnalyzerSettings, keys::kOrganisation);
    return store.GetProfileString(kSerialPortsSection, QStringLiteral("COM%1").arg(comPort),
                                  defaultSerialDevice(comPort));
}

DriverSettings readDriverSettings(const QString& profile, double sampleRate)
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
    settings.sampleRate = sampleRate;
    // Read with no default, so a value never stored shows as one never set.
    settings.storedIf = store.GetProfileString(keys::kSection, keys::kIf, QString());
    // Pelorin shows 0 for anything outside its band, and 0 is no frequency to work on.
    const double hz = pelorin::FrequencyFromStored(settings.storedIf);
    const UsableRange usable = usableRange(sampleRate);
    if (settings.storedIf.isNull() || pelorin::AtofDecimal(settings.storedIf) == 0)
        settings.ifStatus = DriverSettings::If::NotSet;
    else if (hz == 0)
        settings.ifStatus = DriverSettings::If::OutsidePelorin;
    else if (hz < usable.lowestHz || hz > usable.highestHz)
        settings.ifStatus = DriverSettings::If::OutsideReceiver;
    settings.centreHz = settings.ifStatus == DriverSettings::If::Usable ? hz : kFallbackHz;
    return settings;
}

QStringList describe(const DriverSettings& settings, const QString& profile, bool keys)
{
    QStringList lines;
    if (keys)
        lines << (settings.comPort == 0
                  ? QStringLiteral("PTT: none (the transmitter keys itself, by VOX)")
                  : QStringLiteral("PTT: COM%1, RTS and DTR of %2").arg(settings.comPort).arg(settings.pttDevice));
    // The stored text may hold anything, a NUL included, so it is shown escaped.
    const QString stored = QLatin1Char('"') + printable(settings.storedIf.toUtf8())
        + QLatin1Char('"');
    const QString fallBack = QStringLiteral("working at %1 Hz").arg(settings.centreHz);
    const QString setIt = QStringLiteral("; set the centre frequency with Pelorin");
    const UsableRange usable = usableRange(settings.sampleRate);
    switch (settings.ifStatus) {
    case DriverSettings::If::Usable:
        lines << QStringLiteral("IF: %1 Hz").arg(settings.centreHz);
        break;
    case DriverSettings::If::NotSet:
        lines << QStringLiteral("no IF set with Pelorin yet (\"%1\" holds %2): %3")
                     .arg(profile, settings.storedIf.isNull() ? QStringLiteral("none") : stored,
                          fallBack);
        break;
    case DriverSettings::If::OutsidePelorin:
        lines << QStringLiteral("IF %1 from \"%2\" is outside Pelorin's 0 to %3 Hz: %4%5")
                     .arg(stored, profile)
                     .arg(pelorin::kMaxFrequency)
                     .arg(fallBack, setIt);
        break;
    case DriverSettings::If::OutsideReceiver:
        lines << QStringLiteral("IF %1 Hz from \"%2\" cannot be received at %3 samples a second "
                                "(%4 to %5 Hz): %6%7")
                     .arg(pelorin::FrequencyFromStored(settings.storedIf))
                     .arg(profile)
                     .arg(settings.sampleRate)
                     .arg(usable.lowestHz)
                     .arg(usable.highestHz)
                     .arg(fallBack, setIt);
        break;
    }
    lines << QStringLiteral("output: %1 channel").arg(settings.reverseOutput ? QStringLiteral("right")
                                                                           : QStringLiteral("left"));
    return lines;
}

} // namespace sondrel
