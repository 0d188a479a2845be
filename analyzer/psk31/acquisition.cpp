#include "psk31/acquisition.h"

#include "psk31/liquid.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace psk31 {
namespace {

constexpr float kSmoothing = 0.5f; // weight of the newest spectrum
// A line this far over the median bin is a signal (noise alone almost never
// reaches it).
constexpr double kStandsOut = 14;

} // namespace

Acquisition::Acquisition(double rate, double rangeHz)
    : m_rate(rate)
    , m_rangeHz(rangeHz)
    , m_history(kSize)
    , m_in(kSize)
    , m_out(kSize)
    , m_window(kSize)
    , m_power(kSize, 0.0f)
{
    for (unsigned i = 0; i < kSize; ++i)
        m_window[i] = float(0.5 - 0.5 * std::cos(2 * std::numbers::pi * (i + 0.5) / kSize));
    m_plan.reset(fft_create_plan(kSize, m_in.data(), m_out.data(), LIQUID_FFT_FORWARD, 0));
}

void Acquisition::reset()
{
    std::fill(m_history.begin(), m_history.end(), std::complex<float>());
    std::fill(m_power.begin(), m_power.end(), 0.0f);
    m_count = 0;
    m_prominence = 0;
    m_found = false;
}

bool Acquisition::push(std::complex<float> x)
{
    m_history[m_next] = x * x;
    m_next = (m_next + 1) % kSize;
    if (++m_count % kHop != 0 || m_count < kSize / 2)
        return false;
    Estimate();
    return true;
}

void Acquisition::Estimate()
{
    for (unsigned i = 0; i < kSize; ++i)
        m_in[i] = m_history[(m_next + i) % kSize] * m_window[i];
    fft_execute(m_plan.get());
    const double binHz = m_rate / kSize / 2; // carrier Hz per bin of the squared signal
    auto at = [this](int k) { return double(m_power[unsigned((k + int(kSize)) % int(kSize))]); };
    const int reach = std::min(int(kSize / 2) - 2, int(m_rangeHz / binHz));
    int peak = 0;
    float peakPower = -1;
    for (int k = -reach - 1; k <= reach + 1; ++k) {
        const unsigned bin = unsigned((k + int(kSize)) % int(kSize));
        float& p = m_power[bin];
        p += kSmoothing * (std::norm(m_out[bin]) - p);
        if (std::abs(k) > reach)
            continue;
        if (p > peakPower) {
            peakPower = p;
            peak = k;
        }
    }
    // The noise level is the median bin: other stations' lines do not move it.
    m_sorted.clear();
    for (int k = -reach; k <= reach; ++k)
        m_sorted.push_back(at(k));
    std::nth_element(m_sorted.begin(), m_sorted.begin() + long(m_sorted.size() / 2), m_sorted.end());
    const double floor = m_sorted[m_sorted.size() / 2];
    // The nearest line that stands out; without one, the strongest.
    auto standsOut = [&](int k) {
        const double p = at(k);
        return p > kStandsOut * floor && p >= at(k - 1) && p >= at(k + 1);
    };
    m_found = false;
    for (int distance = 0; distance <= reach && !m_found; ++distance) {
        for (int k : {-distance, distance}) {
            if (!m_found && standsOut(k)) {
                peak = k;
                m_found = true;
            }
        }
    }
    m_prominence = floor > 0 ? at(peak) / floor : 0;
    // Parabolic interpolation between the neighbouring bins.
    const double left = at(peak - 1), centre = at(peak), right = at(peak + 1);
    const double curve = left - 2 * centre + right;
    const double shift = curve < 0 ? std::clamp(0.5 * (left - right) / curve, -0.5, 0.5) : 0.0;
    m_offsetHz = (peak + shift) * binHz;
}

} // namespace psk31
