#include "psk31/channelfinder.h"

#include <algorithm>
#include <cmath>

namespace psk31 {
namespace {

constexpr double kFastSeconds = 1;
// Whether a signal is there now: a strong one's power falls by tens of dB at
// its end, and a longer average would still hold it seconds later.
constexpr double kNowSeconds = 0.25;
constexpr double kSlowSeconds = 4;
constexpr double kWarmUpSeconds = 1;
// The floor around a frequency: the mean of the slow average over this many
// Hz each side, leaving out open channels and anything well above the median.
constexpr double kFloorHalfWidthHz = 250;
constexpr double kFloorStepHz = 50;
constexpr double kOpenHalfWidthHz = 45;
constexpr double kOutlier = 3;
constexpr size_t kFewestFloorBins = 16;
// A signal's power is summed over +-16 Hz: the whole hump of text, both tones
// of idle reversals. It must exceed the floor's sum over the same bins this
// many times (about -16 dB SNR) to be found or heard.
constexpr double kSumHalfWidthHz = 16;
constexpr double kFindRatio = 1.5;
constexpr double kHearRatio = 1.5;
// A peak is the largest within +-8 Hz: a station 50 Hz from a stronger one
// keeps its own peak.
constexpr double kPeakHalfWidthHz = 8;
// Within +-70 Hz a signal must hold this share of the strongest one's power:
// a strong signal's skirts and distortion products are not stations.
constexpr double kNeighbourHz = 70;
constexpr double kNeighbourShare = 0.05;
// A line holding this share of the power within +-24 Hz is a carrier.
constexpr double kShapeHalfWidthHz = 24;
constexpr double kCarrierShare = 0.75;
// What lies this far below the strongest signal in the passband is its
// harmonics, quantisation and the like, not a station.
constexpr double kDynamicRange = 1e-5;
// Digital silence has no floor; this stands in for one.
constexpr double kLeastFloor = 1e-16;

} // namespace

ChannelFinder::ChannelFinder(const Config& config) : m_config(config)
{
}

size_t ChannelFinder::Bin(double hz) const
{
    const double k = std::round(hz / m_config.binHz);
    return size_t(std::clamp(k, 0.0, double(m_fast.empty() ? 0 : m_fast.size() - 1)));
}

void ChannelFinder::addRow(const std::vector<float>& row, const std::vector<double>& open)
{
    if (m_fast.size() != row.size()) {
        m_fast.assign(row.size(), 0.0);
        m_now.assign(row.size(), 0.0);
        m_slow.assign(row.size(), 0.0);
        m_floor.assign(row.size(), 0.0);
        m_rows = 0;
    }
    ++m_rows;
    // Averages start as plain means, so the first seconds count fully.
    const double fast = std::max(1.0 / double(m_rows), 1 / (kFastSeconds * m_config.rowsPerSecond));
    const double slow = std::max(1.0 / double(m_rows), 1 / (kSlowSeconds * m_config.rowsPerSecond));
    const double now = std::max(1.0 / double(m_rows), 1 / (kNowSeconds * m_config.rowsPerSecond));
    for (size_t k = 0; k < row.size(); ++k) {
        m_now[k] += now * (row[k] - m_now[k]);
        m_fast[k] += fast * (row[k] - m_fast[k]);
        m_slow[k] += slow * (row[k] - m_slow[k]);
    }
    UpdateFloor(open);
}

void ChannelFinder::UpdateFloor(const std::vector<double>& open)
{
    const double bin = m_config.binHz;
    const size_t last = m_slow.size() - 1;
    const size_t step = std::max<size_t>(1, size_t(kFloorStepHz / bin));
    const size_t half = std::max<size_t>(2, size_t(kFloorHalfWidthHz / bin));
    const size_t first = Bin(m_config.lowHz - kFloorHalfWidthHz);
    const size_t end = std::min(last, Bin(m_config.highHz + kFloorHalfWidthHz) + step);
    auto isOpen = [&](size_t k) {
        return std::any_of(open.begin(), open.end(), [&](double hz) {
            return std::abs(double(k) * bin - hz) <= kOpenHalfWidthHz;
        });
    };
    size_t previous = first;
    double previousFloor = -1;
    for (size_t centre = first;; centre = std::min(end, centre + step)) {
        const size_t from = centre > half ? centre - half : 1;
        const size_t to = std::min(last - 1, centre + half);
        m_window.clear();
        for (size_t k = from; k <= to; ++k) {
            if (!isOpen(k))
                m_window.push_back(m_slow[k]);
        }
        if (m_window.size() < kFewestFloorBins)
            m_window.assign(m_slow.begin() + long(from), m_slow.begin() + long(to) + 1);
        auto middle = m_window.begin() + long(m_window.size() / 2);
        std::nth_element(m_window.begin(), middle, m_window.end());
        const double limit = kOutlier * *middle;
        double sum = 0;
        size_t count = 0;
        for (double v : m_window) {
            if (v <= limit) {
                sum += v;
                ++count;
            }
        }
        const double floor = std::max(kLeastFloor, count > 0 ? sum / double(count) : 0.0);
        if (previousFloor < 0) {
            std::fill(m_floor.begin(), m_floor.begin() + long(centre) + 1, floor);
        } else {
            for (size_t k = previous; k <= centre; ++k) {
                const double t = centre > previous
                    ? double(k - previous) / double(centre - previous)
                    : 1.0;
                m_floor[k] = previousFloor + t * (floor - previousFloor);
            }
        }
        previous = centre;
        previousFloor = floor;
        if (centre == end)
            break;
    }
    std::fill(m_floor.begin() + long(previous), m_floor.end(), previousFloor);
}

double ChannelFinder::Excess(size_t from, size_t to, const std::vector<double>& average) const
{
    double sum = 0;
    for (size_t k = from; k <= to; ++k)
        sum += average[k] - m_floor[k];
    return sum;
}

double ChannelFinder::FloorSum(size_t from, size_t to) const
{
    double sum = 0;
    for (size_t k = from; k <= to; ++k)
        sum += m_floor[k];
    return sum;
}

// The power of a symmetric signal centred on bin k: twice that of the
// quieter of its halves, so that a stronger neighbour's skirt on one side
// does not make a signal of its own.
double ChannelFinder::Symmetric(size_t k, size_t m, double* balance) const
{
    const double centre = (m_fast[k] - m_floor[k]) / 2;
    const double lower = Excess(k - m, k - 1, m_fast) + centre;
    const double upper = Excess(k + 1, k + m, m_fast) + centre;
    if (balance)
        *balance = lower - upper;
    return 2 * std::min(lower, upper);
}

std::vector<double> ChannelFinder::find(const std::vector<double>& open) const
{
    // The floor needs a second of rows before anything can stand above it.
    if (double(m_rows) < kWarmUpSeconds * m_config.rowsPerSecond)
        return {};
    const double bin = m_config.binHz;
    const size_t m = std::max<size_t>(1, size_t(std::lround(kSumHalfWidthHz / bin)));
    const size_t peak = std::max<size_t>(1, size_t(std::lround(kPeakHalfWidthHz / bin)));
    const size_t neighbour = size_t(std::lround(kNeighbourHz / bin));
    const size_t shape = size_t(std::lround(kShapeHalfWidthHz / bin));
    const size_t margin = std::max(shape, m) + peak + 2;
    const size_t lo = std::max(Bin(m_config.lowHz), margin);
    const size_t hi = std::min(Bin(m_config.highHz), m_fast.size() - margin - 1);
    if (lo >= hi)
        return {};
    const size_t from = lo - std::min(lo - margin, neighbour);
    const size_t to = std::min(m_fast.size() - margin - 1, hi + neighbour);
    std::vector<double> power(m_fast.size(), 0.0);
    for (size_t k = from; k <= to; ++k)
        power[k] = Symmetric(k, m);

    struct Peak {
        size_t bin;
        double power;
    };
    const double loudest = *std::max_element(power.begin() + long(lo),
                                             power.begin() + long(hi) + 1);
    std::vector<Peak> peaks;
    for (size_t k = lo; k <= hi; ++k) {
        if (power[k] < kFindRatio * FloorSum(k - m, k + m) || power[k] < kDynamicRange * loudest)
            continue;
        bool largest = true;
        for (size_t j = k - peak; j <= k + peak && largest; ++j)
            largest = power[j] <= power[k];
        if (largest)
            peaks.push_back({k, power[k]});
    }
    std::sort(peaks.begin(), peaks.end(),
              [](const Peak& a, const Peak& b) { return a.power > b.power; });

    std::vector<double> taken = open;
    std::vector<double> found;
    for (const Peak& p : peaks) {
        const size_t k = p.bin;
        const double strongest = *std::max_element(
            power.begin() + long(k - std::min(k, neighbour)),
            power.begin() + long(std::min(power.size() - 1, k + neighbour)) + 1);
        if (p.power < kNeighbourShare * strongest)
            continue;
        // The centre, between bins: where the halves balance.
        double here = 0, left = 0, right = 0;
        Symmetric(k, m, &here);
        Symmetric(k - 1, m, &left);
        Symmetric(k + 1, m, &right);
        double centre = double(k);
        if (here > 0 && left <= 0)
            centre -= here / (here - left);
        else if (here < 0 && right >= 0)
            centre += here / (here - right);
        const double hz = centre * bin;
        const bool near = std::any_of(taken.begin(), taken.end(),
                                      [&](double f) { return std::abs(f - hz) < kSeparationHz; });
        if (near)
            continue;
        // A carrier takes its place too, so that its skirts are not taken for
        // signals: a line holding most of the power within +-24 Hz.
        taken.push_back(hz);
        double all = 0, line = 0;
        for (size_t j = k - shape; j <= k + shape; ++j) {
            all += std::max(0.0, m_fast[j] - m_floor[j]);
            line = std::max(line, Excess(j - 1, j + 1, m_fast));
        }
        if (line < kCarrierShare * all)
            found.push_back(hz);
    }
    return found;
}

bool ChannelFinder::signalAt(double hz) const
{
    if (m_rows == 0)
        return false;
    const size_t m = std::max<size_t>(1, size_t(std::lround(kSumHalfWidthHz / m_config.binHz)));
    const size_t k = std::clamp(Bin(hz), m, m_fast.size() - 1 - m);
    return Excess(k - m, k + m, m_now) >= kHearRatio * FloorSum(k - m, k + m);
}

double ChannelFinder::noiseAt(double hz) const
{
    return m_floor.empty() ? 0.0 : m_floor[Bin(hz)];
}

void ChannelFinder::reset()
{
    m_rows = 0;
    std::fill(m_fast.begin(), m_fast.end(), 0.0);
    std::fill(m_now.begin(), m_now.end(), 0.0);
    std::fill(m_slow.begin(), m_slow.end(), 0.0);
    std::fill(m_floor.begin(), m_floor.end(), 0.0);
}

} // namespace psk31
