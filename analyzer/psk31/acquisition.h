// Finds a BPSK31 signal's carrier in a band: squaring the baseband removes the
// modulation and leaves a line at twice the carrier offset, which a smoothed
// FFT of the squared signal shows. Of the lines that stand well above the
// band's noise the one nearest the tuned frequency (0 Hz) wins, however
// strong the others are: the operator chose that station. A quick spectrum
// finds a signal within half a second; where it shows no line, a slow one
// (averaged over a few seconds, so its noise is smoother) finds a weak
// signal's line that the quick one shows only now and then.
#pragma once

#include "psk31/liquid.h"

#include <complex>
#include <vector>

namespace psk31 {

class Acquisition {
public:
    // `rate`: baseband sample rate; `rangeHz`: how far from 0 Hz to look.
    Acquisition(double rate, double rangeHz);
    Acquisition(const Acquisition&) = delete;
    Acquisition& operator=(const Acquisition&) = delete;

    // Adds one baseband sample; returns true when a new estimate is ready.
    bool push(std::complex<float> x);
    // Offset of the chosen line, Hz, and how far it stands above the band's
    // noise (a ratio of powers to the median bin).
    double offsetHz() const { return m_offsetHz; }
    double prominence() const { return m_prominence; }
    // Whether the chosen line stands out of the noise (is a signal).
    bool found() const { return m_found; }
    void reset();

private:
    void Estimate();
    // The nearest line in `power` within `reach` bins that stands `standsOut`
    // times over its median bin `floor`; false if there is none.
    bool Search(const std::vector<float>& power, double floor, double standsOut, int reach);
    void Place(const std::vector<float>& power, int peak, double floor);
    double Floor(const std::vector<float>& power, int reach);
    static double At(const std::vector<float>& power, int k);

    static constexpr unsigned kSize = 256;
    static constexpr unsigned kHop = 32;
    double m_rate;
    double m_rangeHz;
    std::vector<std::complex<float>> m_history;   // ring of the last kSize squared samples
    std::vector<std::complex<float>> m_in;
    std::vector<std::complex<float>> m_out;
    std::vector<float> m_window;
    std::vector<float> m_power;                   // smoothed power spectrum
    std::vector<float> m_slowPower;               // the same, smoothed over longer
    std::vector<double> m_sorted;                 // scratch for the median
    FftPlan m_plan;
    unsigned m_next = 0;
    unsigned m_count = 0;
    double m_offsetHz = 0;
    double m_prominence = 0;
    bool m_found = false;
};

} // namespace psk31
