#include "psk31/powerrows.h"

#include "psk31/liquid.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace psk31 {

struct PowerRows::Plan {
    fftplan plan;
    Plan(unsigned n, std::complex<float>* in, std::complex<float>* out)
        : plan(fft_create_plan(n, in, out, LIQUID_FFT_FORWARD, 0))
    {
    }
    ~Plan() { fft_destroy_plan(plan); }
    Plan(const Plan&) = delete;
    Plan& operator=(const Plan&) = delete;
};

PowerRows::PowerRows(double sampleRate, double maxBinHz, double rowsPerSecond)
    : m_sampleRate(sampleRate)
{
    if (!(sampleRate > 0 && maxBinHz > 0 && rowsPerSecond > 0
          && sampleRate / maxBinHz <= (1 << 20)))
        throw std::invalid_argument("spectrum: unusable rate, resolution or row rate");
    m_size = 2;
    while (sampleRate / double(m_size) > maxBinHz)
        m_size *= 2;
    m_binHz = sampleRate / double(m_size);
    m_hop = std::max<size_t>(1, size_t(std::floor(sampleRate / rowsPerSecond)));
    m_window.resize(m_size);
    double sumOfSquares = 0;
    for (size_t i = 0; i < m_size; ++i) {
        m_window[i] = liquid_hann(unsigned(i), unsigned(m_size));
        sumOfSquares += double(m_window[i]) * m_window[i];
    }
    // One-sided power: both halves of a real signal's spectrum in one bin.
    m_scale = float(2 / (double(m_size) * sumOfSquares));
    m_ring.assign(m_size, 0.0f);
    m_in.resize(m_size);
    m_out.resize(m_size);
    m_plan = std::make_unique<Plan>(unsigned(m_size), m_in.data(), m_out.data());
    m_row.assign(m_size / 2 + 1, 0.0f);
}

PowerRows::~PowerRows() = default;

double PowerRows::rowsPerSecond() const
{
    return m_sampleRate / double(m_hop);
}

bool PowerRows::push(float x)
{
    m_ring[m_next] = x;
    m_next = (m_next + 1) % m_size;
    if (++m_sinceRow < m_hop)
        return false;
    m_sinceRow = 0;
    Transform();
    return true;
}

void PowerRows::Transform()
{
    for (size_t i = 0; i < m_size; ++i)
        m_in[i] = m_ring[(m_next + i) % m_size] * m_window[i];
    fft_execute(m_plan->plan);
    for (size_t k = 0; k < m_row.size(); ++k)
        m_row[k] = m_scale * std::norm(m_out[k]);
    // 0 Hz and the Nyquist bin have no mirror image.
    m_row.front() /= 2;
    m_row.back() /= 2;
    ++m_rows;
}

void PowerRows::reset()
{
    std::fill(m_ring.begin(), m_ring.end(), 0.0f);
    std::fill(m_row.begin(), m_row.end(), 0.0f);
    m_next = 0;
    m_sinceRow = 0;
    m_rows = 0;
}

} // namespace psk31
