#include "psk31/channelmeter.h"

#include <algorithm>
#include <cmath>

namespace psk31 {
namespace {

constexpr double kNoiseBandwidthHz = 2500;
constexpr double kHalfWidthHz = 30; // the signal's main lobe ends at 31.25 Hz
constexpr double kToneHz = 15.625; // idle reversals: half the baud rate
constexpr double kProductHz = 3 * kToneHz;
constexpr double kFrequencySeconds = 1;
// The drift is measured over this long, so the noise of the second's average
// adds little to the frequency once its lag is taken out.
constexpr double kDriftSeconds = 8;
// A row shows the station when the power about its carrier is at least this
// share of the station's average.
constexpr double kHeardShare = 0.5;
constexpr double kLevelSeconds = 8;
constexpr double kImdSeconds = 8;
// A row is idle when the two tones hold this share of the signal's power and
// stand this far over the noise in their bins.
constexpr double kIdleShare = 0.85;
constexpr double kTonesOverNoise = 100;
constexpr size_t kFewestIdleRows = 16;
// The products must stand at least this far over the noise in their bins.
constexpr double kProductsOverNoise = 1;

double Weight(size_t n, double rows)
{
    return std::max(1.0 / double(n), 1 / rows);
}

double Average(double average, double x, size_t n, double rows)
{
    return average + Weight(n, rows) * (x - average);
}

// The mean age, in rows, of what an Average holds after its n-th row.
double Age(double age, size_t n, double rows)
{
    return (1 - Weight(n, rows)) * (age + 1);
}

} // namespace

ChannelMeter::ChannelMeter(double binHz, double rowsPerSecond)
    : m_binHz(binHz), m_rowsPerSecond(rowsPerSecond)
{
}

// The power of a line at `hz`: the bins a Hann window spreads it over.
double ChannelMeter::Lines(const std::vector<float>& row, double hz) const
{
    const long k = std::lround(hz / m_binHz);
    double sum = 0;
    for (long j = k - 1; j <= k + 1; ++j) {
        if (j >= 0 && j < long(row.size()))
            sum += row[size_t(j)];
    }
    return sum;
}

void ChannelMeter::addRow(const std::vector<float>& row, double noisePerBin, double carrierHz,
                          bool held)
{
    if (!held || row.empty())
        return;
    ++m_heldRows;
    const double centre = carrierHz / m_binHz;
    const long from = std::max(1L, long(std::ceil((carrierHz - kHalfWidthHz) / m_binHz)));
    const long to = std::min(long(row.size()) - 1,
                             long(std::floor((carrierHz + kHalfWidthHz) / m_binHz)));
    double lower = 0, upper = 0;
    for (long k = from; k <= to; ++k) {
        const double excess = row[size_t(k)] - noisePerBin;
        const double below = std::clamp(centre - double(k) + 0.5, 0.0, 1.0);
        lower += below * excess;
        upper += (1 - below) * excess;
    }
    // The receiver's carrier counts only while the row shows its station: a
    // receiver still holding a signal that stopped abruptly wanders in the
    // noise for a moment, and so it does in a fade's null.
    if (lower + upper >= kHeardShare * (m_lower + m_upper)) {
        ++m_hzRows;
        const double fast = kFrequencySeconds * m_rowsPerSecond;
        const double slow = kDriftSeconds * m_rowsPerSecond;
        m_hz = Average(m_hz, carrierHz, m_hzRows, fast);
        m_hzAge = Age(m_hzAge, m_hzRows, fast);
        m_slowHz = Average(m_slowHz, carrierHz, m_hzRows, slow);
        m_slowHzAge = Age(m_slowHzAge, m_hzRows, slow);
    }
    const double rows = kLevelSeconds * m_rowsPerSecond;
    m_lower = Average(m_lower, lower, m_heldRows, rows);
    m_upper = Average(m_upper, upper, m_heldRows, rows);
    m_noise = Average(m_noise, noisePerBin, m_heldRows, rows);

    const double lineNoise = 3 * noisePerBin;
    const double tones = Lines(row, carrierHz - kToneHz) + Lines(row, carrierHz + kToneHz)
        - 2 * lineNoise;
    if (tones >= kIdleShare * (lower + upper) && tones >= kTonesOverNoise * 2 * lineNoise) {
        ++m_idleRows;
        const double idle = kImdSeconds * m_rowsPerSecond;
        m_tones = Average(m_tones, tones, m_idleRows, idle);
        m_products = Average(
            m_products, Lines(row, carrierHz - kProductHz) + Lines(row, carrierHz + kProductHz),
            m_idleRows, idle);
        m_idleNoise = Average(m_idleNoise, 2 * lineNoise, m_idleRows, idle);
    }
}

std::optional<double> ChannelMeter::frequency() const
{
    if (m_hzRows == 0)
        return std::nullopt;
    // A drifting carrier's average lags by the drift over its age. The two
    // averages' ages differ by a known span, and so do their values by the
    // drift over it: on a steady drift the lag comes out exactly, and the
    // noise the slow average leaves in the drift is scaled down by the ratio
    // of the ages. Until they differ by a second's worth, no drift is known.
    const double span = m_slowHzAge - m_hzAge;
    if (span < kFrequencySeconds * m_rowsPerSecond)
        return m_hz;
    return m_hz + (m_hz - m_slowHz) / span * m_hzAge;
}

std::optional<double> ChannelMeter::snrDb() const
{
    const double power = 2 * std::min(m_lower, m_upper);
    if (m_heldRows == 0 || power <= 0 || m_noise <= 0)
        return std::nullopt;
    return 10 * std::log10(power / (m_noise * kNoiseBandwidthHz / m_binHz));
}

std::optional<double> ChannelMeter::imdDb() const
{
    const double products = m_products - m_idleNoise;
    if (m_idleRows < kFewestIdleRows || products < kProductsOverNoise * m_idleNoise || m_tones <= 0)
        return std::nullopt;
    return 10 * std::log10(products / m_tones);
}

void ChannelMeter::reset()
{
    *this = ChannelMeter(m_binHz, m_rowsPerSecond);
}

} // namespace psk31
