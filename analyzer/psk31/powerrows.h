// Power spectrum rows of a real signal, the data a waterfall draws: a
// Hann-windowed FFT of the latest samples, a new row several times a second.
// Each bin holds its share of the signal's mean-square power, so the bins of a
// tone sum to the tone's power and a bin of white noise holds the noise power
// in one bin's width.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace psk31 {

class PowerRows {
public:
    // The FFT is the shortest power of two whose bins are no wider than
    // `maxBinHz`; a row comes every 1 / `rowsPerSecond` seconds.
    PowerRows(double sampleRate, double maxBinHz = 4, double rowsPerSecond = 16);
    ~PowerRows();
    PowerRows(const PowerRows&) = delete;
    PowerRows& operator=(const PowerRows&) = delete;

    // Adds one sample; true when it completed a new row.
    bool push(float x);
    // The latest row: bins 0 (0 Hz) to size / 2 (half the sample rate),
    // linear power; all zero before the first row.
    const std::vector<float>& row() const { return m_row; }
    double binHz() const { return m_binHz; }
    size_t size() const { return m_size; }
    double rowsPerSecond() const;
    uint64_t rows() const { return m_rows; }
    void reset();

private:
    struct Plan;

    void Transform();

    size_t m_size;
    size_t m_hop;
    double m_binHz;
    double m_sampleRate;
    std::vector<float> m_window;
    std::vector<float> m_ring;
    size_t m_next = 0;
    size_t m_sinceRow = 0;
    uint64_t m_rows = 0;
    float m_scale = 0;
    std::vector<std::complex<float>> m_in;
    std::vector<std::complex<float>> m_out;
    std::unique_ptr<Plan> m_plan;
    std::vector<float> m_row;
};

} // namespace psk31
