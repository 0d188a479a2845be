#include "psk31/channel.h"

#include "psk31/liquid.h"

#include <cmath>
#include <numbers>
#include <random>

namespace psk31 {
namespace {

constexpr double kNoiseBandwidth = 2500;
constexpr int kFadingPaths = 16;
constexpr unsigned kHilbertSemiLength = 25;

} // namespace

struct Channel::Private {
    Config config;
    std::mt19937 random;
    std::normal_distribution<float> gauss{0.0f, 1.0f};
    double noiseSigma = 0;
    LiquidHandle<resamp_rrrf, resamp_rrrf_destroy> clock;
    LiquidHandle<firhilbf, firhilbf_destroy> hilbert;
    bool shifts = false;
    double phase = 0;
    long long sample = 0;
    // Sum-of-sinusoids fading: each path has a Doppler shift and a phase.
    std::vector<double> pathHz;
    std::vector<double> pathPhase;
    std::vector<float> resampled;
    float otherScale = 0;
    size_t otherNext = 0;
    double carrierAmplitude = 0;

    explicit Private(const Config& c)
        : config(c)
        , random(c.seed)
    {
        if (c.noise) {
            const double noiseIn2500 = c.signalPower / std::pow(10.0, c.snrDb / 10);
            noiseSigma = std::sqrt(noiseIn2500 * (c.sampleRate / 2) / kNoiseBandwidth);
        }
        if (!c.otherStation.empty()) {
            const double power = keyedPower(c.otherStation);
            if (power > 0)
                otherScale = float(std::sqrt(c.signalPower * std::pow(10.0, c.otherStationDb / 10) / power));
        }
        if (c.carrierHz > 0)
            carrierAmplitude = std::sqrt(2 * c.signalPower * std::pow(10.0, c.carrierDb / 10));
        if (c.clockPpm != 0)
            clock.reset(resamp_rrrf_create(float(1 + c.clockPpm * 1e-6), 13, 0.45f, 60.0f, 64));
        shifts = c.offsetHz != 0 || c.driftHzPerMinute != 0 || c.fadingHz > 0;
        if (shifts)
            hilbert.reset(firhilbf_create(kHilbertSemiLength, 60.0f));
        if (c.fadingHz > 0) {
            std::uniform_real_distribution<double> uniform(0, 2 * std::numbers::pi);
            for (int i = 0; i < kFadingPaths; ++i) {
                pathHz.push_back(c.fadingHz * std::cos(uniform(random)));
                pathPhase.push_back(uniform(random));
            }
        }
    }

    std::complex<double> Fading(double t) const
    {
        std::complex<double> g = 0;
        for (size_t i = 0; i < pathHz.size(); ++i)
            g += std::polar(1.0, 2 * std::numbers::pi * pathHz[i] * t + pathPhase[i]);
        return g / std::sqrt(double(pathHz.size()));
    }

    float Shift(float x)
    {
        std::complex<float> analytic;
        firhilbf_r2c_execute(hilbert.get(), x, &analytic);
        const double t = double(sample) / config.sampleRate;
        const double hz = config.offsetHz + config.driftHzPerMinute * t / 60;
        phase = std::fmod(phase + 2 * std::numbers::pi * hz / config.sampleRate, 2 * std::numbers::pi);
        std::complex<double> gain = std::polar(1.0, phase);
        if (!pathHz.empty())
            gain *= Fading(t);
        return float((std::complex<double>(analytic) * gain).real());
    }
};

Channel::Channel(const Config& config)
    : d(std::make_unique<Private>(config))
{
}

Channel::~Channel() = default;

void Channel::process(const float* in, size_t n, std::vector<float>& out)
{
    const float* samples = in;
    size_t count = n;
    if (d->clock) {
        d->resampled.clear();
        float y[4];
        unsigned produced = 0;
        for (size_t i = 0; i < n; ++i) {
            resamp_rrrf_execute(d->clock.get(), in[i], y, &produced);
            d->resampled.insert(d->resampled.end(), y, y + produced);
        }
        samples = d->resampled.data();
        count = d->resampled.size();
    }
    out.reserve(out.size() + count);
    for (size_t i = 0; i < count; ++i) {
        float x = d->shifts ? d->Shift(samples[i]) : samples[i];
        const double t = double(d->sample) / d->config.sampleRate;
        if (d->otherNext < d->config.otherStation.size())
            x += d->otherScale * d->config.otherStation[d->otherNext++];
        if (d->carrierAmplitude > 0)
            x += float(d->carrierAmplitude * std::cos(2 * std::numbers::pi * std::fmod(d->config.carrierHz * t, 1.0)));
        if (d->noiseSigma > 0)
            x += float(d->noiseSigma) * d->gauss(d->random);
        if (d->config.pumpDb != 0)
            x *= float(std::pow(10.0, d->config.pumpDb / 20 * std::sin(2 * std::numbers::pi * d->config.pumpHz * t)));
        out.push_back(x);
        ++d->sample;
    }
}

double Channel::keyedPower(const std::vector<float>& signal)
{
    size_t first = 0;
    size_t last = signal.size();
    while (first < last && signal[first] == 0)
        ++first;
    while (last > first && signal[last - 1] == 0)
        --last;
    double sum = 0;
    for (size_t i = first; i < last; ++i)
        sum += double(signal[i]) * signal[i];
    return last > first ? sum / double(last - first) : 0;
}

} // namespace psk31
