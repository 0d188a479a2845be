// A simulated link for the benchmarks: our transmitter, the channel
// simulator, our receiver.
#pragma once

#include "psk31/channel.h"
#include "psk31/demodulator.h"

#include <cstdint>
#include <string>
#include <vector>

struct Transmission {
    std::vector<float> samples;
    std::vector<double> doneAt; // seconds at which each byte's last bit was sent
};

// `text` sent at `carrierHz` after `leadSeconds` of silence, followed by
// `tailSeconds` of silence.
Transmission transmit(const std::string& text, double rate, double carrierHz, double startPhase,
                      double leadSeconds, double tailSeconds);

std::vector<float> throughChannel(const std::vector<float>& samples, psk31::Channel::Config config);

std::string receive(const std::vector<float>& samples, const psk31::Demodulator::Config& config);

// Several stations on one band: each signal scaled to its SNR (its keyed
// power over the noise in 2500 Hz), summed over one seeded white noise of
// `noiseIn2500` that lasts `tailSeconds` past the longest signal.
struct BandSignal {
    std::vector<float> samples;
    double snrDb;
};
struct SummedBand {
    std::vector<float> mix;                // every station and the noise
    std::vector<std::vector<float>> alone; // with keepAlone: each station with the same noise
};
SummedBand sumBand(std::vector<BandSignal> signals, double rate, double noiseIn2500, double tailSeconds,
             uint32_t seed, bool keepAlone = false);
