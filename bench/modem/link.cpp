#include "link.h"

#include "psk31/modulator.h"

#include <algorithm>
#include <cmath>
#include <random>

Transmission transmit(const std::string& text, double rate, double carrierHz, double startPhase,
                      double leadSeconds, double tailSeconds)
{
    Transmission t;
    t.samples.assign(size_t(leadSeconds * rate), 0.0f);
    psk31::Modulator modulator({rate, carrierHz, 0.5, startPhase});
    modulator.start();
    for (char c : text)
        modulator.send(uint8_t(c));
    modulator.stop();
    std::vector<float> block(256);
    std::string done;
    while (!modulator.finished()) {
        done.clear();
        modulator.render(block.data(), block.size(), &done);
        t.samples.insert(t.samples.end(), block.begin(), block.end());
        for (size_t i = 0; i < done.size(); ++i)
            t.doneAt.push_back(double(t.samples.size()) / rate);
    }
    t.samples.resize(t.samples.size() + size_t(tailSeconds * rate), 0.0f);
    return t;
}

std::vector<float> throughChannel(const std::vector<float>& samples, psk31::Channel::Config config)
{
    if (config.noise && config.signalPower <= 0)
        config.signalPower = psk31::Channel::keyedPower(samples);
    psk31::Channel channel(config);
    std::vector<float> out;
    channel.process(samples.data(), samples.size(), out);
    return out;
}

std::string receive(const std::vector<float>& samples, const psk31::Demodulator::Config& config)
{
    psk31::Demodulator demodulator(config);
    std::string text;
    demodulator.process(samples.data(), samples.size(), text);
    demodulator.flush(text);
    return text;
}

SummedBand sumBand(std::vector<BandSignal> signals, double rate, double noiseIn2500, double tailSeconds,
             uint32_t seed, bool keepAlone)
{
    size_t length = 0;
    for (BandSignal& s : signals) {
        const double power = psk31::Channel::keyedPower(s.samples);
        const float gain = power > 0
            ? float(std::sqrt(noiseIn2500 * std::pow(10.0, s.snrDb / 10) / power))
            : 0.0f;
        for (float& x : s.samples)
            x *= gain;
        length = std::max(length, s.samples.size());
    }
    length += size_t(tailSeconds * rate);
    std::vector<float> noise(length);
    std::mt19937 random(seed);
    std::normal_distribution<float> gauss(0.0f, float(std::sqrt(noiseIn2500 * (rate / 2) / 2500)));
    for (float& x : noise)
        x = gauss(random);
    SummedBand band;
    band.mix = noise;
    for (const BandSignal& s : signals) {
        for (size_t i = 0; i < s.samples.size(); ++i)
            band.mix[i] += s.samples[i];
        if (keepAlone) {
            std::vector<float> alone = noise;
            for (size_t i = 0; i < s.samples.size(); ++i)
                alone[i] += s.samples[i];
            band.alone.push_back(std::move(alone));
        }
    }
    return band;
}
