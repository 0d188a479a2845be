#include "psk31/symboltiming.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace psk31 {
namespace {

// Smoothing of the envelope's symbol-rate line, the share of the timing
// error corrected per symbol, and the most the sampling instant moves per
// symbol: steady, and while pulling in (so a preamble's reversals set it).
constexpr float kSmoothing = 1.0f / 12;
constexpr double kGain = 0.3;
constexpr double kMaxStep = 1.0;
constexpr float kPullInSmoothing = 1.0f / 4;
constexpr double kPullInGain = 0.6;
constexpr double kPullInStep = 4.0;
constexpr int kHistorySymbols = 4;

} // namespace

SymbolTiming::SymbolTiming(int samplesPerSymbol)
    : m_samplesPerSymbol(samplesPerSymbol),
      m_phasor(size_t(samplesPerSymbol)),
      m_filtered(size_t(samplesPerSymbol * kHistorySymbols))
{
    for (int i = 0; i < samplesPerSymbol; ++i)
        m_phasor[size_t(i)] = std::polar(1.0f, float(-2 * std::numbers::pi * i / samplesPerSymbol));
    reset();
}

void SymbolTiming::reset()
{
    std::fill(m_filtered.begin(), m_filtered.end(), std::complex<float>());
    m_sample = -1;
    m_sum = 0;
    m_line = 0;
    m_next = m_samplesPerSymbol;
    m_symbol = 0;
    m_correction = 0;
}

bool SymbolTiming::push(std::complex<float> y, bool pullingIn)
{
    ++m_sample;
    const auto size = static_cast<long long>(m_filtered.size());
    m_filtered[size_t(m_sample % size)] = y;
    m_sum += std::norm(y) * m_phasor[size_t(m_sample % m_samplesPerSymbol)];
    if (m_sample % m_samplesPerSymbol == m_samplesPerSymbol - 1) {
        m_line += (pullingIn ? kPullInSmoothing : kSmoothing) * (m_sum - m_line);
        m_sum = 0;
    }
    if (double(m_sample) < m_next + 1)
        return false;
    const double t = m_next;
    const long long i0 = static_cast<long long>(std::floor(t));
    const float frac = float(t - double(i0));
    m_symbol = m_filtered[size_t(i0 % size)] * (1 - frac)
        + m_filtered[size_t((i0 + 1) % size)] * frac;
    // The envelope peaks at the symbol centres: steer the sampling instant there.
    const double centre = -std::arg(m_line) / (2 * std::numbers::pi) * m_samplesPerSymbol;
    const double error = std::abs(m_line) == 0
        ? 0.0
        : std::remainder(centre - t, double(m_samplesPerSymbol));
    const double most = pullingIn ? kPullInStep : kMaxStep;
    m_correction = std::clamp((pullingIn ? kPullInGain : kGain) * error, -most, most);
    m_next = t + m_samplesPerSymbol + m_correction;
    return true;
}

} // namespace psk31
