// Takes a steady carrier out of the baseband: a tuning station or a birdie
// near the wanted signal would otherwise leak through the channel filter and
// hide the signal from the carrier search. An FFT of the baseband finds a
// line far narrower than any PSK31 signal, and an adaptive single-tone
// canceller follows and subtracts it.
#pragma once

#include "psk31/liquid.h"

#include <complex>
#include <vector>

namespace psk31 {

class CarrierCanceller {
public:
    // `rate`: baseband sample rate; `rangeHz`: how far from 0 Hz to look;
    // `symbolRate`: the PSK signals' (their idle is two lines that far apart).
    CarrierCanceller(double rate, double rangeHz, double symbolRate);
    CarrierCanceller(const CarrierCanceller&) = delete;
    CarrierCanceller& operator=(const CarrierCanceller&) = delete;

    // One baseband sample in, the same without the carrier out.
    std::complex<float> process(std::complex<float> x);
    // The receiver's own signal lies within `widthHz` of `hz`: a line there
    // (its postamble) is left alone. A negative width clears nothing.
    void keepClearOf(double hz, double widthHz);
    // Whether a carrier is being taken out, and where.
    bool active() const { return m_active; }
    double frequencyHz() const { return m_hz; }
    void reset();

private:
    void Look();

    static constexpr unsigned kSize = 256;
    static constexpr unsigned kHop = 64;
    double m_rate;
    double m_symbolRate;
    double m_rangeHz;
    double m_clearHz = 0;
    double m_clearWidthHz = 0;
    std::vector<std::complex<float>> m_history;
    std::vector<std::complex<float>> m_in;
    std::vector<std::complex<float>> m_out;
    std::vector<float> m_window;
    std::vector<float> m_power;
    std::vector<float> m_sorted;
    FftPlan m_plan;
    unsigned m_next = 0;
    unsigned m_count = 0;
    bool m_active = false;
    int m_missed = 0; // looks in a row that did not find the carrier
    double m_hz = 0;
    std::complex<double> m_phasor = 1;
    std::complex<double> m_turn = 1;
    std::complex<double> m_weight = 0;
    std::complex<double> m_lastWeight = 0;
};

} // namespace psk31
