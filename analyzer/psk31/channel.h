// A deterministic HF channel for tests and benchmarks: sound-card clock error,
// frequency offset and drift, Rayleigh fading, a second station and a steady
// carrier beside the signal, white Gaussian noise and a receiver whose gain
// swings (AGC), all driven by one seed so every run gives the same samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace psk31 {

class Channel {
public:
    struct Config {
        double sampleRate = 48000;
        // Noise: SNR is the mean power of the signal while keyed (signalPower,
        // in the input's units) over the noise power in a 2500 Hz bandwidth.
        bool noise = false;
        double snrDb = 0;
        double signalPower = 0;   // must be given when noise is on
        double offsetHz = 0;
        double driftHzPerMinute = 0;
        double clockPpm = 0;      // receiver's clock error: > 0 means its clock runs fast
        double fadingHz = 0;      // Doppler spread of Rayleigh fading, 0 for none
        // Another station's samples added as they are (no offset, fading or
        // clock error), scaled to this many dB over the signal's power.
        // Needs signalPower.
        std::vector<float> otherStation;
        double otherStationDb = 0;
        // An unmodulated carrier at this frequency (0 for none), this many dB
        // over the signal's power. Needs signalPower.
        double carrierHz = 0;
        double carrierDb = 0;
        // The receiver's gain (signal and noise alike) swinging sinusoidally
        // by +-pumpDb at pumpHz.
        double pumpDb = 0;
        double pumpHz = 0;
        uint32_t seed = 1;
    };

    explicit Channel(const Config& config);
    ~Channel();
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    // Appends the channel's output for `n` input samples to `out` (with a clock
    // error, a few samples more or fewer).
    void process(const float* in, size_t n, std::vector<float>& out);

    // Mean power of the signal while keyed: the mean square of its samples
    // between its first and last non-zero sample.
    static double keyedPower(const std::vector<float>& signal);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace psk31
