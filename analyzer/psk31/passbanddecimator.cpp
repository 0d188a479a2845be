#include "psk31/passbanddecimator.h"

#include "psk31/liquid.h"

#include <algorithm>
#include <cmath>

namespace psk31 {
namespace {

// A stage halves the rate when the passband's top is this far below the new
// Nyquist frequency: what folds over then lies in the filter's stop band.
constexpr double kHalvingMargin = 1.5;
constexpr double kAttenuationDb = 70;

} // namespace

struct PassbandDecimator::Stage {
    resamp2_rrrf filter;
    bool held = false;
    float heldSample = 0;

    Stage(double rate, double topHz)
    {
        // Filter length from the transition band (Kaiser's estimate).
        const double transition = (rate / 2 - 2 * topHz) / rate;
        const double taps = (kAttenuationDb - 8) / (14.36 * transition);
        const unsigned semiLength = std::max(2u, unsigned(std::ceil(taps / 4)) + 1);
        filter = resamp2_rrrf_create(semiLength, 0.0f, float(kAttenuationDb));
    }
    ~Stage() { resamp2_rrrf_destroy(filter); }
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    // Halves `x` in place; an odd sample left over waits for the next block.
    void Halve(std::vector<float>& x)
    {
        if (held) {
            x.insert(x.begin(), heldSample);
            held = false;
        }
        const size_t pairs = x.size() / 2;
        if (x.size() % 2) {
            held = true;
            heldSample = x.back();
        }
        for (size_t i = 0; i < pairs; ++i)
            resamp2_rrrf_decim_execute(filter, &x[2 * i], &x[i]);
        x.resize(pairs);
    }
};

PassbandDecimator::PassbandDecimator(double sampleRate, double topHz) : m_outputRate(sampleRate)
{
    while (kHalvingMargin * topHz <= m_outputRate / 4) {
        m_stages.push_back(std::make_unique<Stage>(m_outputRate, topHz));
        m_outputRate /= 2;
    }
}

PassbandDecimator::~PassbandDecimator() = default;

void PassbandDecimator::process(const float* in, size_t n, std::vector<float>& out)
{
    out.assign(in, in + n);
    for (const auto& stage : m_stages)
        stage->Halve(out);
}

void PassbandDecimator::reset()
{
    for (const auto& stage : m_stages) {
        resamp2_rrrf_reset(stage->filter);
        stage->held = false;
    }
}

} // namespace psk31
