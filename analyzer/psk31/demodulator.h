// A streaming BPSK31 receiver: finds the strongest signal within the AFC range
// of the given carrier, follows its frequency, symbol timing and carrier phase,
// decides text with a sequence decoder, and keeps quiet while no signal is
// there (squelch).
#pragma once

#include <complex>
#include <cstddef>
#include <memory>
#include <string>

namespace psk31 {

class Demodulator {
public:
    struct Config {
        double sampleRate = 48000;
        double carrierHz = 1000;
        double afcRangeHz = 100;
        // Symbols seen past a character's end before it is decided: more
        // copies a little better, each costs a symbol of delay (32 ms).
        int decisionDelay = 1;
        // Symbols a second. Only 31.25 (BPSK31) is supported so far.
        double baud = 31.25;
        // The input is complex baseband at kBasebandInputRate, with the
        // passband's `carrierHz` at 0 Hz, fed through processBaseband(): a
        // receiver behind a shared front end that has mixed and filtered
        // its channel already. `sampleRate` is then not used.
        bool basebandInput = false;
    };

    static constexpr double kMaxAfcRangeHz = 150;
    // 16 samples per symbol at 31.25 baud.
    static constexpr double kBasebandInputRate = 500;

    // Throws std::invalid_argument when the configuration cannot work or
    // asks for a baud rate not supported.
    explicit Demodulator(const Config& config);
    ~Demodulator();
    Demodulator(const Demodulator&) = delete;
    Demodulator& operator=(const Demodulator&) = delete;

    // Without basebandInput (throws std::logic_error otherwise).
    void process(const float* in, size_t n, std::string& out);
    // With basebandInput (throws std::logic_error otherwise).
    void processBaseband(const std::complex<float>* in, size_t n, std::string& out);
    // With basebandInput: from the next sample on, the input's 0 Hz lies at
    // `carrierHz` in the passband (the channel moved its mixer after a
    // drifting station). The receiver keeps its hold and its frequency.
    void moveCarrier(double carrierHz);
    void flush(std::string& out);
    double frequency() const;
    bool locked() const;
    // The sound card's clock error as the symbol timing sees it, in parts
    // per million (> 0: its clock runs fast); 0 until a signal is held.
    double clockErrorPpm() const;
    // Whether the symbol timing has followed a signal long enough for
    // clockErrorPpm() to mean something.
    bool clockErrorKnown() const;
    // Input samples that were not numbers or far beyond any sound card's
    // full scale; each is taken as silence (a short dropout).
    size_t badSamples() const;

    // Lowest and highest carrier a configuration can receive at `sampleRate`.
    static double lowestCarrier(double afcRangeHz);
    static double highestCarrier(double sampleRate, double afcRangeHz);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace psk31
