#include "consolelistener.h"

#include <QTcpSocket>
#include <QTimer>
#include <QWebSocketServer>

namespace sondrel {
namespace {

// Request headers longer than this are not a WebSocket upgrade of ours.
constexpr qint64 kMaxHeader = 8192;
// A connection that sends no request in this time is closed.
constexpr int kRequestMs = 10000;

} // namespace

ConsoleListener::ConsoleListener(QWebSocketServer& streams, QObject* parent)
    : QTcpServer(parent), m_streams(streams)
{
}

void ConsoleListener::incomingConnection(qintptr handle)
{
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(handle)) {
        delete socket;
        return;
    }
    auto* timeout = new QTimer(socket);
    timeout->setSingleShot(true);
    connect(timeout, &QTimer::timeout, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    timeout->start(kRequestMs);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { sort(socket); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

void ConsoleListener::sort(QTcpSocket* socket)
{
    const QByteArray head = socket->peek(kMaxHeader);
    const qsizetype end = head.indexOf("\r\n\r\n");
    if (end < 0 && head.size() < kMaxHeader)
        return; // the rest of the headers is still on its way
    // From here on the connection belongs to one server or the other.
    socket->disconnect(this);
    socket->disconnect(socket);
    qDeleteAll(socket->findChildren<QTimer*>(Qt::FindDirectChildrenOnly));
    const QByteArray headers = head.left(end).toLower();
    const bool upgrade = end >= 0 && headers.contains("\r\nupgrade: websocket");
    if (upgrade) {
        socket->setParent(nullptr);
        m_streams.handleConnection(socket);
        // The handshake has already arrived: have it read.
        emit socket->readyRead();
        return;
    }
    addPendingConnection(socket);
    emit newConnection();
    // The HTTP server has taken it by now; the request it has not seen arrive.
    emit socket->readyRead();
}

} // namespace sondrel
