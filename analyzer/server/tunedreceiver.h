#pragma once
// The receiver the operator tunes, whose text goes to the terminal. With a
// wide AFC range it looks for the strongest signal near the tuning, as the
// IF from Pelorin asks; with a narrow one (a station picked on the console)
// the station is first cut out of the passband, so that a stronger neighbour
// 50 Hz away does not capture it.

#include "psk31/basebandfrontend.h"
#include "psk31/channelisolator.h"
#include "psk31/demodulator.h"

#include <complex>
#include <memory>
#include <string>
#include <vector>

namespace sondrel {

class TunedReceiver {
public:
    // The widest AFC range that still fits the isolated channel.
    static constexpr double kIsolatedAfcHz = 30;

    // Throws std::invalid_argument when the receiver cannot work there.
    TunedReceiver(double sampleRate, double hz, double afcRangeHz);

    void process(const float* in, std::size_t n, std::string& out);
    double tunedHz() const { return m_hz; }
    // Where the receiver has the carrier, in the passband.
    double frequency() const;
    bool locked() const { return m_demodulator->locked(); }

private:
    double m_hz;
    std::unique_ptr<psk31::BasebandFrontEnd> m_frontEnd;
    std::unique_ptr<psk31::ChannelIsolator> m_isolator;
    std::unique_ptr<psk31::Demodulator> m_demodulator;
    std::vector<float> m_real;
    std::vector<std::complex<float>> m_baseband;
    std::vector<std::complex<float>> m_isolated;
};

} // namespace sondrel
