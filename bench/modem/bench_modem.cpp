// The modem's goals, measured: sensitivity against theory and a widely used
// peer, acquisition, tracking, squelch, speed and the transmitter's spectrum.
// Prints one table per goal; run with a goal's name to run only that one.

#include "link.h"
#include "qsotext.h"

#include "psk31/modulator.h"
#include "psk31/textmatch.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr double kRate = 8000;
constexpr double kIf = 1000;
constexpr double kEbN0OverSnr = 19.0; // dB: 10 log10(2500 / 31.25)

double Q(double x)
{
    return 0.5 * std::erfc(x / std::sqrt(2.0));
}

double CharacterErrorRate(const std::string& sent, const std::string& decoded)
{
    return double(psk31::characterErrors(sent, decoded)) / double(sent.size());
}

// One stretch of QSO text sent through a channel and decoded.
double Copy(const std::string& text, psk31::Channel::Config channel, double rate = kRate)
{
    const Transmission t = transmit(text, rate, kIf, 0.7 * channel.seed, 1.0, 2.0);
    channel.sampleRate = rate;
    psk31::Demodulator::Config config{rate, kIf, 100};
    if (const char* delay = std::getenv("BENCH_DELAY"))
        config.decisionDelay = std::atoi(delay);
    return CharacterErrorRate(text, receive(throughChannel(t.samples, channel), config));
}

void Sensitivity(size_t characters)
{
    std::printf("\n1. Sensitivity: character error rate (%zu characters of QSO text per point, AFC on)\n",
                characters);
    std::printf("   goal: <= 1%% at -11 dB, <= 3%% at -12 dB, <= 8%% at -13 dB\n");
    std::printf("   SNR   Eb/N0 | BER DBPSK  BER coherent | peer CER | our CER\n");
    const double peer[] = {0.6, 1.6, 7.2, 16, 34};
    int i = 0;
    for (double snr = -10; snr >= -14; snr -= 1, ++i) {
        const double ebn0 = std::pow(10.0, (snr + kEbN0OverSnr) / 10);
        psk31::Channel::Config channel;
        channel.noise = true;
        channel.snrDb = snr;
        channel.seed = uint32_t(100 + i);
        const double cer = Copy(qsoText(characters, 7), channel);
        std::printf("   %3.0f dB %4.1f dB | %8.4f%%  %8.4f%%   | %6.1f%%  | %6.2f%%\n", snr, snr + kEbN0OverSnr,
                    100 * 0.5 * std::exp(-ebn0), 100 * 2 * Q(std::sqrt(2 * ebn0)), peer[i], 100 * cer);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const char* only = argc > 1 ? argv[1] : "";
    auto wanted = [only](const char* name) { return !*only || !std::strcmp(only, name); };
    const size_t characters = argc > 2 ? size_t(std::atoi(argv[2])) : 2000;
    if (wanted("sensitivity"))
        Sensitivity(characters);
    return 0;
}
