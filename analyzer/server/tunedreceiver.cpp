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
        const double room = afcRangeHz + psk31::ChannelIsolator::kReachHz;
        m_frontEnd = std::make_unique<psk31::BasebandFrontEnd>(
            sampleRate, hz - room, hz + room, psk31::Demodulator::kBasebandInputRate);
        m_isolator = std::make_unique<psk31::ChannelIsolator>(
            m_frontEnd->rate(), m_frontEnd->centreHz(), psk31::Demodulator::kBasebandInputRate, hz);
        config.carrierHz = hz;
        config.basebandInput = true;
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
    m_frontEnd->process(in, n, m_real, m_baseband);
    m_isolator->process(m_baseband.data(), m_baseband.size(), m_isolated);
    m_demodulator->processBaseband(m_isolated.data(), m_isolated.size(), out);
}

double TunedReceiver::frequency() const
{
    return m_demodulator->frequency();
}

} // namespace sondrel
