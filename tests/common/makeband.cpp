// make-band-recording: a recording of two BPSK31 stations 50 Hz apart for the
// console's tests, screenshot and benchmark. The stronger one (DL2ABC) calls
// CQ at 1000 Hz, 10 dB above the weaker (W1AW) at 1050 Hz, in white noise.
//
// usage: make-band-recording OUT.wav [SECONDS] [RATE]

#include "psk31/modulator.h"

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kNoiseIn2500 = 0.0005;

struct Station {
    double hz;
    double snrDb; // in 2500 Hz
    std::string line;
};

std::vector<float> transmit(const Station& station, double rate, double seconds)
{
    const size_t lead = size_t(0.3 * rate);
    const size_t total = size_t(seconds * rate);
    std::vector<float> x(lead, 0.0f);
    psk31::Modulator modulator({rate, station.hz, 0.5, station.hz / 100});
    modulator.start();
    std::vector<float> block(512);
    size_t next = 0;
    while (x.size() < total) {
        while (modulator.queued() < 4) {
            modulator.send(uint8_t(station.line[next]));
            next = (next + 1) % station.line.size();
        }
        modulator.render(block.data(), block.size());
        x.insert(x.end(), block.begin(), block.end());
    }
    x.resize(total);
    double power = 0;
    for (size_t i = lead; i < x.size(); ++i)
        power += double(x[i]) * x[i];
    power /= double(x.size() - lead);
    const float gain = float(std::sqrt(kNoiseIn2500 * std::pow(10.0, station.snrDb / 10) / power));
    for (float& v : x)
        v *= gain;
    return x;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: make-band-recording OUT.wav [SECONDS] [RATE]\n");
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 60;
    const double rate = argc > 3 ? std::atof(argv[3]) : 8000;
    if (!(seconds >= 1 && seconds <= 3600) || !(rate >= 8000 && rate <= 96000)) {
        std::fprintf(stderr, "make-band-recording: 1 to 3600 seconds at 8000 to 96000 Hz\n");
        return 2;
    }
    const Station stations[] = {
        {1000, 12, "CQ CQ CQ de DL2ABC DL2ABC DL2ABC pse k\n"},
        {1050, 2, "QRZ? de W1AW W1AW W1AW the weak one k\n"},
    };
    std::vector<float> band(size_t(seconds * rate), 0.0f);
    for (const Station& station : stations) {
        const std::vector<float> x = transmit(station, rate, seconds);
        for (size_t i = 0; i < band.size(); ++i)
            band[i] += x[i];
    }
    std::mt19937 random(20);
    std::normal_distribution<float> gauss(0.0f, float(std::sqrt(kNoiseIn2500 * rate / 2 / 2500)));
    for (float& v : band)
        v += gauss(random);

    SF_INFO info{};
    info.samplerate = int(rate);
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(argv[1], SFM_WRITE, &info);
    if (!file) {
        std::fprintf(stderr, "make-band-recording: %s\n", sf_strerror(nullptr));
        return 1;
    }
    const bool written = sf_write_float(file, band.data(), sf_count_t(band.size()))
        == sf_count_t(band.size());
    sf_close(file);
    return written ? 0 : 1;
}
