// The carrier-phase loop of a BPSK receiver: a third-order loop on each
// symbol's phase error (whichever sign the symbol has). Wide while it pulls
// in; once the signal is held, as wide as the signal's SNR and the wandering
// of its phase call for. A share of the frequency it finds is handed each
// symbol to the mixer ahead of it, which does the coarse tuning.
#pragma once

#include <complex>

namespace psk31 {

class CarrierLoop {
public:
    CarrierLoop();

    // A symbol with the loop's phase taken out.
    std::complex<float> correct(std::complex<float> y) const;
    // Steers on a corrected symbol. `held`: a signal is held and pulled in
    // (otherwise the loop pulls in, wide and without its drift term);
    // `snr`: the symbols' SNR (power over noise variance), 0 when the signal
    // has lost its coherence. Returns the frequency, in radians per symbol,
    // that the mixer ahead should move by.
    double steer(std::complex<float> u, bool held, double snr);
    // Frequency beyond the mixer, radians per symbol.
    double step() const { return m_step; }
    // How much that frequency moves about its mean while held: its variance
    // over the last few dozen symbols, in (radians per symbol)^2. Near 0 for
    // a steady or drifting carrier and under gain swings; fading turns the
    // carrier's phase fast near each null, and 0.5 Hz fading takes it to
    // about 0.002-0.008, 1 Hz fading to 0.02.
    double spread() const { return m_spread; }
    void reset();

private:
    void Set(double bandwidth);

    double m_k1 = 0, m_k2 = 0, m_k3 = 0;
    double m_phase = 0;
    double m_step = 0; // radians per symbol
    double m_drift = 0; // radians per symbol per symbol
    double m_wandering = 0; // mean square of m_step while held
    double m_meanStep = 0;  // mean of m_step while held
    double m_spread = 0;    // variance of m_step while held
};

} // namespace psk31
