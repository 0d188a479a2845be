// Finds BPSK31 signals in the spectrum of the passband. A 31.25-baud signal
// with cosine-shaped symbols puts its power within +-31 Hz of its carrier and
// no line on it: idle reversals are two tones 31.25 Hz apart, text a hump. A
// carrier puts nearly all its power in one line; noise is flat. The finder
// averages spectrum rows, measures the noise floor around each part of the
// band (leaving out the channels already open) and reports the humps and tone
// pairs that stand well above it and are not lines.
#pragma once

#include <cstddef>
#include <vector>

namespace psk31 {

class ChannelFinder {
public:
    struct Config {
        double binHz = 4;
        double rowsPerSecond = 16;
        double lowHz = 150; // the carriers looked for
        double highHz = 3500;
    };

    // Two signals closer than this are one.
    static constexpr double kSeparationHz = 40;

    explicit ChannelFinder(const Config& config);

    // Takes a new spectrum row; `open` are the carriers of the channels
    // already open, whose bands do not count as noise.
    void addRow(const std::vector<float>& row, const std::vector<double>& open);
    // Carriers of BPSK31 signals at least kSeparationHz from every frequency
    // in `open`, strongest first.
    std::vector<double> find(const std::vector<double>& open) const;
    // Whether a signal stands out of the noise at `hz` now.
    bool signalAt(double hz) const;
    // Noise power in one bin at `hz`.
    double noiseAt(double hz) const;
    void reset();

private:
    void UpdateFloor(const std::vector<double>& open);
    size_t Bin(double hz) const;
    // Excess over the floor and the floor, summed over bins from-to.
    double Excess(size_t from, size_t to, const std::vector<double>& average) const;
    double FloorSum(size_t from, size_t to) const;
    double Symmetric(size_t k, size_t m, double* balance = nullptr) const;

    Config m_config;
    size_t m_rows = 0;
    std::vector<double> m_now; // rows averaged over a quarter second
    std::vector<double> m_fast; // over about a second
    std::vector<double> m_slow; // and over several, for the floor
    std::vector<double> m_floor;
    std::vector<double> m_window; // scratch for the floor
};

} // namespace psk31
