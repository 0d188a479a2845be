#include "station.h"

#include "psk31/modulator.h"

#include <cmath>
#include <stdexcept>
#include <vector>

namespace sondrel {
namespace {

// How often the played position is checked for echo and release; well inside
// the 100 ms a release may take.
constexpr int kPlayWatchMs = 5;
// An abort releases once the fade has been played; should the path never say
// so (an output that stopped pulling), it releases this long after anyway.
constexpr int kAbortGuardMs = int(psk31::Modulator::kAbortFadeSeconds * 1000) + 50;
// The modulator holds only a few bytes, so an abort drops little that the
// terminal thinks queued, and the link's bound holds the terminal back.
constexpr std::size_t kModulatorBytes = 2;
// Looking for a station near Pelorin's IF: the receiver takes the strongest
// within this range. A station picked on the console is held more tightly.
constexpr double kIfAfcHz = 100;
constexpr double kPickedAfcHz = 15; // as the band's own channels: wider, a 10 dB stronger
                                    // neighbour 50 Hz away can pull it off
// The station the tuned receiver copies is the one the band lists this near.
constexpr double kSameStationHz = 15;
// A receiver tuned anew first hears the last seconds again, so it holds the
// station at once instead of seconds later. What it copies from them is not
// passed on: a step of 1 Hz on the same station would repeat its text.
constexpr double kRetuneHistorySeconds = 3;

} // namespace

Station::Station(LinkServer& links, SignalPath& path, StationOptions options, QObject* parent)
    : QObject(parent), m_links(links), m_path(path), m_options(options)
{
    m_pttDelay.setSingleShot(true);
    m_pttDelay.setTimerType(Qt::PreciseTimer);
    m_txLimit.setSingleShot(true);
    m_playWatch.setInterval(kPlayWatchMs);
    m_playWatch.setTimerType(Qt::PreciseTimer);
    m_abortGuard.setSingleShot(true);
    m_abortGuard.setInterval(kAbortGuardMs);
    m_abortGuard.setTimerType(Qt::PreciseTimer);
    connect(&m_links, &LinkServer::transmissionSwitched, this, &Station::onSwitched);
    connect(&m_links, &LinkServer::transmissionAborted, this, &Station::onAborted);
    connect(&m_links, &LinkServer::textQueued, this, &Station::feedModulator);
    connect(&m_links, &LinkServer::pairEnded, this, &Station::onPairEnded);
    connect(&m_path, &SignalPath::received, this, &Station::onReceived);
    connect(&m_path, &SignalPath::outputFailed, this, &Station::onOutputFailed);
    connect(&m_pttDelay, &QTimer::timeout, this, &Station::onPttDelayOver);
    connect(&m_txLimit, &QTimer::timeout, this, &Station::onTxLimit);
    connect(&m_playWatch, &QTimer::timeout, this, &Station::checkFinished);
    connect(&m_abortGuard, &QTimer::timeout, this, &Station::onAbortOverdue);
}

Station::~Station()
{
    shutDown();
}

void Station::setPtt(std::unique_ptr<Ptt> ptt)
{
    // Reopening a serial port raises its lines for a moment: keep the one that is open.
    if (m_ptt && m_ptt->config() == ptt->config()) {
        m_pendingPtt.reset();
        return;
    }
    m_pendingPtt = std::move(ptt);
    applyPending();
}

void Station::setCentreFrequency(double hz)
{
    m_rxHz = hz;
    m_consoleTuned = false;
    rebuildReceiver();
    m_pendingCentreHz = hz;
    applyPending();
    emit tuningChanged();
}

void Station::tune(double hz)
{
    m_rxHz = hz;
    m_consoleTuned = true;
    rebuildReceiver();
    if (!m_txLock) {
        m_pendingCentreHz = hz;
        applyPending();
    }
    emit tuningChanged();
}

void Station::setAfc(bool on)
{
    if (on == m_afc)
        return;
    m_afc = on;
    rebuildReceiver();
    emit tuningChanged();
}

void Station::setTxLock(bool locked)
{
    m_txLock = locked;
    emit tuningChanged();
}

void Station::setSquelch(std::optional<double> snrDb)
{
    m_squelch = snrDb;
    emit tuningChanged();
}

void Station::setTransmitLevel(double dbfs)
{
    m_pendingPeak = std::pow(10.0, dbfs / 20);
    applyPending();
    emit tuningChanged();
}

double Station::transmitLevel() const
{
    return 20 * std::log10(m_pendingPeak > 0 ? m_pendingPeak : m_options.peak);
}

std::optional<double> Station::rxCarrierHz() const
{
    if (!m_demodulator || !m_demodulator->locked())
        return std::nullopt;
    return m_demodulator->frequency();
}

bool Station::start()
{
    rebuildModem();
    if (!m_band.setSampleRate(m_path.sampleRate()))
        emit event(QStringLiteral("no band view at %1 Hz").arg(m_path.sampleRate()));
    rebuildReceiver();
    return m_path.start([this](float* out, std::size_t n) { render(out, n); });
}

void Station::shutDown()
{
    m_pttDelay.stop();
    m_txLimit.stop();
    m_playWatch.stop();
    m_abortGuard.stop();
    if (keyed()) {
        // Asked here; the keying line's own thread carries it out, and the
        // line is not closed before that is done.
        m_ptt->set(false);
        emit event(QStringLiteral("PTT off: shutting down"));
        emit keyedChanged(false);
    }
    m_path.stop();
    m_state = State::Idle;
}

void Station::applyPending()
{
    if (m_state != State::Idle)
        return;
    if (m_pendingPtt) {
        m_ptt = std::move(m_pendingPtt);
        connect(m_ptt.get(), &Ptt::opened, this, &Station::onPttOpened);
        connect(m_ptt.get(), &Ptt::failed, this, &Station::onPttFailed);
        m_ptt->open();
    }
    bool changed = false;
    if (m_pendingCentreHz > 0) {
        changed = m_pendingCentreHz != m_centreHz;
        m_centreHz = m_pendingCentreHz;
        m_pendingCentreHz = 0;
    }
    if (m_pendingPeak > 0) {
        changed = changed || m_pendingPeak != m_options.peak;
        m_options.peak = m_pendingPeak;
        m_pendingPeak = 0;
    }
    if (changed && m_modulator)
        rebuildModem();
}

void Station::onPttOpened(bool ok, const QString& error)
{
    // For no line, Pelorin's own "PTT: none" has said it already.
    if (!ok)
        emit failure(QStringLiteral("PTT %1 cannot be opened: %2").arg(m_ptt->description(), error));
    else if (m_ptt->config().kind != PttConfig::Kind::None)
        emit event(QStringLiteral("PTT: %1").arg(m_ptt->description()));
    emit pttOpened(ok, m_ptt->description(), error);
}

void Station::onPttFailed(const QString& why)
{
    // The transmission goes on: audio into an unkeyed radio does no harm, and
    // stopping would hide the fault. The operator hears of it at once.
    emit failure(QStringLiteral("PTT %1 failed: %2").arg(m_ptt->description(), why));
    tellOperator(keyed() ? QStringLiteral("PTT failed (%1): sending unkeyed").arg(why)
                         : QStringLiteral("PTT failed (%1): the transmitter may still be keyed").arg(why));
}

void Station::rebuildModem()
{
    psk31::Modulator::Config tx;
    tx.sampleRate = m_path.sampleRate();
    tx.carrierHz = m_centreHz;
    tx.peak = m_options.peak;
    m_modulator = std::make_unique<psk31::Modulator>(tx);
}

void Station::rebuildReceiver()
{
    // Until the station starts the signal path may not know its rate.
    if (!m_modulator)
        return;
    const double afcRange = !m_afc ? 0 : m_consoleTuned ? kPickedAfcHz : kIfAfcHz;
    try {
        m_demodulator = std::make_unique<TunedReceiver>(m_path.sampleRate(), m_rxHz, afcRange);
        replayHistory();
    } catch (const std::invalid_argument& error) {
        m_demodulator.reset();
        emit event(QStringLiteral("receiver off: %1").arg(QString::fromStdString(error.what())));
    }
}

void Station::render(float* out, std::size_t n)
{
    if (m_state == State::Sending)
        feedModulator();
    m_completed.clear();
    const bool wasFinished = m_modulator->finished();
    m_modulator->render(out, n, &m_completed);
    const qint64 end = m_path.renderedSamples() + qint64(n);
    if (!m_completed.empty() && !m_path.hearsItself())
        m_echo.emplace_back(end, m_completed);
    if (!wasFinished && m_modulator->finished())
        m_lastSignalSample = end;
}

void Station::feedModulator()
{
    if (m_state != State::Sending)
        return;
    while (m_modulator->queued() < kModulatorBytes && m_links.sendable() > 0)
        m_modulator->send(uint8_t(m_links.takeQueued(1).front()));
}

void Station::onSwitched(bool on)
{
    switch (m_state) {
    case State::Idle:
        if (on)
            key(true);
        break;
    case State::Keying:
        // Nothing was sent yet: with nothing to send the key can drop at once.
        if (!on && m_links.sendable() == 0)
            release();
        break;
    case State::Sending:
        if (!on)
            finishTransmission();
        break;
    case State::Stopping:
    case State::Aborting:
        // Whether to key again is decided when the last sample has been played.
        break;
    }
}

void Station::finishTransmission()
{
    // What was typed before the toggle goes out; what follows waits for the next one.
    for (const char byte : m_links.takeQueued(m_links.sendable()))
        m_modulator->send(uint8_t(byte));
    m_modulator->stop();
    m_state = State::Stopping;
}

void Station::key(bool on)
{
    if (!on) {
        release();
        return;
    }
    // The keying line answers later; the sound does not wait for it.
    if (m_ptt)
        m_ptt->set(true);
    emit event(QStringLiteral("PTT on"));
    emit keyedChanged(true);
    m_keyedClock.start();
    m_state = State::Keying;
    m_pttDelay.start(m_options.pttDelayMs);
    m_playWatch.start();
    if (m_options.txLimitMs > 0)
        m_txLimit.start(m_options.txLimitMs);
}

void Station::onPttDelayOver()
{
    if (m_state != State::Keying)
        return;
    m_lastSignalSample = -1;
    m_modulator->start();
    m_state = State::Sending;
    feedModulator();
    if (!m_links.transmitting())
        finishTransmission();
    // The output opens only now, with the preamble ready: a sound card fills
    // its buffer at once, and silence taken first would lengthen the delay by
    // the buffer's length. One that cannot open reports it, which releases.
    m_path.setTransmitting(true);
}

void Station::onAborted()
{
    switch (m_state) {
    case State::Idle:
    case State::Aborting:
        return;
    case State::Keying:
        // Nothing was sent yet: the key can drop at once.
        m_pttDelay.stop();
        release();
        return;
    case State::Sending:
    case State::Stopping:
        // Aborting before the path is silenced: silencing may run the event loop.
        m_state = State::Aborting;
        m_modulator->abort();
        m_abortGuard.start();
        m_path.silence();
        return;
    }
}

void Station::checkFinished()
{
    const qint64 played = m_path.playedSamples();
    while (!m_echo.empty() && m_echo.front().first <= played) {
        const QByteArray sent = QByteArray::fromStdString(m_echo.front().second);
        emit traffic(QStringLiteral("sent \"%1\"").arg(printable(sent)));
        m_links.sendToTerminal(sent);
        m_echo.pop_front();
    }
    if ((m_state == State::Stopping || m_state == State::Aborting) && m_lastSignalSample >= 0
        && played >= m_lastSignalSample)
        releaseAndRekey();
    if (m_state == State::Idle && m_echo.empty())
        m_playWatch.stop();
}

void Station::onAbortOverdue()
{
    if (m_state != State::Aborting)
        return;
    emit failure(QStringLiteral(
        "the output did not play the end of the aborted transmission: PTT off anyway"));
    // The rest of the fade goes nowhere, so that the next transmission starts afresh.
    std::vector<float> rest(std::size_t(psk31::Modulator::kAbortFadeSeconds * m_path.sampleRate())
                            + 2);
    m_modulator->render(rest.data(), rest.size());
    releaseAndRekey();
}

void Station::releaseAndRekey()
{
    release();
    // The terminal switched on again while this transmission was ending.
    if (m_links.transmitting())
        key(true);
}

void Station::release()
{
    m_pttDelay.stop();
    m_abortGuard.stop();
    m_txLimit.stop();
    m_state = State::Idle;
    m_path.setTransmitting(false);
    if (m_ptt)
        m_ptt->set(false);
    emit event(QStringLiteral("PTT off"));
    emit keyedChanged(false);
    applyPending();
}

void Station::onPairEnded()
{
    // Characters of a pair that has gone are not for the next one, and nothing
    // goes on the air without a terminal.
    m_echo.clear();
    onAborted();
}

void Station::onReceived(const std::vector<float>& samples)
{
    m_band.process(samples.data(), samples.size());
    if (!m_demodulator)
        return;
    // On a sound card the receiver would hear the transmitter's own noise.
    if (m_state != State::Idle && !m_path.hearsItself())
        return;
    remember(samples);
    m_decoded.clear();
    m_demodulator->process(samples.data(), samples.size(), m_decoded);
    deliverDecoded();
}

void Station::remember(const std::vector<float>& samples)
{
    const std::size_t size = std::size_t(kRetuneHistorySeconds * m_path.sampleRate());
    if (m_history.size() != size) {
        m_history.assign(size, 0.0f);
        m_historyNext = 0;
        m_historyFull = false;
    }
    for (const float x : samples) {
        m_history[m_historyNext] = x;
        if (++m_historyNext == m_history.size()) {
            m_historyNext = 0;
            m_historyFull = true;
        }
    }
}

void Station::replayHistory()
{
    m_decoded.clear();
    if (m_historyFull)
        m_demodulator->process(m_history.data() + m_historyNext, m_history.size() - m_historyNext,
                               m_decoded);
    m_demodulator->process(m_history.data(), m_historyNext, m_decoded);
}

void Station::deliverDecoded()
{
    if (m_decoded.empty())
        return;
    if (m_squelch) {
        const std::optional<BandSignal> station = m_band.signalNear(m_demodulator->frequency(),
                                                                    kSameStationHz);
        if (!station || !station->snrDb || *station->snrDb < *m_squelch)
            return;
    }
    const QByteArray decoded = QByteArray::fromStdString(m_decoded);
    emit traffic(QStringLiteral("received \"%1\"").arg(printable(decoded)));
    m_links.sendToTerminal(decoded);
    emit received(decoded);
}

void Station::onOutputFailed(const QString& why)
{
    emit event(why);
    if (m_state == State::Idle && !m_links.transmitting())
        return;
    const qsizetype held = qsizetype(m_modulator->queued());
    if (m_state != State::Idle) {
        m_modulator->abort();
        release();
    }
    m_links.stopTransmission(why, held);
}

void Station::onTxLimit()
{
    // The text a toggle-off left in the modulator is dropped with the queue.
    m_links.stopTransmission(QStringLiteral("time limit of %1 s").arg(m_options.txLimitMs / 1000.0),
                             qsizetype(m_modulator->queued()));
}

} // namespace sondrel
