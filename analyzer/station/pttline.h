#pragma once
// Keys the transmitter through Hamlib, waiting for each answer: the RTS and DTR
// lines of a serial port, the radio's CAT command, or a rigctld daemon. The
// serial port is opened once and kept open with both lines low, so opening
// never keys the radio and a process that dies closes it, which lowers the
// lines. Ptt runs one of these on a thread of its own; `sondrel unkey` uses
// one directly. Hamlib's own time-outs are short, so no call waits long.

#include <QString>
#include <memory>

namespace sondrel {

struct PttConfig {
    enum class Kind { None, SerialLines, Cat, Rigctld };
    Kind kind = Kind::None;
    QString device; // SerialLines: the port; Cat: the radio's CAT port
    int rigModel = 0; // Cat: Hamlib's model number
    QString address; // Rigctld: host:port
    // Hamlib's own trace on stderr, for --verbose; off otherwise, so that it
    // never stands in for a reason.
    bool hamlibTrace = false;

    bool operator==(const PttConfig&) const = default;
};

// "none", "RTS and DTR of /dev/ttyS0", "CAT, Hamlib model 1" for the log.
QString describe(const PttConfig& config);

// How long Hamlib waits for one answer of the radio or rigctld.
constexpr int kAnswerTimeoutMs = 1500;

class PttLine {
public:
    explicit PttLine(PttConfig config);
    ~PttLine(); // unkeys and closes
    PttLine(const PttLine&) = delete;
    PttLine& operator=(const PttLine&) = delete;

    bool open();
    bool isOpen() const { return m_config.kind == PttConfig::Kind::None || m_rts; }
    // Closes the line without unkeying it first; the next open() starts afresh.
    void close();
    const PttConfig& config() const { return m_config; }
    bool set(bool keyed);
    bool keyed() const { return m_keyed; }
    // What the radio or rigctld says of its PTT; false as well when it cannot say.
    bool reportedKeyed() const;
    QString errorString() const { return m_error; }

private:
    struct Rig;
    bool fail(const QString& what, int code);

    PttConfig m_config;
    std::unique_ptr<Rig> m_rts; // also the CAT or rigctld connection
    std::unique_ptr<Rig> m_dtr;
    bool m_keyed = false;
    bool m_primed = false;
    QString m_error;
};

} // namespace sondrel
