// One station cut out of the passband for its own receiver: mixed down to
// baseband, filtered to the channel (a station 150 Hz away is stopped) and put
// back at a fixed intermediate frequency at a low rate. The receiver then
// neither sees its neighbours nor spends time on the whole passband.
#pragma once

#include <complex>
#include <cstddef>
#include <memory>
#include <vector>

namespace psk31 {

class ChannelIsolator {
public:
    static constexpr double kOutputRate = 4000;
    static constexpr double kIfHz = 1000;
    // Carriers within this far of the channel's centre pass unchanged.
    static constexpr double kPassHz = 60;

    ChannelIsolator(double inputRate, double centreHz);
    ~ChannelIsolator();
    ChannelIsolator(const ChannelIsolator&) = delete;
    ChannelIsolator& operator=(const ChannelIsolator&) = delete;

    double centreHz() const { return m_centreHz; }
    // Replaces `out` with the channel for `n` more input samples, at
    // kOutputRate with the centre at kIfHz.
    void process(const float* in, size_t n, std::vector<float>& out);
    void reset();

private:
    struct Liquid;

    double m_inputRate;
    double m_centreHz;
    std::unique_ptr<Liquid> m_liquid;
    std::vector<std::complex<float>> m_mixed;
    std::vector<std::complex<float>> m_narrow;
    std::vector<std::complex<float>> m_wide;
};

} // namespace psk31
