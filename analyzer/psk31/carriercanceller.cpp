#include "psk31/carriercanceller.h"

#include "psk31/liquid.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace psk31 {
namespace {

constexpr float kSmoothing = 0.3f; // weight of the newest spectrum
// A carrier stands this far over the median bin...
constexpr double kOverMedian = 40;
// ...and holds this share of the power within kSpreadBins of it: a PSK31
// signal spreads over some 30 Hz, a carrier over the window's main lobe.
constexpr double kNarrowShare = 0.5;
constexpr int kSpreadBins = 6;
constexpr double kPairShare = 0.1;
// Step size of the canceller: its notch is about 1 Hz wide.
constexpr double kStep = 0.01;
// A carrier this close to the one being cancelled is the same one.
constexpr double kSameHz = 1.0;
constexpr int kMissesToStop = 8;
constexpr double kFollow = 0.5;

} // namespace

CarrierCanceller::CarrierCanceller(double rate, double rangeHz, double symbolRate)
    : m_rate(rate),
      m_symbolRate(symbolRate),
      m_rangeHz(rangeHz),
      m_history(kSize),
      m_in(kSize),
      m_out(kSize),
      m_window(kSize),
      m_power(kSize, 0.0f)
{
    for (unsigned i = 0; i < kSize; ++i)
        m_window[i] = float(0.5 - 0.5 * std::cos(2 * std::numbers::pi * (i + 0.5) / kSize));
    m_plan.reset(fft_create_plan(kSize, m_in.data(), m_out.data(), LIQUID_FFT_FORWARD, 0));
}

void CarrierCanceller::reset()
{
    std::fill(m_history.begin(), m_history.end(), std::complex<float>());
    std::fill(m_power.begin(), m_power.end(), 0.0f);
    m_count = 0;
    m_active = false;
    m_missed = 0;
    m_weight = 0;
}

void CarrierCanceller::keepClearOf(double hz, double widthHz)
{
    m_clearHz = hz;
    m_clearWidthHz = widthHz;
}

std::complex<float> CarrierCanceller::process(std::complex<float> x)
{
    m_history[m_next] = x;
    m_next = (m_next + 1) % kSize;
    if (++m_count % kHop == 0 && m_count >= kSize)
        Look();
    if (!m_active)
        return x;
    // Least-mean-squares on one complex weight at the carrier's frequency.
    const std::complex<double> error = std::complex<double>(x) - m_weight * m_phasor;
    m_weight += kStep * error * std::conj(m_phasor);
    m_phasor *= m_turn;
    m_phasor /= std::abs(m_phasor);
    return std::complex<float>(error);
}

void CarrierCanceller::Look()
{
    for (unsigned i = 0; i < kSize; ++i)
        m_in[i] = m_history[(m_next + i) % kSize] * m_window[i];
    fft_execute(m_plan.get());
    const double binHz = m_rate / kSize;
    const int kPairBins = int(std::lround(m_symbolRate / binHz));
    const int reach = std::min(int(kSize / 2) - kSpreadBins - 1,
                               int(m_rangeHz / binHz) + kSpreadBins);
    auto at = [this](int k) { return double(m_power[unsigned((k + int(kSize)) % int(kSize))]); };
    m_sorted.clear();
    int peak = 0;
    double peakPower = -1;
    for (int k = -reach - kSpreadBins - kPairBins - 1; k <= reach + kSpreadBins + kPairBins + 1;
         ++k) {
        float& p = m_power[unsigned((k + int(kSize)) % int(kSize))];
        p += kSmoothing * (std::norm(m_out[unsigned((k + int(kSize)) % int(kSize))]) - p);
        if (std::abs(k) > reach)
            continue;
        m_sorted.push_back(p);
        if (std::abs(k * binHz - m_clearHz) > m_clearWidthHz && p > peakPower) {
            peakPower = p;
            peak = k;
        }
    }
    std::nth_element(m_sorted.begin(), m_sorted.begin() + long(m_sorted.size() / 2),
                     m_sorted.end());
    const double median = m_sorted[m_sorted.size() / 2];
    double near = 0;
    for (int k = peak - kSpreadBins; k <= peak + kSpreadBins; ++k)
        near += at(k);
    // A PSK31 idle (a preamble) is two lines a symbol rate apart, not a carrier.
    const double pair = std::max({at(peak - kPairBins - 1), at(peak - kPairBins),
                                  at(peak - kPairBins + 1), at(peak + kPairBins - 1),
                                  at(peak + kPairBins), at(peak + kPairBins + 1)});
    const bool carrier = peakPower > kOverMedian * median && peakPower > kNarrowShare * near
        && pair < kPairShare * peakPower;
    if (!carrier) {
        if (m_active && ++m_missed >= kMissesToStop)
            m_active = false;
        return;
    }
    m_missed = 0;
    const double left = at(peak - 1), centre = at(peak), right = at(peak + 1);
    const double curve = left - 2 * centre + right;
    const double shift = curve < 0 ? std::clamp(0.5 * (left - right) / curve, -0.5, 0.5) : 0.0;
    const double hz = (peak + shift) * binHz;
    if (m_active && std::abs(hz - m_hz) < kSameHz) {
        // The spectrum's estimate is rough; the weight turning between two
        // looks tells the rest, and the canceller's frequency follows it.
        const double turned = std::arg(m_weight * std::conj(m_lastWeight));
        m_lastWeight = m_weight;
        m_hz += kFollow * turned / (2 * std::numbers::pi) * m_rate / kHop;
        m_turn = std::polar(1.0, 2 * std::numbers::pi * m_hz / m_rate);
        return;
    }
    m_active = true;
    m_hz = hz;
    m_weight = 0;
    m_lastWeight = 0;
    m_phasor = 1;
    m_turn = std::polar(1.0, 2 * std::numbers::pi * hz / m_rate);
}

} // namespace psk31
