#pragma once
// The analyzer's station: the terminal's links on one side, the modem, the
// signal path and the transmitter's keying on the other. It keys on the
// toggle, waits the PTT delay, sends the queued text, and unkeys only when
// the last sample has been played; an abort, the end of a pair, a failing or
// stalled output, the time limit and shutting down all drop PTT.
//
// The transmitter follows the links' toggle (LinkServer::transmitting()):
//   Idle      on: key and wait the PTT delay (Keying).
//   Keying    off with nothing to send: unkey at once. When the delay is over
//             it sends (Sending), and stops at once if the toggle is off.
//   Sending   off: the text typed before the toggle goes into the modulator,
//             then the postamble (Stopping).
//   Stopping, Aborting: PTT drops when the last sample has been played; if
//             the toggle is on by then, keying starts anew. Aborting drops
//             it a little after the fade's length even if the output never
//             says it played it: an abort is obeyed whatever the sound does.
// An abort (0x02, the end of the pair) fades out from Sending or Stopping
// (Aborting) and unkeys at once from Keying. A stop of the station's own (the
// time limit, a failing output) does the same and tells the operator why.

#include "link/linkserver.h"
#include "server/signalpath.h"
#include "station/ptt.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <deque>
#include <memory>
#include <string>

namespace psk31 {
class Demodulator;
class Modulator;
}

namespace sondrel {

struct StationOptions {
    int pttDelayMs = 50;
    int txLimitMs = 10 * 60 * 1000;
    double peak = 0.5;
};

class Station : public QObject {
    Q_OBJECT
public:
    Station(LinkServer& links, SignalPath& path, StationOptions options, QObject* parent = nullptr);
    ~Station() override;

    // A new keying line; taken at once while idle, else once the transmission is over.
    // The same line as the one in use is left as it is.
    void setPtt(std::unique_ptr<Ptt> ptt);
    // The modem's centre frequency; taken once the transmission is over.
    void setCentreFrequency(double hz);
    bool start();
    // Drops PTT at once and stops the signal path.
    void shutDown();

    bool keyed() const { return m_ptt && m_ptt->keyed(); }

    // A short notice on the receive link, set apart from received text, and
    // in the log: why transmission stopped, what could not be done.
    void tellOperator(const QString& what) { m_links.tellOperator(what); }

signals:
    void event(const QString& line);
    // What went wrong and must reach the log whatever its verbosity.
    void failure(const QString& line);
    // A new keying line has been opened, or could not be.
    void pttOpened(bool ok, const QString& description, const QString& why);
    void keyedChanged(bool keyed);
    // Text as it goes on the air or comes off it, for a verbose log.
    void traffic(const QString& line);

private:
    enum class State { Idle, Keying, Sending, Stopping, Aborting };

    void render(float* out, std::size_t n);
    void feedModulator();
    void onSwitched(bool on);
    void finishTransmission();
    void onAborted();
    void onPairEnded();
    void onReceived(const std::vector<float>& samples);
    void onOutputFailed(const QString& why);
    void onPttDelayOver();
    void onTxLimit();
    void checkFinished();
    void onAbortOverdue();
    void releaseAndRekey();
    void key(bool on);
    void release();
    void applyPending();
    void onPttOpened(bool ok, const QString& error);
    void onPttFailed(const QString& why);
    void rebuildModem();

    LinkServer& m_links;
    SignalPath& m_path;
    StationOptions m_options;
    std::unique_ptr<Ptt> m_ptt;
    std::unique_ptr<Ptt> m_pendingPtt;
    double m_centreHz = 1000;
    double m_pendingCentreHz = 0;
    std::unique_ptr<psk31::Modulator> m_modulator;
    std::unique_ptr<psk31::Demodulator> m_demodulator;
    State m_state = State::Idle;
    qint64 m_lastSignalSample = -1;  // where the finished transmission's last sample lies
    std::deque<std::pair<qint64, std::string>> m_echo;  // sent characters, by the sample that ends them
    std::string m_completed;
    std::string m_decoded;
    QTimer m_pttDelay;
    QTimer m_txLimit;
    QTimer m_playWatch;
    QTimer m_abortGuard;
};

} // namespace sondrel
