#pragma once
// Keys the transmitter through Hamlib: the RTS and DTR lines of a serial port,
// the radio's CAT command, or a rigctld daemon. The serial port is opened once
// and kept open with both lines low, so opening never keys the radio and a
// process that dies closes it, which lowers the lines.

#include <QString>
#include <memory>

namespace sondrel {

struct PttConfig {
    enum class Kind { None, SerialLines, Cat, Rigctld };
    Kind kind = Kind::None;
    QString device;     // SerialLines: the port; Cat: the radio's CAT port
    int rigModel = 0;   // Cat: Hamlib's model number
    QString address;    // Rigctld: host:port

    bool operator==(const PttConfig&) const = default;
};

class Ptt {
public:
    explicit Ptt(PttConfig config);
    ~Ptt();  // unkeys and closes
    Ptt(const Ptt&) = delete;
    Ptt& operator=(const Ptt&) = delete;

    bool open();
    const PttConfig& config() const { return m_config; }
    bool set(bool keyed);
    bool keyed() const { return m_keyed; }
    // What the radio or rigctld says of its PTT; false as well when it cannot say.
    bool reportedKeyed() const;
    QString errorString() const { return m_error; }
    // "none", "RTS and DTR of /dev/ttyS0", "CAT, model 1 on ..." for the log.
    QString description() const;

private:
    struct Rig;
    bool fail(const QString& what, int code);

    PttConfig m_config;
    std::unique_ptr<Rig> m_rts;  // also the CAT or rigctld connection
    std::unique_ptr<Rig> m_dtr;
    bool m_keyed = false;
    bool m_primed = false;
    QString m_error;
};

} // namespace sondrel
