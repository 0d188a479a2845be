#include "simserver.h"

#include "varicode.h"

#include <QSignalBlocker>
#include <QTcpSocket>

namespace sim {
namespace {

// Long enough for a closing link to hand over what it still holds.
constexpr int kLingerMs = 5000;

QString LinkName(bool receive)
{
    return receive ? QStringLiteral("receive link") : QStringLiteral("transmit link");
}

QString PeerOf(const QTcpSocket* socket)
{
    return socket->peerAddress().toString() + QLatin1Char(':') + QString::number(socket->peerPort());
}

// Any byte can be typed, so the log escapes everything but printable ASCII.
QString Printable(QByteArrayView bytes)
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

} // namespace

SimServer::SimServer(SimOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options))
{
    // A coarse timer may fire early, which would make the pace faster than the air allows.
    m_characterTimer.setTimerType(Qt::PreciseTimer);
    m_characterTimer.setSingleShot(true);
    connect(&m_server, &QTcpServer::newConnection, this, &SimServer::OnNewConnection);
    connect(&m_characterTimer, &QTimer::timeout, this, &SimServer::OnCharacterDue);
    connect(&m_beaconTimer, &QTimer::timeout, this, &SimServer::OnBeacon);
}

SimServer::~SimServer()
{
    // The sockets must not call back into a half-destroyed server.
    const QSignalBlocker quiet(this);
    Stop();
}

bool SimServer::Listen(const QHostAddress& address, quint16 port)
{
    if (!m_server.listen(address, port))
        return false;
    emit Event(QStringLiteral("listening on %1:%2")
                   .arg(m_server.serverAddress().toString())
                   .arg(m_server.serverPort()));
    if (m_options.beaconIntervalMs > 0)
        m_beaconTimer.start(m_options.beaconIntervalMs);
    emit Event(QStringLiteral("waiting for a new pair"));
    return true;
}

void SimServer::Stop()
{
    m_beaconTimer.stop();
    if (m_server.isListening()) {
        m_server.close();
        emit Event(QStringLiteral("stopped listening"));
    }
    ClosePair(false);
}

void SimServer::OnNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        if (!m_receive) {
            Adopt(socket, Link::Receive);
        } else if (!m_transmit) {
            Adopt(socket, Link::Transmit);
        } else {
            emit Event(QStringLiteral("connection from %1 refused: a pair is already connected")
                           .arg(PeerOf(socket)));
            Release(socket, false);
        }
    }
}

void SimServer::Adopt(QTcpSocket* socket, Link link)
{
    const bool receive = link == Link::Receive;
    (receive ? m_receive : m_transmit) = socket;
    connect(socket, &QTcpSocket::readyRead, this,
            receive ? &SimServer::OnReceiveData : &SimServer::OnTransmitData);
    connect(socket, &QTcpSocket::disconnected, this, [this, link] { OnLinkClosed(link); });
    emit Event(QStringLiteral("%1 connected from %2").arg(LinkName(receive), PeerOf(socket)));
}

void SimServer::OnReceiveData()
{
    const QByteArray bytes = m_receive->readAll();
    emit Event(QStringLiteral("ignored %1 bytes on the receive link").arg(bytes.size()));
}

void SimServer::OnTransmitData()
{
    const QByteArray bytes = m_transmit->readAll();
    qsizetype overflow = 0;
    for (const char byte : bytes) {
        // Text typed before a control byte is dealt with first, however the bytes were
        // bunched on the way, so the outcome depends only on their order.
        if (byte == kToggle || byte == kAbort)
            Pump();
        if (byte == kToggle)
            Toggle();
        else if (byte == kAbort)
            Abort();
        else if (m_queue.size() < m_options.maxQueued)
            m_queue.append(byte);
        else
            ++overflow;
    }
    if (overflow > 0)
        emit Event(QStringLiteral("queue full: %1 typed bytes dropped").arg(overflow));
    Pump();
}

void SimServer::OnLinkClosed(Link link)
{
    const bool receive = link == Link::Receive;
    emit Event(QStringLiteral("%1 closed").arg(LinkName(receive)));
    if (receive ? m_transmit : m_receive)
        emit Event(QStringLiteral("closing the %1 as well").arg(LinkName(!receive)));
    ClosePair(true);
    emit Event(QStringLiteral("waiting for a new pair"));
}

void SimServer::Toggle()
{
    m_transmitting = !m_transmitting;
    if (m_transmitting) {
        emit Event(QStringLiteral("transmission on, %1 bytes queued").arg(m_queue.size()));
        Pump();
    } else {
        // The character on the air stays at the head of the queue and goes out again next time.
        m_characterTimer.stop();
        emit Event(QStringLiteral("transmission off, %1 bytes held").arg(m_queue.size()));
    }
}

void SimServer::Abort()
{
    const qsizetype dropped = m_queue.size();
    m_queue.clear();
    m_characterTimer.stop();
    m_transmitting = false;
    emit Event(QStringLiteral("abort: transmission off, %1 queued bytes dropped").arg(dropped));
}

void SimServer::Pump()
{
    if (!m_transmitting || m_queue.isEmpty() || !m_receive)
        return;
    if (m_options.fast) {
        m_receive->write(m_queue);
        emit Event(QStringLiteral("sent %1 bytes: \"%2\"").arg(m_queue.size()).arg(Printable(m_queue)));
        m_queue.clear();
        return;
    }
    if (!m_characterTimer.isActive())
        m_characterTimer.start(VaricodeBits(static_cast<unsigned char>(m_queue.front())) *
                               m_options.msPerBit);
}

void SimServer::OnCharacterDue()
{
    if (!m_transmitting || m_queue.isEmpty() || !m_receive)
        return;
    const QByteArray character = m_queue.first(1);
    m_queue.remove(0, 1);
    m_receive->write(character);
    emit Event(QStringLiteral("sent \"%1\" (%2 bits)")
                   .arg(Printable(character))
                   .arg(VaricodeBits(static_cast<unsigned char>(character.front()))));
    Pump();
}

void SimServer::OnBeacon()
{
    if (!m_receive || m_transmitting)
        return;
    m_receive->write(m_options.beaconText);
    emit Event(QStringLiteral("beacon: \"%1\"").arg(Printable(m_options.beaconText)));
}

void SimServer::ClosePair(bool graceful)
{
    for (QTcpSocket* socket : {m_receive.data(), m_transmit.data()}) {
        if (socket)
            Release(socket, graceful);
    }
    m_receive = nullptr;
    m_transmit = nullptr;
    m_characterTimer.stop();
    m_transmitting = false;
    if (!m_queue.isEmpty())
        emit Event(QStringLiteral("%1 queued bytes dropped with the pair").arg(m_queue.size()));
    m_queue.clear();
}

void SimServer::Release(QTcpSocket* socket, bool graceful)
{
    socket->disconnect(this);
    if (graceful && socket->state() != QAbstractSocket::UnconnectedState) {
        // Let what was already echoed reach the terminal before the link goes down.
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(kLingerMs, socket, &QTcpSocket::abort);
        socket->disconnectFromHost();
    } else {
        socket->abort();
        socket->deleteLater();
    }
}

} // namespace sim
