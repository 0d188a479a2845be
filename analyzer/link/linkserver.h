#pragma once
// The analyzer's side of the terminal's two links. Connections are taken in
// pairs, the first the receive link and the second the transmit link, one pair
// at a time; a first connection left alone for a few seconds is closed, so the
// next terminal's first connection is its receive link again. The transmit
// link is always read to its end, so the toggle (0x01) and abort (0x02) take
// effect however much text waits before them; text is queued up to a bound and
// what does not fit is refused and the operator told so on the receive link.
// Whoever sends the text on the air takes it from the queue and hears about
// the toggle and abort through the signals; it knows nothing of sockets.
//
// The terminal keeps its own toggle and believes transmission is on after an
// odd number of 0x01 since it connected or last sent 0x02. That belief is kept
// here apart from whether the server transmits, since the server may stop on
// its own (time limit, failing output or PTT) while the terminal still
// believes "on":
//
//   Toggle   terminal  server    0x01 means            0x02
//   Off      off       off       on: transmit          drop the queue
//   On       on        on        off: the text queued  abort: drop the queue,
//                                before it goes out,   stop at once; -> Off
//                                then stop; -> Off
//   Stopped  on        off       off: nothing is       drop the queue; -> Off
//                                keyed; -> Off
//
// Text queued while the server does not transmit goes out at the next 0x01
// that means on. The end of a pair drops the queue and stops transmitting.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace sondrel {

class LinkServer : public QObject {
    Q_OBJECT
public:
    static constexpr char kToggle = 0x01;
    static constexpr char kAbort = 0x02;
    static constexpr qsizetype kDefaultQueueBound = 64 * 1024;
    static constexpr int kDefaultPairingTimeoutMs = 3000;

    enum class Toggle { Off, On, Stopped };

    explicit LinkServer(qsizetype queueBound = kDefaultQueueBound, QObject* parent = nullptr);
    ~LinkServer() override;

    bool listen(const QHostAddress& address, quint16 port);
    QString errorString() const { return m_server.errorString(); }
    QAbstractSocket::SocketError serverError() const { return m_server.serverError(); }
    quint16 serverPort() const { return m_server.serverPort(); }
    // How long a first connection waits for its transmit link before it is closed.
    void setPairingTimeout(int ms) { m_pairing.setInterval(ms); }
    // Stops listening and ends the current pair at once.
    void stop();

    bool hasPair() const { return m_receive && m_transmit; }
    Toggle toggle() const { return m_toggle; }
    // True while the server is to transmit: the terminal switched it on and
    // nothing has stopped it since.
    bool transmitting() const { return m_toggle == Toggle::On; }
    // Bytes of the transmit link dealt with in this pair, control bytes
    // included; while a control byte is acted on, up to and with it.
    qint64 transmitBytesRead() const { return m_bytesRead; }

    // Text waiting to go on the air, oldest first.
    const QByteArray& queue() const { return m_queue; }
    // How much of the queue may go out now: all of it while transmitting, else
    // what was typed before the toggle that switched transmission off.
    qsizetype sendable() const { return m_sendable; }
    QByteArray takeQueued(qsizetype count);
    // Received text (or the echo of sent text) for the terminal.
    void sendToTerminal(const QByteArray& bytes);
    // One line for the operator, set apart from received text, and for the log.
    void tellOperator(const QString& what);
    // Ends the pair the way a closing link does: transmission aborted first.
    void endPair();
    // The server stops transmitting on its own: the queue is dropped, the
    // terminal's toggle is left as the terminal believes it, and the operator
    // is told `reason` on the receive link and how many characters were not
    // sent, the queue's and the `heldElsewhere` that the sender drops.
    void stopTransmission(const QString& reason, qsizetype heldElsewhere = 0);

signals:
    void event(const QString& line);
    void pairStarted();
    void pairEnded();
    void textQueued();
    void transmissionSwitched(bool on);
    // The queue is already empty and transmission off when this is emitted.
    void transmissionAborted();

private:
    enum class Link { Receive, Transmit };

    void onNewConnection();
    void adopt(QTcpSocket* socket, Link link);
    void onPairingTimeout();
    void onReceiveData();
    void readTransmitLink();
    bool queueText(QByteArrayView text);
    void reportRefused();
    void onLinkClosed(Link link);
    void onToggle();
    void abort(const QString& reason);
    void closePair(bool graceful);
    void release(QTcpSocket* socket, bool graceful);

    qsizetype m_queueBound;
    QTcpServer m_server;
    QPointer<QTcpSocket> m_receive;
    QPointer<QTcpSocket> m_transmit;
    QByteArray m_queue;
    qsizetype m_sendable = 0;
    Toggle m_toggle = Toggle::Off;
    qint64 m_bytesRead = 0;
    qint64 m_refused = 0; // text refused since the operator was last told
    QByteArray m_refusedHead; // the beginning of it, to show what it was
    QTimer m_refusalReport;
    QTimer m_pairing;
};

// Any byte can be typed, so log lines escape everything but printable ASCII.
QString printable(QByteArrayView bytes);

} // namespace sondrel
