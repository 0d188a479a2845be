#include "wireserver.h"

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

WireServer::WireServer(QObject* parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            auto* peer = new Peer{socket, {}};
            m_connections.append(peer);
            connect(socket, &QTcpSocket::readyRead, this, [peer] {
                if (!peer->paused)
                    peer->received += peer->socket->readAll();
            });
            connect(socket, &QTcpSocket::disconnected, this, [peer] { peer->ended = true; });
        }
    });
}

WireServer::~WireServer()
{
    Stop();
}

bool WireServer::Listen(quint16 port, int backlog)
{
    if (backlog >= 0)
        m_server.setListenBacklogSize(backlog);
    return m_server.listen(QHostAddress::LocalHost, port);
}

void WireServer::Stop()
{
    m_server.close();
    for (Peer* peer : std::as_const(m_connections)) {
        if (peer->socket)
            peer->socket->abort();
        delete peer->socket;
        delete peer;
    }
    m_connections.clear();
}

QTcpSocket* WireServer::Connection(int index) const
{
    return index < m_connections.size() ? m_connections[index]->socket.data() : nullptr;
}

QByteArray WireServer::Received(int index) const
{
    if (index >= m_connections.size())
        return {};
    Peer* peer = m_connections[index];
    if (peer->socket && !peer->paused)
        peer->received += peer->socket->readAll();
    return peer->received;
}

void WireServer::Send(int index, const QByteArray& bytes)
{
    if (QTcpSocket* socket = Connection(index)) {
        socket->write(bytes);
        socket->flush();
    }
}

void WireServer::Close(int index)
{
    if (QTcpSocket* socket = Connection(index)) {
        socket->flush();
        socket->disconnectFromHost();
    }
}

void WireServer::Reset(int index)
{
    if (QTcpSocket* socket = Connection(index)) {
#ifdef Q_OS_UNIX
        // SO_LINGER 0 makes the close a reset, as a crashed server would.
        const qintptr fd = socket->socketDescriptor();
        if (fd >= 0) {
            struct linger lin {1, 0};
            ::setsockopt(int(fd), SOL_SOCKET, SO_LINGER, &lin, sizeof lin);
        }
#endif
        socket->abort();
    }
}

void WireServer::ShutdownSending(int index)
{
#ifdef Q_OS_UNIX
    if (QTcpSocket* socket = Connection(index)) {
        socket->flush();
        ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
    }
#else
    Q_UNUSED(index);
#endif
}

void WireServer::PauseReading(int index)
{
    if (index >= m_connections.size())
        return;
    m_connections[index]->paused = true;
    // A small buffer, full at once: the toolkit then stops taking data from the system.
    if (QTcpSocket* socket = Connection(index))
        socket->setReadBufferSize(1);
}

void WireServer::ResumeReading(int index)
{
    if (index >= m_connections.size())
        return;
    m_connections[index]->paused = false;
    if (QTcpSocket* socket = Connection(index)) {
        socket->setReadBufferSize(0);
        m_connections[index]->received += socket->readAll();
    }
}

bool WireServer::AtEnd(int index) const
{
    return index < m_connections.size() && m_connections[index]->ended;
}

bool WireServer::WaitForConnections(int count, int timeoutMs)
{
    return WaitUntil([&] { return ConnectionCount() >= count; }, timeoutMs);
}

bool WireServer::WaitForBytes(int index, int count, int timeoutMs)
{
    return WaitUntil([&] { return Received(index).size() >= count; }, timeoutMs);
}
