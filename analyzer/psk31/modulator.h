// One BPSK31 transmission, rendered on demand by whoever plays it: a preamble
// of reversals, the queued bytes as varicode, idle reversals while the queue is
// empty, a carrier postamble after stop(). The envelope follows a cosine
// through zero at each reversal and never jumps, so there is no click at the
// start, at the end or on abort.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace psk31 {

class Modulator {
public:
    struct Config {
        double sampleRate = 48000;
        double carrierHz = 1000;
        double peak = 0.5;
        double startPhase = 0; // carrier phase at the start, radians
    };

    static constexpr double kBaud = 31.25;
    static constexpr int kPreambleBits = 32;
    static constexpr int kPostambleBits = 32; // about one second of carrier
    static constexpr double kAbortFadeSeconds = 0.016;

    explicit Modulator(const Config& config);

    void start();
    void send(uint8_t byte);
    size_t queued() const;
    void stop();
    void abort();
    bool finished() const;
    void render(float* out, size_t n, std::string* completed = nullptr);

private:
    enum class Phase { Idle, Keyed, Postamble, RampDown };

    // The next bit to send, or -1 when the envelope is to fall to zero.
    int NextBit();
    void StartInterval();

    Config m_config;
    Phase m_phase = Phase::Idle;
    bool m_stopping = false;
    std::deque<uint8_t> m_queue;
    std::string m_bits;          // bits of the byte being sent, next first
    int m_byte = -1;             // that byte, reported when its bits are out
    int m_preambleLeft = 0;
    int m_postambleLeft = 0;
    int m_completing = -1;       // byte whose last bit the current interval carries
    // The current symbol interval runs from amplitude m_from to m_to.
    double m_from = 0;
    double m_to = 0;
    double m_clock = 0;          // position inside the interval, 0..1
    double m_carrierPhase = 0;
    long m_fadeLeft = -1;        // samples of abort fade left, -1 when not fading
    long m_fadeLength = 1;
};

} // namespace psk31
