#include "psk31/basebandfrontend.h"

#include "psk31/liquid.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace psk31 {
namespace {

// Room between the passband's edge and where the decimated rate folds back.
constexpr double kTransitionHz = 300;
constexpr double kAttenuationDb = 70;
constexpr unsigned kResamplerFilters = 64;

} // namespace

struct BasebandFrontEnd::Liquid {
    LiquidHandle<nco_crcf, nco_crcf_destroy> mixer{nco_crcf_create(LIQUID_NCO)};
    // A whole decimation factor where the rates allow, a resampler otherwise.
    LiquidHandle<firdecim_crcf, firdecim_crcf_destroy> decimator;
    LiquidHandle<resamp_crcf, resamp_crcf_destroy> resampler;
    unsigned factor = 1;
    std::vector<std::complex<float>> pending;
};

BasebandFrontEnd::BasebandFrontEnd(double sampleRate, double lowHz, double highHz,
                                   double baseRate)
    : m_decimator(sampleRate, highHz),
      m_liquid(std::make_unique<Liquid>())
{
    const double in = m_decimator.outputRate();
    m_centreHz = (lowHz + highHz) / 2;
    const double half = (highHz - lowHz) / 2;
    m_rate = baseRate * std::ceil((2 * half + kTransitionHz) / baseRate);
    Liquid& q = *m_liquid;
    nco_crcf_set_frequency(q.mixer.get(), float(2 * std::numbers::pi * m_centreHz / in));
    // Passes +-half, stops from where the output rate folds back onto it.
    const double transition = std::max(m_rate - 2 * half, kTransitionHz) / in;
    const double taps = (kAttenuationDb - 8) / (14.36 * transition);
    const double ratio = in / m_rate;
    const double cutoff = std::min(0.5 * m_rate, in / 2) / in;
    if (ratio == std::round(ratio)) {
        q.factor = unsigned(ratio);
        const unsigned length = 2 * q.factor * unsigned(std::ceil(taps / (2 * q.factor))) + 1;
        std::vector<float> h(length);
        liquid_firdes_kaiser(length, float(cutoff), float(kAttenuationDb), 0.0f, h.data());
        float sum = 0;
        for (float t : h)
            sum += t;
        for (float& t : h)
            t /= sum;
        q.decimator.reset(firdecim_crcf_create(q.factor, h.data(), length));
    } else {
        q.resampler.reset(resamp_crcf_create(float(m_rate / in), unsigned(std::ceil(taps / 2)),
                                             float(std::min(cutoff, 0.45)), float(kAttenuationDb),
                                             kResamplerFilters));
    }
}

BasebandFrontEnd::~BasebandFrontEnd() = default;

void BasebandFrontEnd::process(const float* in, size_t n, std::vector<float>& real,
                               std::vector<std::complex<float>>& out)
{
    m_decimator.process(in, n, real);
    Liquid& q = *m_liquid;
    m_mixed.assign(real.begin(), real.end());
    nco_crcf_mix_block_down(q.mixer.get(), m_mixed.data(), m_mixed.data(), unsigned(m_mixed.size()));
    if (q.resampler) {
        out.resize(size_t(std::ceil(double(m_mixed.size()) * m_rate / realRate())) + 4);
        unsigned produced = 0;
        resamp_crcf_execute_block(q.resampler.get(), m_mixed.data(), unsigned(m_mixed.size()),
                                  out.data(), &produced);
        out.resize(produced);
        return;
    }
    q.pending.insert(q.pending.end(), m_mixed.begin(), m_mixed.end());
    const size_t blocks = q.pending.size() / q.factor;
    out.resize(blocks);
    firdecim_crcf_execute_block(q.decimator.get(), q.pending.data(), unsigned(blocks), out.data());
    q.pending.erase(q.pending.begin(), q.pending.begin() + long(blocks * q.factor));
}

} // namespace psk31
