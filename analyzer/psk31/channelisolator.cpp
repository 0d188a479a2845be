#include "psk31/channelisolator.h"

#include "psk31/liquid.h"

#include <cmath>
#include <numbers>

namespace psk31 {
namespace {

// The channel filter runs at a low rate, where a sharp filter is short: it
// passes +-kPassHz plus the signal's own +-31 Hz and stops what lies beyond a
// neighbour's edge 150 - 31 Hz away.
constexpr double kFilterRate = 500;
constexpr double kCutoffHz = 96;
constexpr unsigned kFilterTaps = 41;
constexpr float kAttenuationDb = 60;

} // namespace

struct ChannelIsolator::Liquid {
    nco_crcf down;
    msresamp_crcf decimator;
    firfilt_crcf filter;
    msresamp_crcf interpolator;
    nco_crcf up;

    Liquid(double inputRate, double centreHz)
    {
        down = nco_crcf_create(LIQUID_NCO);
        nco_crcf_set_frequency(down, float(2 * std::numbers::pi * centreHz / inputRate));
        decimator = msresamp_crcf_create(float(kFilterRate / inputRate), kAttenuationDb);
        float taps[kFilterTaps];
        liquid_firdes_kaiser(kFilterTaps, float(kCutoffHz / kFilterRate), kAttenuationDb, 0.0f,
                             taps);
        float sum = 0;
        for (float t : taps)
            sum += t;
        for (float& t : taps)
            t /= sum;
        filter = firfilt_crcf_create(taps, kFilterTaps);
        interpolator = msresamp_crcf_create(float(kOutputRate / kFilterRate), kAttenuationDb);
        up = nco_crcf_create(LIQUID_NCO);
        nco_crcf_set_frequency(up, float(2 * std::numbers::pi * kIfHz / kOutputRate));
    }
    ~Liquid()
    {
        nco_crcf_destroy(down);
        msresamp_crcf_destroy(decimator);
        firfilt_crcf_destroy(filter);
        msresamp_crcf_destroy(interpolator);
        nco_crcf_destroy(up);
    }
    Liquid(const Liquid&) = delete;
    Liquid& operator=(const Liquid&) = delete;
};

ChannelIsolator::ChannelIsolator(double inputRate, double centreHz)
    : m_inputRate(inputRate),
      m_centreHz(centreHz),
      m_liquid(std::make_unique<Liquid>(inputRate, centreHz))
{
}

ChannelIsolator::~ChannelIsolator() = default;

void ChannelIsolator::process(const float* in, size_t n, std::vector<float>& out)
{
    Liquid& q = *m_liquid;
    m_mixed.resize(n);
    for (size_t i = 0; i < n; ++i)
        m_mixed[i] = in[i];
    nco_crcf_mix_block_down(q.down, m_mixed.data(), m_mixed.data(), unsigned(n));
    m_narrow.resize(size_t(std::ceil(double(n) * kFilterRate / m_inputRate)) + 16);
    unsigned narrow = 0;
    msresamp_crcf_execute(q.decimator, m_mixed.data(), unsigned(n), m_narrow.data(), &narrow);
    for (unsigned i = 0; i < narrow; ++i) {
        firfilt_crcf_push(q.filter, m_narrow[i]);
        firfilt_crcf_execute(q.filter, &m_narrow[i]);
    }
    m_wide.resize(size_t(narrow) * size_t(kOutputRate / kFilterRate) + 16);
    unsigned wide = 0;
    msresamp_crcf_execute(q.interpolator, m_narrow.data(), narrow, m_wide.data(), &wide);
    nco_crcf_mix_block_up(q.up, m_wide.data(), m_wide.data(), wide);
    // The real part of the analytic channel has half its amplitude.
    out.resize(wide);
    for (unsigned i = 0; i < wide; ++i)
        out[i] = 2 * m_wide[i].real();
}

void ChannelIsolator::reset()
{
    m_liquid = std::make_unique<Liquid>(m_inputRate, m_centreHz);
}

} // namespace psk31
