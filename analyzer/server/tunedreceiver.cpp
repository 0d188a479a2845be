#include "tunedreceiver.h"

#include <stdexcept>

namespace sondrel {

TunedReceiver::TunedReceiver(double sampleRate, double hz, double afcRangeHz) : m_hz(hz)
{
    psk31::Demodulator::Config config;
    config.afcRangeHz = afcRangeHz;
    if (afcRangeHz <= kIsolatedAfcHz) {
        if (!(hz >= psk31::Demodulator::lowestCarrier(afcRangeHz)
              && hz <= psk31::Demodulator::highestCarrier(sampleRate, afcRangeHz)))
            throw std::invalid_argument("carrier frequency outside the band of the sample rate");
        m_isolator = std::make_unique<psk31::ChannelIsolator>(sampleRate, hz);
        config.sampleRate = psk31::ChannelIsolator::kOutputRate;
        config.carrierHz = psk31::ChannelIsolator::kIfHz;
    } else {
        config.sampleRate = sampleRate;
        config.carrierHz = hz;
    }
    m_demodulator = std::make_unique<psk31::Demodulator>(config);
}

void TunedReceiver::process(const float* in, std::size_t n, std::string& out)
{
    if (!m_isolator) {
        m_demodulator->process(in, n, out);
        return;
    }
    m_isolator->process(in, n, m_isolated);
    m_demodulator->process(m_isolated.data(), m_isolated.size(), out);
}

double TunedReceiver::frequency() const
{
    if (!m_isolator)
        return m_demodulator->frequency();
    return m_hz + m_demodulator->frequency() - psk31::ChannelIsolator::kIfHz;
}

} // namespace sondrel
