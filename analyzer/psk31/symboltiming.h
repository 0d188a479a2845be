// Symbol timing of a BPSK31 receiver: the envelope of the matched filter's
// output peaks at the symbol centres, so the phase of its symbol-rate line
// says where to sample; each symbol is interpolated between the samples
// there. Quick and bold while a new signal is pulled in, steady after.
#pragma once

#include <complex>
#include <vector>

namespace psk31 {

class SymbolTiming {
public:
    explicit SymbolTiming(int samplesPerSymbol);

    // One matched-filter sample in; true when a symbol is ready.
    bool push(std::complex<float> y, bool pullingIn);
    // The newest symbol, and how many samples it was moved beyond a whole
    // symbol from the one before (on average, the sound card's clock error).
    std::complex<float> symbol() const { return m_symbol; }
    double correction() const { return m_correction; }
    void reset();

private:
    int m_samplesPerSymbol;
    std::vector<std::complex<float>> m_phasor; // one turn per symbol
    std::vector<std::complex<float>> m_filtered; // ring of the newest samples
    long long m_sample = -1;
    std::complex<float> m_sum = 0;
    std::complex<float> m_line = 0;
    double m_next = 0;
    std::complex<float> m_symbol = 0;
    double m_correction = 0;
};

} // namespace psk31
