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
#include "server/band.h"
#include "server/signalpath.h"
#include "server/tunedreceiver.h"
#include "station/ptt.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <deque>
#include <memory>
#include <optional>
#include <string>

namespace psk31 {
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

    // Tuning from the console. The receiver moves at once; the transmitter
    // follows it unless locked, once a transmission is over.
    // setCentreFrequency() (Pelorin's IF) moves both.
    void tune(double hz);
    void setAfc(bool on);
    void setTxLock(bool locked);
    // Text of a station weaker than this S/N is held back; nullopt: always passed.
    void setSquelch(std::optional<double> snrDb);
    // The transmitter's peak in dBFS; taken once the transmission is over.
    void setTransmitLevel(double dbfs);
    double rxHz() const { return m_rxHz; }
    // Where the receiver has the carrier; nullopt while it holds none.
    std::optional<double> rxCarrierHz() const;
    // Where the transmitter is; a new frequency counts once a transmission is over.
    double txHz() const { return m_centreHz; }
    bool afc() const { return m_afc; }
    bool txLock() const { return m_txLock; }
    std::optional<double> squelch() const { return m_squelch; }
    double transmitLevel() const;
    bool transmitting() const { return m_state != State::Idle; }
    // Milliseconds since keying (0 while idle) and the time limit (0: none).
    qint64 transmitMs() const { return transmitting() ? m_keyedClock.elapsed() : 0; }
    int txLimitMs() const { return m_options.txLimitMs; }
    const Band& band() const { return m_band; }
    bool hasPair() const { return m_links.hasPair(); }
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
    // The tuned station's text as it is decoded.
    void received(const QByteArray& text);
    // The tuning or a setting changed.
    void tuningChanged();

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
    void rebuildReceiver();
    void remember(const std::vector<float>& samples);
    void replayHistory();
    void deliverDecoded();

    LinkServer& m_links;
    SignalPath& m_path;
    StationOptions m_options;
    std::unique_ptr<Ptt> m_ptt;
    std::unique_ptr<Ptt> m_pendingPtt;
    double m_centreHz = 1000;
    double m_pendingCentreHz = 0;
    std::unique_ptr<psk31::Modulator> m_modulator;
    std::unique_ptr<TunedReceiver> m_demodulator;
    Band m_band;
    double m_rxHz = 1000;
    bool m_consoleTuned = false; // picked on the console: a narrow AFC range
    bool m_afc = true;
    bool m_txLock = false;
    std::optional<double> m_squelch;
    double m_pendingPeak = 0;
    QElapsedTimer m_keyedClock;
    std::vector<float> m_history; // the receiver's last seconds of sound
    std::size_t m_historyNext = 0;
    bool m_historyFull = false;
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
