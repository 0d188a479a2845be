// One station cut out of the shared complex baseband for its own receiver:
// mixed to the channel's centre, decimated to the receiver's baseband rate and
// filtered to the channel (a station 150 Hz away is stopped). The receiver
// then neither sees its neighbours nor spends time on the whole passband.
// The mixer can move after a drifting station; what it hands out shows the
// move only after the filters' delay.
#pragma once

#include <complex>
#include <cstddef>
#include <memory>
#include <vector>

namespace psk31 {

class ChannelIsolator {
public:
    // Carriers within this far of the channel's centre pass unchanged.
    static constexpr double kPassHz = 60;
    // What lies further than this from the centre is stopped.
    static constexpr double kReachHz = 130;

    // `inputRate`: the shared baseband's rate, a whole multiple of
    // `outputRate`; `inputCentreHz`: the passband frequency at its 0 Hz.
    ChannelIsolator(double inputRate, double inputCentreHz, double outputRate, double centreHz);
    ~ChannelIsolator();
    ChannelIsolator(const ChannelIsolator&) = delete;
    ChannelIsolator& operator=(const ChannelIsolator&) = delete;

    double centreHz() const { return m_centreHz; }
    // Replaces `out` with the channel for `n` more input samples, at the
    // output rate with the centre at 0 Hz.
    void process(const std::complex<float>* in, size_t n, std::vector<std::complex<float>>& out);
    // Mixes the input samples from now on to `centreHz`.
    void moveTo(double centreHz);
    // Output samples from an input sample to the output sample centred on it.
    static constexpr size_t kDelay = 4 + 20;
    // Input samples to one output sample.
    size_t factor() const;

private:
    struct Liquid;

    double m_inputRate;
    double m_inputCentreHz;
    double m_centreHz;
    std::unique_ptr<Liquid> m_liquid;
    std::vector<std::complex<float>> m_mixed;
};

} // namespace psk31
