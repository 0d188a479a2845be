#pragma once
// A scripted analyzer server for tests: listens on a free loopback port, takes
// connections in order (the first is the receive link, the second the transmit
// link), records every byte each connection delivers and can send, close or
// reset either one.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

class WireServer : public QObject {
    Q_OBJECT
public:
    explicit WireServer(QObject* parent = nullptr);
    ~WireServer() override;

    // Port 0 takes a free one. A backlog of 0 with PauseAccepting() lets one
    // connection through and leaves a second one hanging, as a stuck server would.
    bool Listen(quint16 port = 0, int backlog = -1);
    void PauseAccepting() { m_server.pauseAccepting(); }
    void ResumeAccepting() { m_server.resumeAccepting(); }
    quint16 Port() const { return m_server.serverPort(); }
    void Stop();

    int ConnectionCount() const { return int(m_connections.size()); }
    QTcpSocket* Connection(int index) const;
    QByteArray Received(int index) const;

    void Send(int index, const QByteArray& bytes);
    void Close(int index);
    void Reset(int index);
    // Ends the server's sending direction only (FIN) and goes on reading.
    void ShutdownSending(int index);
    // A server that stops reading a connection, as one sending at the pace
    // of the air does; the system's buffers fill up behind it.
    void PauseReading(int index);
    void ResumeReading(int index);
    // Whether the connection has seen the end of its stream.
    bool AtEnd(int index) const;

    // Spins the event loop until `pred` holds or `timeoutMs` passes.
    template <typename Pred>
    static bool WaitUntil(Pred pred, int timeoutMs = 5000);
    bool WaitForConnections(int count, int timeoutMs = 5000);
    bool WaitForBytes(int index, int count, int timeoutMs = 5000);

private:
    struct Peer {
        QPointer<QTcpSocket> socket;
        QByteArray received;
        bool paused = false;
        bool ended = false;
    };
    QTcpServer m_server;
    QList<Peer*> m_connections;
};

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

template <typename Pred>
bool WireServer::WaitUntil(Pred pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(1);
    }
    return true;
}
