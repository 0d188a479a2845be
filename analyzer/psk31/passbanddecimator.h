// The shared front end of the multi-channel receiver: halves a real signal's
// sample rate as often as the band from 0 Hz to the top of the passband still
// fits, so that every channel, the spectrum and the finder work at the lowest
// rate that holds the passband.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace psk31 {

class PassbandDecimator {
public:
    PassbandDecimator(double sampleRate, double topHz);
    ~PassbandDecimator();
    PassbandDecimator(const PassbandDecimator&) = delete;
    PassbandDecimator& operator=(const PassbandDecimator&) = delete;

    double outputRate() const { return m_outputRate; }
    // Replaces `out` with the output for `n` more input samples.
    void process(const float* in, size_t n, std::vector<float>& out);
    void reset();

private:
    struct Stage;

    double m_outputRate;
    std::vector<std::unique_ptr<Stage>> m_stages;
};

} // namespace psk31
