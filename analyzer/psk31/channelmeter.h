// Measurements of one BPSK31 station from the spectrum rows while its
// receiver holds it: carrier frequency, S/N and IMD.
//
// The frequency is the receiver's carrier averaged over a second of rows that
// show the station, moved on by the drift the averages show, so a drifting
// station reads where it is now.
//
// S/N is the station's power over the noise power in 2500 Hz, as the channel
// simulator defines SNR; the S/N in 31.25 Hz that operators quote is 19.0 dB
// more. The power is twice the quieter half of the +-30 Hz around the carrier
// (the spectrum is symmetric), so a neighbour on one side does not count.
//
// IMD is measured as the field measures it, on idle reversals: the power of
// the third-order products at +-46.875 Hz over that of the two tones at
// +-15.625 Hz, over rows whose power lies in the two tones and stands well
// above the noise. It is given only when the products stand out of the noise.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace psk31 {

class ChannelMeter {
public:
    ChannelMeter(double binHz, double rowsPerSecond);

    // One spectrum row; `noisePerBin` the noise power in one bin near the
    // carrier; `carrierHz` the receiver's carrier; `held` whether the receiver
    // holds the signal (only then does the row count).
    void addRow(const std::vector<float>& row, double noisePerBin, double carrierHz, bool held);

    std::optional<double> frequency() const;
    std::optional<double> snrDb() const;
    std::optional<double> imdDb() const;
    void reset();

private:
    double Lines(const std::vector<float>& row, double hz) const;

    double m_binHz;
    double m_rowsPerSecond;
    size_t m_heldRows = 0;
    size_t m_hzRows = 0; // rows that showed the station
    double m_hz = 0; // the carrier averaged over a second
    double m_hzAge = 0; // the mean age of what m_hz holds, in rows
    double m_slowHz = 0; // ... and over kDriftSeconds
    double m_slowHzAge = 0;
    double m_lower = 0; // power in the halves below and above the carrier
    double m_upper = 0;
    double m_noise = 0; // noise power in one bin
    size_t m_idleRows = 0;
    double m_tones = 0;
    double m_products = 0;
    double m_idleNoise = 0;
};

} // namespace psk31
