#include "simserver.h"

#include "psk31/varicode.h"

namespace sim {
namespace {

// Bits on the air for one character: its code and the two zero bits after it.
int VaricodeBits(unsigned char byte)
{
    constexpr int kSeparatorBits = 2;
    return int(psk31::varicode::code(byte).size()) + kSeparatorBits;
}

} // namespace

SimServer::SimServer(SimOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_links(m_options.maxQueued)
{
    // A coarse timer may fire early, which would make the pace faster than the air allows.
    m_characterTimer.setTimerType(Qt::PreciseTimer);
    m_characterTimer.setSingleShot(true);
    connect(&m_links, &sondrel::LinkServer::event, this, &SimServer::event);
    connect(&m_links, &sondrel::LinkServer::textQueued, this, &SimServer::pump);
    connect(&m_links, &sondrel::LinkServer::transmissionSwitched, this, &SimServer::onSwitched);
    connect(&m_links, &sondrel::LinkServer::transmissionAborted, &m_characterTimer, &QTimer::stop);
    connect(&m_characterTimer, &QTimer::timeout, this, &SimServer::onCharacterDue);
    connect(&m_beaconTimer, &QTimer::timeout, this, &SimServer::onBeacon);
}

bool SimServer::Listen(const QHostAddress& address, quint16 port)
{
    if (!m_links.listen(address, port))
        return false;
    if (m_options.beaconIntervalMs > 0)
        m_beaconTimer.start(m_options.beaconIntervalMs);
    return true;
}

void SimServer::Stop()
{
    m_beaconTimer.stop();
    m_characterTimer.stop();
    m_links.stop();
}

void SimServer::onSwitched(bool on)
{
    // Switched off, the text typed before the toggle still goes out, as on the air.
    if (on)
        pump();
}

void SimServer::pump()
{
    if (m_links.sendable() == 0 || !m_links.hasPair())
        return;
    if (m_options.fast) {
        const QByteArray text = m_links.takeQueued(m_links.sendable());
        m_links.sendToTerminal(text);
        emit event(QStringLiteral("sent %1 bytes: \"%2\"").arg(text.size()).arg(sondrel::printable(text)));
        return;
    }
    if (!m_characterTimer.isActive())
        m_characterTimer.start(VaricodeBits(static_cast<unsigned char>(m_links.queue().front())) *
                               m_options.msPerBit);
}

void SimServer::onCharacterDue()
{
    if (m_links.sendable() == 0 || !m_links.hasPair())
        return;
    const QByteArray character = m_links.takeQueued(1);
    m_links.sendToTerminal(character);
    emit event(QStringLiteral("sent \"%1\" (%2 bits)")
                   .arg(sondrel::printable(character))
                   .arg(VaricodeBits(static_cast<unsigned char>(character.front()))));
    pump();
}

void SimServer::onBeacon()
{
    if (!m_links.hasPair() || m_links.transmitting())
        return;
    m_links.sendToTerminal(m_options.beaconText);
    emit event(QStringLiteral("beacon: \"%1\"").arg(sondrel::printable(m_options.beaconText)));
}

} // namespace sim
