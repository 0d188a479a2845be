#include "psk31/carrierloop.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace psk31 {
namespace {

// Bandwidths as a fraction of the symbol rate: while pulling in, then from
// narrow (weak signal) to wide (strong, fading signal).
constexpr double kPullInBandwidth = 0.08;
constexpr double kTrackBandwidth = 0.035;
constexpr double kWideBandwidth = 0.35;
constexpr double kQuietSnr = 12; // symbol SNR up to which the loop stays narrow
// ... unless the carrier's phase wanders (a quick fade turns it fast near
// each null): the mean square of the loop's frequency beyond the mixer, in
// (radians per symbol)^2, at which that SNR halves. Without fading it stays
// near 0.001; 1 Hz fading takes it to 0.015-0.03.
constexpr double kWanderingRate = 0.008;
constexpr double kWanderingSymbols = 64;
// Above it the loop widens almost in proportion: a strong signal in a fade
// turns its phase quickly, and only a quick loop keeps up.
constexpr double kWidening = 0.9;
// Share of the loop's frequency moved into the mixer each symbol.
constexpr double kAfcShare = 0.05;
constexpr double kDriftGain = 0.1;

double NaturalFrequency(double bandwidth)
{
    const double zeta = std::numbers::sqrt2 / 2;
    return bandwidth * 8 * zeta / (4 * zeta * zeta + 1);
}

} // namespace

CarrierLoop::CarrierLoop()
{
    reset();
}

void CarrierLoop::reset()
{
    m_phase = m_step = m_drift = m_wandering = m_meanStep = m_spread = 0;
    Set(kPullInBandwidth);
}

void CarrierLoop::Set(double bandwidth)
{
    const double zeta = std::numbers::sqrt2 / 2;
    const double wn = NaturalFrequency(bandwidth);
    m_k1 = 2 * zeta * wn;
    m_k2 = wn * wn;
    // A third, slow integrator follows a drifting carrier without the
    // standing phase error a second-order loop keeps on a frequency ramp.
    // It stays as slow as the tracking loop's: a wide loop's would swing
    // the frequency with every fade.
    const double slow = NaturalFrequency(std::min(bandwidth, kTrackBandwidth));
    m_k3 = slow * slow * slow * kDriftGain;
}

std::complex<float> CarrierLoop::correct(std::complex<float> y) const
{
    return y * std::polar(1.0f, float(-m_phase));
}

double CarrierLoop::steer(std::complex<float> u, bool held, double snr)
{
    const double error = u.real() == 0 ? 0.0 : std::atan(double(u.imag()) / double(u.real()));
    if (!held) {
        Set(kPullInBandwidth);
        m_drift = 0;
    } else {
        const double quietSnr = kQuietSnr / (1 + m_wandering / kWanderingRate);
        const double widening = std::pow(std::max(1.0, snr / quietSnr), kWidening);
        Set(std::clamp(kTrackBandwidth * widening, kTrackBandwidth, kWideBandwidth));
        m_drift += m_k3 * error;
    }
    m_step += m_k2 * error + m_drift;
    m_phase = std::remainder(m_phase + m_step + m_k1 * error, 2 * std::numbers::pi);
    const double moved = kAfcShare * m_step;
    m_step -= moved;
    if (held) {
        m_wandering += (m_step * m_step - m_wandering) / kWanderingSymbols;
        // Apart from its mean: a drifting carrier holds the step away from 0.
        m_meanStep += (m_step - m_meanStep) / kWanderingSymbols;
        m_spread += ((m_step - m_meanStep) * (m_step - m_meanStep) - m_spread) / kWanderingSymbols;
    }
    return moved;
}

} // namespace psk31
