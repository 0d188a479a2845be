// The squelch of a BPSK receiver: opens on the share of the symbols' energy
// that lies in phase, closes on lost phase quality and coherence (never on
// a low level: a fade or a receiver's AGC lowers the level, not the
// symbols' phase), and reopens quickly on a signal lost in a fade a moment
// ago. A steady carrier never opens it.
#pragma once

#include <array>
#include <complex>

namespace psk31 {

class Squelch {
public:
    static constexpr int kWindow = 24; // symbols

    // Where the receiver stands when a symbol comes in.
    struct State {
        int onesRun = 0; // symbols in a row without a reversal
        bool replaying = false; // the symbols are kept baseband gone through again
        bool sawIdle = false; // a preamble's reversals were seen since the retune
        bool placed = false; // the acquisition has put the receiver on a line
    };

    // One symbol after carrier correction, then whether to open or close.
    void push(std::complex<float> u, const State& state);
    bool open() const { return m_open; }
    // Share of the newest `window` symbols' energy that lies in phase, less
    // the share in quadrature: near 1 for a clean signal, near 0 for noise.
    double quality(int window) const;
    // How consistently the window's symbols keep BPSK's phases, weighted by
    // their energy: near 1 for a signal at any level, near 0 for noise.
    double coherence(int window = kWindow) const;
    // The window's symbols keep too little of their phase to hold a signal:
    // neither against the carrier loop nor one to the next (in quick fading
    // a loop may not follow a signal the symbols still carry).
    bool phaseLost() const;
    // The window's symbols are coherent enough to be a signal's.
    bool coherent() const;
    // Closed, with an empty window and no quick reopening: a new signal.
    void reset();

private:
    void Update(const State& state);
    bool Present() const;
    bool Steady(int window) const;
    size_t Slot(int back) const;
    void Clear();

    std::array<float, kWindow> m_inPhase{};
    std::array<float, kWindow> m_quadrature{};
    // Per symbol, the square of its product with the one before: for BPSK
    // it points along the real axis whatever the data, the carrier phase
    // and the level, while for noise it points anywhere.
    std::array<float, kWindow> m_coherentReal{};
    std::array<float, kWindow> m_coherentSize{};
    std::complex<float> m_previous = 0;
    long long m_symbols = 0;
    int m_filled = 0; // symbols in the window since it was cleared
    bool m_open = false;
    int m_sinceClose = 1 << 20; // symbols since it closed on a fade or noise
    int m_openFor = 0; // symbols since it opened
};

} // namespace psk31
