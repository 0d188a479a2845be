// The passband brought to complex baseband once for every channel: the real
// sound halved in rate while the passband allows (that real signal also feeds
// the spectrum), then mixed so that the passband's centre lies at 0 Hz and
// decimated to a whole multiple of the receivers' baseband rate, so that a
// channel needs only a mixer and a decimator of its own.
#pragma once

#include "psk31/passbanddecimator.h"

#include <complex>
#include <cstddef>
#include <memory>
#include <vector>

namespace psk31 {

class BasebandFrontEnd {
public:
    // Passes lowHz to highHz; the output rate is a whole multiple of `baseRate`.
    BasebandFrontEnd(double sampleRate, double lowHz, double highHz, double baseRate);
    ~BasebandFrontEnd();
    BasebandFrontEnd(const BasebandFrontEnd&) = delete;
    BasebandFrontEnd& operator=(const BasebandFrontEnd&) = delete;

    double realRate() const { return m_decimator.outputRate(); }
    double rate() const { return m_rate; }
    // The passband frequency at the output's 0 Hz.
    double centreHz() const { return m_centreHz; }
    // For `n` more input samples, replaces `real` with the halved real signal
    // and `out` with the complex baseband.
    void process(const float* in, size_t n, std::vector<float>& real,
                 std::vector<std::complex<float>>& out);

private:
    struct Liquid;

    PassbandDecimator m_decimator;
    double m_rate;
    double m_centreHz;
    std::unique_ptr<Liquid> m_liquid;
    std::vector<std::complex<float>> m_mixed;
};

} // namespace psk31
