#include "psk31/channelisolator.h"

#include "psk31/liquid.h"

#include <cmath>
#include <numbers>
#include <stdexcept>

namespace psk31 {
namespace {

// The decimator stops what would fold into the channel filter's band; the
// channel filter at the output rate, where a sharp filter is short, passes
// +-kPassHz plus the signal's own +-31 Hz and stops what lies beyond a
// neighbour's edge 150 - 31 Hz away. Both are linear phase, delayed by a
// whole number of output samples (kDelay).
constexpr unsigned kDecimatorSemiLength = 4; // output samples each side
constexpr double kCutoffHz = 96;
constexpr unsigned kFilterTaps = 41;
constexpr float kAttenuationDb = 60;
static_assert(ChannelIsolator::kDelay == kDecimatorSemiLength + (kFilterTaps - 1) / 2);

void Normalise(std::vector<float>& taps)
{
    float sum = 0;
    for (float t : taps)
        sum += t;
    for (float& t : taps)
        t /= sum;
}

} // namespace

struct ChannelIsolator::Liquid {
    LiquidHandle<nco_crcf, nco_crcf_destroy> mixer{nco_crcf_create(LIQUID_NCO)};
    LiquidHandle<firdecim_crcf, firdecim_crcf_destroy> decimator;
    LiquidHandle<firfilt_crcf, firfilt_crcf_destroy> filter;
    unsigned factor = 1;
    std::vector<std::complex<float>> pending; // input for the next output sample
};

ChannelIsolator::ChannelIsolator(double inputRate, double inputCentreHz, double outputRate,
                                 double centreHz)
    : m_inputRate(inputRate),
      m_inputCentreHz(inputCentreHz),
      m_centreHz(centreHz),
      m_liquid(std::make_unique<Liquid>())
{
    const double ratio = inputRate / outputRate;
    if (!(ratio >= 1 && ratio == std::round(ratio)))
        throw std::invalid_argument("the channel's input rate must be a whole multiple of its output rate");
    Liquid& q = *m_liquid;
    q.factor = unsigned(ratio);
    std::vector<float> taps(2 * kDecimatorSemiLength * q.factor + 1);
    // Passes the channel filter's band, stops from where the output rate folds it back.
    const double stopHz = outputRate - kReachHz;
    liquid_firdes_kaiser(unsigned(taps.size()), float(0.5 * stopHz / inputRate), kAttenuationDb,
                         0.0f, taps.data());
    Normalise(taps);
    q.decimator.reset(firdecim_crcf_create(q.factor, taps.data(), unsigned(taps.size())));
    taps.resize(kFilterTaps);
    liquid_firdes_kaiser(kFilterTaps, float(kCutoffHz / outputRate), kAttenuationDb, 0.0f,
                         taps.data());
    Normalise(taps);
    q.filter.reset(firfilt_crcf_create(taps.data(), kFilterTaps));
    moveTo(centreHz);
}

ChannelIsolator::~ChannelIsolator() = default;

size_t ChannelIsolator::factor() const
{
    return m_liquid->factor;
}

void ChannelIsolator::moveTo(double centreHz)
{
    m_centreHz = centreHz;
    nco_crcf_set_frequency(m_liquid->mixer.get(), float(2 * std::numbers::pi
                                                        * (centreHz - m_inputCentreHz)
                                                        / m_inputRate));
}

void ChannelIsolator::process(const std::complex<float>* in, size_t n,
                              std::vector<std::complex<float>>& out)
{
    Liquid& q = *m_liquid;
    m_mixed.assign(in, in + n);
    nco_crcf_mix_block_down(q.mixer.get(), m_mixed.data(), m_mixed.data(), unsigned(n));
    q.pending.insert(q.pending.end(), m_mixed.begin(), m_mixed.end());
    const size_t blocks = q.pending.size() / q.factor;
    out.resize(blocks);
    firdecim_crcf_execute_block(q.decimator.get(), q.pending.data(), unsigned(blocks), out.data());
    q.pending.erase(q.pending.begin(), q.pending.begin() + long(blocks * q.factor));
    for (auto& x : out) {
        firfilt_crcf_push(q.filter.get(), x);
        firfilt_crcf_execute(q.filter.get(), &x);
    }
}

} // namespace psk31
