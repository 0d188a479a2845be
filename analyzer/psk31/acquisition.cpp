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
// The slow spectrum: about 1.3 s to forget, long enough that noise alone
// stays near its mean and a lower threshold is as safe. A weak over (-13 dB)
// was found some seconds late by the quick spectrum alone, when its preamble
// had left the baseband the receiver keeps to go through again.
constexpr float kSlowSmoothing = 0.05f;
constexpr double kSlowStandsOut = 5;

} // namespace

Acquisition::Acquisition(double rate, double rangeHz)
    : m_rate(rate)
    , m_rangeHz(rangeHz)
    , m_history(kSize)
    , m_in(kSize)
    , m_out(kSize)
    , m_window(kSize)
    , m_power(kSize, 0.0f)
    , m_slowPower(kSize, 0.0f)
{
    for (unsigned i = 0; i < kSize; ++i)
        m_window[i] = float(0.5 - 0.5 * std::cos(2 * std::numbers::pi * (i + 0.5) / kSize));
    m_plan.reset(fft_create_plan(kSize, m_in.data(), m_out.data(), LIQUID_FFT_FORWARD, 0));
}

void Acquisition::reset()
{
    std::fill(m_history.begin(), m_history.end(), std::complex<float>());
    std::fill(m_power.begin(), m_power.end(), 0.0f);
    std::fill(m_slowPower.begin(), m_slowPower.end(), 0.0f);
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
    const int reach = std::min(int(kSize / 2) - 2, int(m_rangeHz / binHz));
    for (int k = -reach - 1; k <= reach + 1; ++k) {
        const unsigned bin = unsigned((k + int(kSize)) % int(kSize));
        const float p = std::norm(m_out[bin]);
        m_power[bin] += kSmoothing * (p - m_power[bin]);
        m_slowPower[bin] += kSlowSmoothing * (p - m_slowPower[bin]);
    }
    const double floor = Floor(m_power, reach);
    m_found = Search(m_power, floor, kStandsOut, reach)
        || Search(m_slowPower, Floor(m_slowPower, reach), kSlowStandsOut, reach);
    if (!m_found) {
        // Without a line that stands out, the strongest.
        int peak = 0;
        for (int k = -reach; k <= reach; ++k) {
            if (At(m_power, k) > At(m_power, peak))
                peak = k;
        }
        Place(m_power, peak, floor);
    }
}

double Acquisition::At(const std::vector<float>& power, int k)
{
    return double(power[unsigned((k + int(kSize)) % int(kSize))]);
}

// The noise level is the median bin: other stations' lines do not move it.
double Acquisition::Floor(const std::vector<float>& power, int reach)
{
    m_sorted.clear();
    for (int k = -reach; k <= reach; ++k)
        m_sorted.push_back(At(power, k));
    std::nth_element(m_sorted.begin(), m_sorted.begin() + long(m_sorted.size() / 2), m_sorted.end());
    return m_sorted[m_sorted.size() / 2];
}

bool Acquisition::Search(const std::vector<float>& power, double floor, double standsOut, int reach)
{
    for (int distance = 0; distance <= reach; ++distance) {
        for (int k : {-distance, distance}) {
            const double p = At(power, k);
            if (p > standsOut * floor && p >= At(power, k - 1) && p >= At(power, k + 1)) {
                Place(power, k, floor);
                return true;
            }
        }
    }
    return false;
}

void Acquisition::Place(const std::vector<float>& power, int peak, double floor)
{
    m_prominence = floor > 0 ? At(power, peak) / floor : 0;
    // Parabolic interpolation between the neighbouring bins.
    const double left = At(power, peak - 1), centre = At(power, peak), right = At(power, peak + 1);
    const double curve = left - 2 * centre + right;
    const double shift = curve < 0 ? std::clamp(0.5 * (left - right) / curve, -0.5, 0.5) : 0.0;
    m_offsetHz = (peak + shift) * m_rate / kSize / 2;
}

} // namespace psk31
