#pragma once
// The three values Pelorin stores for the analyzer's PSK31 driver, read by
// Pelorin's own rules, and what the analyzer makes of them: which serial
// device keys the transmitter, the centre frequency it can really use, and the
// output channel.

#include <QString>
#include <QStringList>

namespace sondrel {

struct DriverSettings {
    int comPort = 0;             // 1 to 4 for COM1 to COM4; 0 for no keying line
    QString pttDevice;           // the serial device behind comPort
    double centreHz = 1000.0;    // what the modem uses
    QString storedIf;            // the "IF" text as Pelorin stored it
    bool ifFellBack = false;     // the stored IF could not be used
    bool reverseOutput = false;  // transmit on the right channel
};

// The product profile's settings tree: "Sondrel Classic", or "Sondrel Summit"
// for the name "summit".
QString profileName(const QString& profileOption);

// The centre frequencies the modem can use: the signal and its 100 Hz tracking
// range must stay clear of 0 Hz; Pelorin's own bound is the upper one.
constexpr double kLowestUsableHz = 200.0;
constexpr double kHighestUsableHz = 4000.0;

// Reads the profile's section afresh. A centre frequency outside the usable
// range falls back to 1000 Hz.
DriverSettings readDriverSettings(const QString& profile);

// One line per value for the log; a fall-back says why and where to change it.
// Without `keys`, the PTT value is left out: the keying comes from elsewhere.
QStringList describe(const DriverSettings& settings, const QString& profile, bool keys = true);

// The analyzer's own mapping of COMn to a device, in its settings "Sondrel",
// section "Serial ports", keys "COM1" to "COM4"; /dev/ttyS0 to /dev/ttyS3 by
// default (COM1 to COM4 on Windows).
QString serialDeviceFor(int comPort);

} // namespace sondrel
