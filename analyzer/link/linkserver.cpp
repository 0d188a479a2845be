#include "linkserver.h"

#include <QSignalBlocker>
#include <algorithm>

namespace sondrel {
namespace {

// Long enough for a closing link to hand over what it still holds.
constexpr int kLingerMs = 5000;
// What the socket may hold before it is read; the rest waits in the system.
constexpr qint64 kSocketBuffer = 16 * 1024;
// Refused text is reported at most this often, however long a paste goes on.
constexpr int kRefusalReportMs = 500;
// How much of refused text the operator is shown.
constexpr qsizetype kRefusedShown = 24;

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
    m_refusalReport.setSingleShot(true);
    m_refusalReport.setInterval(kRefusalReportMs);
    m_pairing.setSingleShot(true);
    m_pairing.setInterval(kDefaultPairingTimeoutMs);
    connect(&m_server, &QTcpServer::newConnection, this, &LinkServer::onNewConnection);
    connect(&m_refusalReport, &QTimer::timeout, this, &LinkServer::reportRefused);
    connect(&m_pairing, &QTimer::timeout, this, &LinkServer::onPairingTimeout);
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
    const QByteArray taken = m_queue.first(std::clamp<qsizetype>(count, 0, m_sendable));
    m_queue.remove(0, taken.size());
    m_sendable -= taken.size();
    return taken;
}

void LinkServer::sendToTerminal(const QByteArray& bytes)
{
    if (m_receive && !bytes.isEmpty())
        m_receive->write(bytes);
}

void LinkServer::tellOperator(const QString& what)
{
    emit event(QStringLiteral("told the operator: %1").arg(what));
    // Its own line whatever the received text around it; the terminal shows
    // a carriage return as a line end and drops the line feed.
    sendToTerminal(QStringLiteral("\r\n[sondrel: %1]\r\n").arg(what).toUtf8());
}

void LinkServer::endPair()
{
    if (!m_receive && !m_transmit)
        return;
    closePair(true);
    emit event(QStringLiteral("waiting for a new pair"));
}

void LinkServer::stopTransmission(const QString& reason, qsizetype heldElsewhere)
{
    const qsizetype dropped = m_queue.size() + heldElsewhere;
    m_queue.clear();
    m_sendable = 0;
    if (m_toggle == Toggle::On)
        m_toggle = Toggle::Stopped;
    emit event(QStringLiteral("%1: transmission stopped, %2 queued bytes dropped")
                   .arg(reason)
                   .arg(dropped));
    tellOperator(dropped > 0 ? QStringLiteral("transmission stopped: %1; %2 characters not sent")
                                   .arg(reason)
                                   .arg(dropped)
                             : QStringLiteral("transmission stopped: %1").arg(reason));
    emit transmissionAborted();
}

void LinkServer::onNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        if (!m_receive) {
            adopt(socket, Link::Receive);
            m_pairing.start();
        } else if (!m_transmit) {
            m_pairing.stop();
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
        m_bytesRead = 0;
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

void LinkServer::onPairingTimeout()
{
    if (!m_receive || m_transmit)
        return;
    emit event(QStringLiteral("no transmit link came within %1 ms: closing the receive link")
                   .arg(m_pairing.interval()));
    endPair();
}

void LinkServer::onReceiveData()
{
    const QByteArray bytes = m_receive->readAll();
    emit event(QStringLiteral("ignored %1 bytes on the receive link").arg(bytes.size()));
}

void LinkServer::readTransmitLink()
{
    bool queued = false;
    while (m_transmit) {
        const QByteArray chunk = m_transmit->read(kSocketBuffer);
        if (chunk.isEmpty())
            break;
        const qint64 chunkStart = m_bytesRead;
        qsizetype from = 0;
        for (qsizetype i = 0; i < chunk.size(); ++i) {
            const char byte = chunk[i];
            if (byte != kToggle && byte != kAbort)
                continue;
            queued = queueText(QByteArrayView(chunk).sliced(from, i - from)) || queued;
            from = i + 1;
            m_bytesRead = chunkStart + from;
            // Text before a control byte is dealt with first, however the bytes
            // were bunched on the way, so the outcome depends only on their order.
            if (queued)
                emit textQueued();
            queued = false;
            reportRefused();
            if (byte == kToggle)
                onToggle();
            else
                abort(QStringLiteral("abort"));
            if (!m_transmit)
                return;
        }
        queued = queueText(QByteArrayView(chunk).sliced(from)) || queued;
        m_bytesRead = chunkStart + chunk.size();
    }
    if (queued)
        emit textQueued();
}

bool LinkServer::queueText(QByteArrayView text)
{
    const qsizetype room = std::min(text.size(), m_queueBound - m_queue.size());
    m_queue.append(text.first(room));
    if (m_toggle == Toggle::On)
        m_sendable = m_queue.size();
    if (room < text.size()) {
        const QByteArrayView refused = text.sliced(room);
        if (m_refused == 0)
            m_refusalReport.start();
        m_refused += refused.size();
        m_refusedHead.append(
            refused.first(std::min(refused.size(), kRefusedShown - m_refusedHead.size())));
    }
    return room > 0;
}

void LinkServer::reportRefused()
{
    m_refusalReport.stop();
    if (m_refused == 0)
        return;
    const QString shown = printable(m_refusedHead)
        + (m_refused > m_refusedHead.size() ? QStringLiteral("...") : QString());
    tellOperator(QStringLiteral("queue full (%1 characters): %2 characters refused, from \"%3\"")
                     .arg(m_queueBound)
                     .arg(m_refused)
                     .arg(shown));
    m_refused = 0;
    m_refusedHead.clear();
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

void LinkServer::onToggle()
{
    switch (m_toggle) {
    case Toggle::Off:
        m_toggle = Toggle::On;
        m_sendable = m_queue.size();
        break;
    case Toggle::On:
        // What was typed before the toggle still goes out; what follows waits.
        m_toggle = Toggle::Off;
        break;
    case Toggle::Stopped:
        // The terminal switches off what the server had already stopped.
        m_toggle = Toggle::Off;
        emit event(QStringLiteral("transmission off (it had stopped already), %1 bytes queued")
                       .arg(m_queue.size()));
        return;
    }
    const bool on = m_toggle == Toggle::On;
    emit event(QStringLiteral("transmission %1, %2 bytes queued")
                   .arg(on ? QStringLiteral("on") : QStringLiteral("off"))
                   .arg(m_queue.size()));
    emit transmissionSwitched(on);
}

void LinkServer::abort(const QString& reason)
{
    const qsizetype dropped = m_queue.size();
    m_queue.clear();
    m_sendable = 0;
    m_toggle = Toggle::Off;
    emit event(QStringLiteral("%1: transmission off, %2 queued bytes dropped").arg(reason).arg(dropped));
    emit transmissionAborted();
}

void LinkServer::closePair(bool graceful)
{
    const bool hadPair = hasPair();
    m_pairing.stop();
    if (m_refused > 0) {
        emit event(QStringLiteral("%1 refused bytes not reported: the pair ends").arg(m_refused));
        m_refusalReport.stop();
        m_refused = 0;
        m_refusedHead.clear();
    }
    if (m_toggle != Toggle::Off || !m_queue.isEmpty())
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
