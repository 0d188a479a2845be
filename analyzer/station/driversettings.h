#pragma once
// The three values Pelorin stores for the analyzer's PSK31 driver, read by
// Pelorin's own rules, and what the analyzer makes of them: which serial
// device keys the transmitter, the centre frequency it can really use, and the
// output channel.

#include <QString>
#include <QStringList>

namespace sondrel {

struct DriverSettings {
    // What became of the stored IF: used, or why the fall-back frequency is used.
    enum class If {
        Usable,
        NotSet, // nothing stored, or what Pelorin shows as 0 before one is set
        OutsidePelorin, // a number outside Pelorin's 0 to 4000 Hz
        OutsideReceiver, // in Pelorin's band but not receivable at this sample rate
    };

    int comPort = 0;             // 1 to 4 for COM1 to COM4; 0 for no keying line
    QString pttDevice;           // the serial device behind comPort
    double centreHz = 1000.0;    // what the modem uses
    QString storedIf; // the "IF" text as Pelorin stored it; null when none is
    If ifStatus = If::Usable;
    double sampleRate = 0; // the signal path's, which bounds the usable IF
    bool reverseOutput = false;  // transmit on the right channel
};

// The product profile's settings tree: "Sondrel Classic", or "Sondrel Summit"
// for the name "summit".
QString profileName(const QString& profileOption);

// The centre frequencies the receiver can follow at `sampleRate`: the signal
// and its tracking range must stay clear of 0 Hz and of half the sample rate.
struct UsableRange {
    double lowestHz;
    double highestHz;
};
UsableRange usableRange(double sampleRate);

// Reads the profile's section afresh. A centre frequency Pelorin would not
// show, or one the receiver cannot follow at `sampleRate`, falls back to 1000 Hz.
DriverSettings readDriverSettings(const QString& profile, double sampleRate);

// One line per value for the log; a fall-back says why and where to change it.
// Without `keys`, the PTT value is left out: the keying comes from elsewhere.
QStringList describe(const DriverSettings& settings, const QString& profile, bool keys = true);

// The analyzer's own mapping of COMn to a device, in its settings "Sondrel",
// section "Serial ports", keys "COM1" to "COM4"; /dev/ttyS0 to /dev/ttyS3 by
// default (COM1 to COM4 on Windows).
QString serialDeviceFor(int comPort);

} // namespace sondrel
