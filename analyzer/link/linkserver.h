#pragma once
// The analyzer's side of the terminal's two links. Connections are taken in
// pairs, the first the receive link and the second the transmit link, one pair
// at a time. Bytes on the transmit link other than the toggle (0x01) and abort
// (0x02) are queued up to a bound; beyond it the link is not read, so the
// operating system holds the terminal back. Whoever sends the text on the air
// takes it from the queue and hears about the toggle and abort through the
// signals; it knows nothing of sockets.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>

#include <QTcpSocket>

namespace sondrel {

class LinkServer : public QObject {
    Q_OBJECT
public:
    static constexpr char kToggle = 0x01;
    static constexpr char kAbort = 0x02;
    static constexpr qsizetype kDefaultQueueBound = 64 * 1024;

    explicit LinkServer(qsizetype queueBound = kDefaultQueueBound, QObject* parent = nullptr);
    ~LinkServer() override;

    bool listen(const QHostAddress& address, quint16 port);
    QString errorString() const { return m_server.errorString(); }
    QAbstractSocket::SocketError serverError() const { return m_server.serverError(); }
    quint16 serverPort() const { return m_server.serverPort(); }
    // Stops listening and ends the current pair at once.
    void stop();

    bool hasPair() const { return m_receive && m_transmit; }
    bool transmitting() const { return m_transmitting; }

    // Text waiting to go on the air, oldest first.
    const QByteArray& queue() const { return m_queue; }
    QByteArray takeQueued(qsizetype count);
    // Received text (or the echo of sent text) for the terminal.
    void sendToTerminal(const QByteArray& bytes);
    // Ends the pair the way a closing link does: transmission aborted first.
    void endPair();
    // Switches transmission off and drops the queue as 0x02 does, for `reason`.
    void abortTransmission(const QString& reason) { abort(reason); }

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
    void onReceiveData();
    void readTransmitLink();
    void onLinkClosed(Link link);
    void toggle();
    void abort(const QString& reason);
    void closePair(bool graceful);
    void release(QTcpSocket* socket, bool graceful);

    qsizetype m_queueBound;
    QTcpServer m_server;
    QPointer<QTcpSocket> m_receive;
    QPointer<QTcpSocket> m_transmit;
    QByteArray m_queue;
    bool m_transmitting = false;
    bool m_readPending = false;
};

// Any byte can be typed, so log lines escape everything but printable ASCII.
QString printable(QByteArrayView bytes);

} // namespace sondrel
