#include "loopback.h"

#include "psk31/channel.h"
#include "psk31/modulator.h"

#include <string_view>

namespace sondrel {
namespace {

constexpr int kTickMs = 20;

// The SNR is the signal's mean power while keyed: that of typical text, measured
// once, since the live signal is not known in advance.
double keyedPowerOfText(double peak)
{
    psk31::Modulator modulator({Loopback::kRate, 1000, peak});
    modulator.start();
    for (const char c : std::string_view("cq cq de sondrel, the quick brown fox 73"))
        modulator.send(uint8_t(c));
    modulator.stop();
    std::vector<float> signal;
    std::vector<float> block(256);
    while (!modulator.finished()) {
        modulator.render(block.data(), block.size());
        signal.insert(signal.end(), block.begin(), block.end());
    }
    return psk31::Channel::keyedPower(signal);
}

} // namespace

Loopback::Loopback(LoopbackOptions options, QObject* parent) : SignalPath(parent)
{
    psk31::Channel::Config config;
    config.sampleRate = kRate;
    config.noise = options.noise;
    config.snrDb = options.snrDb;
    config.signalPower = keyedPowerOfText(options.peak);
    config.offsetHz = options.offsetHz;
    m_channel = std::make_unique<psk31::Channel>(config);
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &Loopback::tick);
}

Loopback::~Loopback() = default;

bool Loopback::start(Render render)
{
    m_render = std::move(render);
    m_clock.start();
    m_timer.start();
    return true;
}

void Loopback::stop()
{
    m_timer.stop();
}

void Loopback::tick()
{
    const qint64 due = m_clock.nsecsElapsed() * qint64(kRate) / 1'000'000'000 - m_rendered;
    if (due <= 0)
        return;
    m_sent.assign(size_t(due), 0.0f);
    m_render(m_sent.data(), m_sent.size());
    m_rendered += due;
    m_heard.clear();
    m_channel->process(m_sent.data(), m_sent.size(), m_heard);
    emit received(m_heard);
}

} // namespace sondrel
