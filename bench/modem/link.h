// A simulated link for the benchmarks: our transmitter, the channel
// simulator, our receiver.
#pragma once

#include "psk31/channel.h"
#include "psk31/demodulator.h"

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
