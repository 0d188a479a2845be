#include "linkserver.h"

#include <QSignalBlocker>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>

namespace sondrel {
namespace {

// Long enough for a closing link to hand over what it still holds.
constexpr int kLingerMs = 5000;
// What the socket may hold beyond the queue; the rest waits in the system.
constexpr qint64 kSocketBuffer = 4096;

QString linkName(bool receive)
{
    return receive ? QStringLiteral("receive link") : QStringLiteral("transmit link");
}

QString peerOf(const QTcpSocket* socket)
{
    return socket->peerAddress().toString() + QLatin1Char(':') + QString::number(socket->peerPort());
}

} // namespace

QString printable(QByteArrayView bytes)
{
    QString text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && byte != '\\' && byte != '"')
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x%1").arg(uint(byte), 2, 16, QLatin1Char('0'));
    }
    return text;
}

LinkServer::LinkServer(qsizetype queueBound, QObject* parent)
    : QObject(parent), m_queueBound(std::max<qsizetype>(1, queueBound))
{
    connect(&m_server, &QTcpServer::newConnection, this, &LinkServer::onNewConnection);
}

LinkServer::~LinkServer()
{
    // The sockets must not call back into a half-destroyed server.
    const QSignalBlocker quiet(this);
    stop();
}

bool LinkServer::listen(const QHostAddress& address, quint16 port)
{
    if (!m_server.listen(address, port))
        return false;
    emit event(QStringLiteral("listening on %1:%2")
                   .arg(m_server.serverAddress().toString())
                   .arg(m_server.serverPort()));
    emit event(QStringLiteral("waiting for a new pair"));
    return true;
}

void LinkServer::stop()
{
    if (m_server.isListening()) {
        m_server.close();
        emit event(QStringLiteral("stopped listening"));
    }
    closePair(false);
}

QByteArray LinkServer::takeQueued(qsizetype count)
{
    const QByteArray taken = m_queue.first(std::min(count, m_queue.size()));
    m_queue.remove(0, taken.size());
    // Reading again from inside a reader's slot would reorder bytes, so it waits
    // for the event loop.
    if (!taken.isEmpty() && m_transmit && m_transmit->bytesAvailable() > 0 && !m_readPending) {
        m_readPending = true;
        QTimer::singleShot(0, this, [this] {
            m_readPending = false;
            readTransmitLink();
        });
    }
    return taken;
}

void LinkServer::sendToTerminal(const QByteArray& bytes)
{
    if (m_receive && !bytes.isEmpty())
        m_receive->write(bytes);
}

void LinkServer::endPair()
{
    if (!m_receive && !m_transmit)
        return;
    closePair(true);
    emit event(QStringLiteral("waiting for a new pair"));
}

void LinkServer::onNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        if (!m_receive) {
            adopt(socket, Link::Receive);
        } else if (!m_transmit) {
            adopt(socket, Link::Transmit);
            emit pairStarted();
        } else {
            emit event(QStringLiteral("connection from %1 refused: a pair is already connected")
                           .arg(peerOf(socket)));
            release(socket, false);
        }
    }
}

void LinkServer::adopt(QTcpSocket* socket, Link link)
{
    const bool receive = link == Link::Receive;
    (receive ? m_receive : m_transmit) = socket;
    if (receive) {
        connect(socket, &QTcpSocket::readyRead, this, &LinkServer::onReceiveData);
    } else {
        socket->setReadBufferSize(kSocketBuffer);
        connect(socket, &QTcpSocket::readyRead, this, &LinkServer::readTransmitLink);
    }
    connect(socket, &QTcpSocket::disconnected, this, [this, link] { onLinkClosed(link); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, link](QAbstractSocket::SocketError error) {
        // A reset link never says disconnected once it is unconnected already.
        if (error != QAbstractSocket::RemoteHostClosedError)
            onLinkClosed(link);
    });
    emit event(QStringLiteral("%1 connected from %2").arg(linkName(receive), peerOf(socket)));
}

void LinkServer::onReceiveData()
{
    const QByteArray bytes = m_receive->readAll();
    emit event(QStringLiteral("ignored %1 bytes on the receive link").arg(bytes.size()));
}

void LinkServer::readTransmitLink()
{
    while (m_transmit && m_queue.size() < m_queueBound) {
        char byte = 0;
        if (m_transmit->read(&byte, 1) != 1)
            break;
        // Text before a control byte is dealt with first, however the bytes were
        // bunched on the way, so the outcome depends only on their order.
        if (byte == kToggle || byte == kAbort) {
            if (!m_queue.isEmpty())
                emit textQueued();
            if (byte == kToggle)
                toggle();
            else
                abort(QStringLiteral("abort"));
        } else {
            m_queue.append(byte);
        }
    }
    if (!m_queue.isEmpty())
        emit textQueued();
}

void LinkServer::onLinkClosed(Link link)
{
    QTcpSocket* closed = link == Link::Receive ? m_receive : m_transmit;
    if (!closed)
        return;
    const bool receive = link == Link::Receive;
    emit event(QStringLiteral("%1 closed").arg(linkName(receive)));
    if (receive ? m_transmit : m_receive)
        emit event(QStringLiteral("closing the %1 as well").arg(linkName(!receive)));
    endPair();
}

void LinkServer::toggle()
{
    m_transmitting = !m_transmitting;
    emit event(QStringLiteral("transmission %1, %2 bytes queued")
                   .arg(m_transmitting ? QStringLiteral("on") : QStringLiteral("off"))
                   .arg(m_queue.size()));
    emit transmissionSwitched(m_transmitting);
}

void LinkServer::abort(const QString& reason)
{
    const qsizetype dropped = m_queue.size();
    m_queue.clear();
    m_transmitting = false;
    emit event(QStringLiteral("%1: transmission off, %2 queued bytes dropped").arg(reason).arg(dropped));
    emit transmissionAborted();
}

void LinkServer::closePair(bool graceful)
{
    const bool hadPair = hasPair();
    if (m_transmitting || !m_queue.isEmpty())
        abort(QStringLiteral("pair ends"));
    for (QTcpSocket* socket : {m_receive.data(), m_transmit.data()}) {
        if (socket)
            release(socket, graceful);
    }
    m_receive = nullptr;
    m_transmit = nullptr;
    if (hadPair)
        emit pairEnded();
}

void LinkServer::release(QTcpSocket* socket, bool graceful)
{
    socket->disconnect(this);
    if (graceful && socket->state() != QAbstractSocket::UnconnectedState) {
        // Let what was already sent reach the terminal before the link goes down.
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(kLingerMs, socket, &QTcpSocket::abort);
        socket->disconnectFromHost();
    } else {
        socket->abort();
        socket->deleteLater();
    }
}

} // namespace sondrel
