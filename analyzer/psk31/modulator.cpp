#include "psk31/modulator.h"

#include "psk31/varicode.h"

#include <cmath>
#include <numbers>

namespace psk31 {

Modulator::Modulator(const Config& config)
    : m_config(config)
    , m_fadeLength(std::max(1L, std::lround(kAbortFadeSeconds * config.sampleRate)))
{
}

void Modulator::start()
{
    if (m_phase != Phase::Idle)
        return;
    m_phase = Phase::Keyed;
    m_stopping = false;
    m_preambleLeft = kPreambleBits;
    m_bits.clear();
    m_byte = -1;
    m_completing = -1;
    // The first interval rises from silence to the first symbol.
    m_from = 0;
    m_to = 1;
    m_clock = 0;
    m_carrierPhase = m_config.startPhase;
    m_fadeLeft = -1;
}

void Modulator::send(uint8_t byte)
{
    m_queue.push_back(byte);
}

size_t Modulator::queued() const
{
    return m_queue.size();
}

void Modulator::stop()
{
    if (m_phase == Phase::Keyed)
        m_stopping = true;
}

void Modulator::abort()
{
    m_queue.clear();
    if (m_phase != Phase::Idle && m_fadeLeft < 0)
        m_fadeLeft = m_fadeLength;
}

bool Modulator::finished() const
{
    return m_phase == Phase::Idle;
}

int Modulator::NextBit()
{
    switch (m_phase) {
    case Phase::Keyed:
        if (m_preambleLeft > 0) {
            --m_preambleLeft;
            return 0;
        }
        if (m_bits.empty() && !m_queue.empty()) {
            m_byte = m_queue.front();
            m_queue.pop_front();
            m_bits = std::string(varicode::code(uint8_t(m_byte))) + "00";
        }
        if (!m_bits.empty()) {
            const int bit = m_bits.front() == '1';
            m_bits.erase(0, 1);
            if (m_bits.empty())
                m_completing = m_byte;
            return bit;
        }
        if (!m_stopping)
            return 0; // idle: reversals
        m_phase = Phase::Postamble;
        m_postambleLeft = kPostambleBits;
        [[fallthrough]];
    case Phase::Postamble:
        if (m_postambleLeft-- > 0)
            return 1;
        m_phase = Phase::RampDown;
        return -1;
    case Phase::RampDown:
    case Phase::Idle:
        break;
    }
    return -1;
}

void Modulator::StartInterval()
{
    m_from = m_to;
    if (m_phase == Phase::RampDown) { // the fall to zero is over
        m_phase = Phase::Idle;
        m_from = m_to = 0;
        return;
    }
    const int bit = NextBit();
    m_to = bit < 0 ? 0.0 : (bit == 1 ? m_from : -m_from);
}

void Modulator::render(float* out, size_t n, std::string* completed)
{
    const double clockStep = kBaud / m_config.sampleRate;
    const double phaseStep = 2 * std::numbers::pi * m_config.carrierHz / m_config.sampleRate;
    for (size_t i = 0; i < n; ++i) {
        if (m_phase == Phase::Idle) {
            out[i] = 0;
            continue;
        }
        const double rise = 0.5 - 0.5 * std::cos(std::numbers::pi * m_clock);
        double envelope = m_from + (m_to - m_from) * rise;
        if (m_fadeLeft >= 0)
            envelope *= 0.5 - 0.5 * std::cos(std::numbers::pi * double(m_fadeLeft) / double(m_fadeLength));
        out[i] = float(m_config.peak * envelope * std::cos(m_carrierPhase));
        m_carrierPhase = std::fmod(m_carrierPhase + phaseStep, 2 * std::numbers::pi);
        if (m_fadeLeft >= 0 && m_fadeLeft-- == 0) {
            m_phase = Phase::Idle;
            m_bits.clear();
            m_from = m_to = 0;
            m_fadeLeft = -1;
            continue;
        }
        m_clock += clockStep;
        if (m_clock >= 1) {
            m_clock -= 1;
            if (m_completing >= 0) {
                if (completed)
                    completed->push_back(char(m_completing));
                m_completing = -1;
            }
            StartInterval();
        }
    }
}

} // namespace psk31
