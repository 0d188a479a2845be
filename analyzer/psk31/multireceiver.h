// Every BPSK31 station in the passband at once. A shared front end brings the
// sound to the lowest rate that holds the passband, whose spectrum feeds a
// waterfall and the channel finder, and from there to complex baseband; each
// station found gets a channel of its own: a mixer and decimator that cut it
// out of the shared baseband and follow it as it drifts, a receiver with a
// narrow AFC range that holds it, and a meter for its frequency, S/N and IMD. A new channel starts on the last few seconds of
// sound, so it copies the station from its first character; it ends after
// some seconds without a signal.
//
// Use: process() the sound as it comes; channels() are the open ones;
// takeEnded() hands over those that ended (they are kept until taken);
// spectrum().row() is the latest spectrum row and spectrum().rows() counts
// them: a row comes every 62.5 ms, so blocks of that or less show every row.
#pragma once

#include "psk31/channelisolator.h"
#include "psk31/channelmeter.h"

#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace psk31 {

class Demodulator;
class PowerRows;

// One station's channel.
class BandChannel {
public:
    // `inputRate` and `inputCentreHz`: the shared baseband's rate and the
    // passband frequency at its 0 Hz; the channel's centre stays within
    // lowestHz to highestHz.
    BandChannel(int id, double carrierHz, double afcRangeHz, double inputRate,
                double inputCentreHz, double lowestHz, double highestHz, double binHz,
                double rowsPerSecond, double startSeconds);
    ~BandChannel();
    BandChannel(const BandChannel&) = delete;
    BandChannel& operator=(const BandChannel&) = delete;

    int id() const { return m_id; }
    // Measured carrier; before the receiver has held the signal, where it looks.
    double frequency() const;
    std::optional<double> snrDb() const { return m_meter.snrDb(); }
    std::optional<double> imdDb() const { return m_meter.imdDb(); }
    // The sound card's clock error in ppm (> 0: it runs fast) as the
    // receiver's symbol timing sees it, once it has followed the station
    // long enough.
    std::optional<double> clockPpm() const;
    // Every byte copied so far.
    const std::string& text() const { return m_text; }
    bool locked() const;
    // Seconds into the sound: when the channel started, when it last heard a signal.
    double startSeconds() const { return m_startSeconds; }
    double heardSeconds() const { return m_heardSeconds; }

private:
    friend class MultiReceiver;

    // Where the receiver has the carrier, in the passband.
    double Carrier() const;
    void Process(const std::complex<float>* in, size_t n);
    void Flush();
    // Moves the mixer onto the station when the receiver holds it off centre.
    void Follow();

    int m_id;
    ChannelIsolator m_isolator;
    std::vector<std::complex<float>> m_isolated;
    double m_lowestHz;
    double m_highestHz;
    uint64_t m_outputs = 0; // baseband samples handed to the receiver
    uint64_t m_movedAt = 0;
    // A move of the mixer that the receiver has yet to be told of: the
    // baseband sample from which it shows, and where the centre went.
    std::optional<std::pair<uint64_t, double>> m_move;
    std::unique_ptr<Demodulator> m_demodulator;
    ChannelMeter m_meter;
    std::string m_text;
    double m_startSeconds;
    double m_heardSeconds;
};

class MultiReceiver {
public:
    struct Config {
        double sampleRate = 48000;
        double lowHz = 150; // the carriers looked for
        double highHz = 3500;
        size_t maxChannels = 32;
        double silenceSeconds = 10; // a channel ends after this long without a signal
        double channelAfcHz = 15;
    };

    // Throws std::invalid_argument when the configuration cannot work.
    explicit MultiReceiver(const Config& config);
    ~MultiReceiver();
    MultiReceiver(const MultiReceiver&) = delete;
    MultiReceiver& operator=(const MultiReceiver&) = delete;

    void process(const float* in, size_t n);
    // At the end of the sound: the open channels copy what they still hold.
    void flush();

    const std::vector<std::unique_ptr<BandChannel>>& channels() const { return m_channels; }
    std::vector<std::unique_ptr<BandChannel>> takeEnded();
    const PowerRows& spectrum() const;
    // Seconds of sound processed.
    double seconds() const;
    // Samples that were not finite numbers or absurdly large, taken as silence.
    uint64_t badSamples() const;
    void reset();

private:
    struct Private;

    void Row();
    void Start(double hz);

    std::unique_ptr<Private> d;
    std::vector<std::unique_ptr<BandChannel>> m_channels;
    std::vector<std::unique_ptr<BandChannel>> m_ended;
};

} // namespace psk31
