#include "psk31/squelch.h"

namespace psk31 {
namespace {

constexpr double kOpenQuality = 0.72;
constexpr int kQuickWithin = 96; // symbols after a close
constexpr int kQuickSymbols = 8;
constexpr int kCleanSymbols = 14;
constexpr double kCleanQuality = 0.85;
// A window opens the squelch only if its older half has this share of the
// energy of its newer half.
constexpr double kSteadyShare = 0.1;
constexpr int kQuickAfter = 64; // symbols a signal must have been open
constexpr double kQuickQuality = 0.8;
constexpr double kCloseCoherence = 0.2;
// A quick reopening also needs coherent symbols: the loop makes noise look
// in phase for a few symbols, but not coherent.
constexpr double kQuickCoherence = 0.6;
constexpr double kLostQuality = 0.35;
// Symbols this coherent one to the next keep a signal's phase even where
// the loop does not follow (a receiver beside its signal slips faster).
constexpr double kHeldCoherence = 0.6;
constexpr int kRecentSymbols = 2;
constexpr double kPresentShare = 0.2;
constexpr int kCarrierBits = 18; // longer than any character's run of ones

} // namespace

void Squelch::reset()
{
    Clear();
    m_coherentReal.fill(0);
    m_coherentSize.fill(0);
    m_previous = 0;
    m_sinceClose = kQuickWithin;
    m_open = false;
}

void Squelch::Clear()
{
    m_inPhase.fill(0);
    m_quadrature.fill(0);
    m_filled = 0;
}

size_t Squelch::Slot(int back) const
{
    return size_t((m_symbols - 1 - back + kWindow * 4) % kWindow);
}

void Squelch::push(std::complex<float> u, const State& state)
{
    const size_t slot = size_t(m_symbols % kWindow);
    m_inPhase[slot] = u.real() * u.real();
    m_quadrature[slot] = u.imag() * u.imag();
    const std::complex<float> product = u * std::conj(m_previous);
    m_previous = u;
    m_coherentReal[slot] = (product * product).real();
    m_coherentSize[slot] = std::norm(product);
    ++m_symbols;
    ++m_filled;
    Update(state);
}

double Squelch::coherence(int window) const
{
    double real = 0, size = 0;
    for (int k = 0; k < window; ++k) {
        real += m_coherentReal[Slot(k)];
        size += m_coherentSize[Slot(k)];
    }
    return size > 0 ? real / size : 0;
}

double Squelch::quality(int window) const
{
    double p = 0, q = 0;
    for (int k = 0; k < window; ++k) {
        p += m_inPhase[Slot(k)];
        q += m_quadrature[Slot(k)];
    }
    return p + q > 0 ? (p - q) / (p + q) : 0;
}

bool Squelch::phaseLost() const
{
    return quality(kWindow) < kLostQuality && coherence() < kHeldCoherence;
}

bool Squelch::coherent() const
{
    return coherence() >= kCloseCoherence;
}

// Whether the newest symbols still carry energy like the window's: a
// signal that just ended leaves its energy in the window for a while.
bool Squelch::Present() const
{
    double recent = 0, all = 0;
    for (int k = 0; k < kWindow; ++k) {
        const double energy = m_inPhase[Slot(k)] + m_quadrature[Slot(k)];
        all += energy;
        if (k < kRecentSymbols)
            recent += energy;
    }
    return recent * kWindow > kPresentShare * kRecentSymbols * all;
}

// Whether the older half of the newest symbols carries energy like the
// newer half: the quality is weighed by energy, so a strong signal's
// first few symbols after quiet noise would make a window look clean.
bool Squelch::Steady(int window) const
{
    double older = 0, newer = 0;
    for (int k = 0; k < window; ++k)
        (k < window / 2 ? newer : older) += m_inPhase[Slot(k)] + m_quadrature[Slot(k)];
    return older >= kSteadyShare * newer;
}

void Squelch::Update(const State& state)
{
    if (!m_open && state.onesRun >= kCarrierBits / 2) {
        // A steady carrier is no reason to open, now or just after it ends.
        Clear();
        return;
    }
    if (!m_open) {
        // A signal lost in a fade a moment ago comes back on fewer symbols.
        const bool recent = m_sinceClose < kQuickWithin;
        const int needed = recent ? kQuickSymbols : kWindow;
        ++m_sinceClose;
        // A clean signal opens on fewer symbols than a weak one needs.
        const bool clean = m_filled >= kCleanSymbols && quality(kCleanSymbols) > kCleanQuality
            && Steady(kCleanSymbols);
        // Samples gone through again hold noise before the signal: the
        // squelch opens in them only after a preamble. A new signal met
        // live opens it only once the acquisition has put the receiver
        // on it: a strong one looks clean from its first symbols.
        m_open = Present() && (!state.replaying || state.sawIdle)
            && (state.replaying || recent || state.placed)
            && (clean
                || (m_filled >= needed && quality(needed) > (recent ? kQuickQuality : kOpenQuality)
                    && Steady(needed)))
            && (!recent || coherence(kQuickSymbols) > kQuickCoherence);
        m_openFor = 0;
        return;
    }
    ++m_openFor;
    // A weak signal's coherence wavers, so its phase quality must be gone
    // as well.
    if (state.onesRun >= kCarrierBits
        || (coherence() < kCloseCoherence && quality(kWindow) < kLostQuality)) {
        // Opening again takes a whole window of new symbols.
        // Only a signal that was copied for a while comes back quickly.
        m_sinceClose = state.onesRun >= kCarrierBits || m_openFor < kQuickAfter ? kQuickWithin : 0;
        m_open = false;
        Clear();
    }
}

} // namespace psk31
