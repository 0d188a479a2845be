// The multi-channel receiver's goals, measured: every station of a crowded
// band copied as well as alone, S/N, IMD and frequency against what was sent,
// and the cost of the whole passband. Run with a part's name to run only that.

#include "link.h"
#include "qsotext.h"

#include "psk31/demodulator.h"
#include "psk31/modulator.h"
#include "psk31/multireceiver.h"
#include "psk31/textmatch.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <malloc.h>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kRate = 8000;

struct Station {
    double hz;
    double snrDb;
    std::string text;
};

// The stations' transmissions scaled to their SNR over one noise, summed.
SummedBand MakeBand(const std::vector<Station>& stations, double rate, uint32_t seed,
              bool keepAlone = true)
{
    std::vector<BandSignal> signals;
    for (size_t i = 0; i < stations.size(); ++i) {
        const Station& s = stations[i];
        Transmission t = transmit(s.text, rate, s.hz, 0.9 * double(i), 0.5 + 0.37 * double(i % 5),
                                  1.0);
        signals.push_back({std::move(t.samples), s.snrDb});
    }
    return sumBand(std::move(signals), rate, 0.01, 2, seed, keepAlone);
}

struct Heard {
    double hz;
    std::optional<double> snrDb;
    std::optional<double> imdDb;
    std::string text;
};

std::vector<Heard> ReceiveAll(const std::vector<float>& samples, double rate)
{
    psk31::MultiReceiver receiver({rate});
    std::vector<Heard> heard;
    auto keep = [&heard](const psk31::BandChannel& c) {
        heard.push_back({c.frequency(), c.snrDb(), c.imdDb(), c.text()});
    };
    const size_t block = size_t(rate / 10);
    for (size_t i = 0; i < samples.size(); i += block) {
        receiver.process(samples.data() + i, std::min(block, samples.size() - i));
        for (const auto& c : receiver.takeEnded())
            keep(*c);
    }
    receiver.flush();
    for (const auto& c : receiver.channels())
        keep(*c);
    return heard;
}

// The channels near a station, their texts joined.
const Heard* Nearest(const std::vector<Heard>& heard, double hz)
{
    const Heard* best = nullptr;
    for (const Heard& h : heard) {
        if (std::abs(h.hz - hz) < 15 && (!best || h.text.size() > best->text.size()))
            best = &h;
    }
    return best;
}

void Crowd(const char* title, const std::vector<Station>& stations, uint32_t seed)
{
    std::printf("\n%s\n", title);
    std::printf("   goal: every station copied no worse than alone; <= 1%% CER at -8 dB; S/N +-1.5 "
                "dB; frequency +-0.5 Hz\n");
    std::printf("   station Hz  SNR dB | found Hz  error | S/N dB  error | CER all   CER alone\n");
    const SummedBand band = MakeBand(stations, kRate, seed);
    const std::vector<Heard> heard = ReceiveAll(band.mix, kRate);
    if (std::getenv("BENCH_VERBOSE")) {
        for (const Heard& h : heard)
            std::printf("   heard %.1f Hz, %zu characters: %.40s\n", h.hz, h.text.size(),
                        h.text.c_str());
    }
    size_t chars = 0, errorsAll = 0, errorsAlone = 0, worse = 0;
    double worstSnr = 0, worstHz = 0;
    for (size_t i = 0; i < stations.size(); ++i) {
        const Station& s = stations[i];
        const std::string alone = receive(band.alone[i], {kRate, s.hz, 100});
        const Heard* h = Nearest(heard, s.hz);
        const size_t eAll = psk31::characterErrors(s.text, h ? h->text : std::string());
        const size_t eAlone = psk31::characterErrors(s.text, alone);
        chars += s.text.size();
        errorsAll += eAll;
        errorsAlone += eAlone;
        worse += eAll > eAlone;
        if (std::getenv("BENCH_VERBOSE")) {
            // The same station alone through the multi-channel receiver: what
            // the crowd costs, apart from the channel's own receiver.
            const std::vector<Heard> one = ReceiveAll(band.alone[i], kRate);
            const Heard* o = Nearest(one, s.hz);
            std::printf("   %9.1f alone through its channel: %zu errors (crowd %zu, single "
                        "receiver %zu)\n",
                        s.hz, psk31::characterErrors(s.text, o ? o->text : std::string()), eAll,
                        eAlone);
        }
        if (h) {
            worstHz = std::max(worstHz, std::abs(h->hz - s.hz));
            if (h->snrDb)
                worstSnr = std::max(worstSnr, std::abs(*h->snrDb - s.snrDb));
            std::printf("   %9.1f  %+5.1f  | %8.1f %+6.2f | %+6.1f %+6.2f | %6.2f%%  %6.2f%%\n",
                        s.hz, s.snrDb, h->hz, h->hz - s.hz, h->snrDb.value_or(NAN),
                        h->snrDb.value_or(NAN) - s.snrDb,
                        100 * double(eAll) / double(s.text.size()),
                        100 * double(eAlone) / double(s.text.size()));
        } else {
            std::printf("   %9.1f  %+5.1f  | NOT FOUND\n", s.hz, s.snrDb);
        }
    }
    std::printf("   channels opened %zu for %zu stations; CER all %.2f%%, alone %.2f%%; stations "
                "worse than alone: %zu;\n"
                "   worst S/N error %.2f dB, worst frequency error %.2f Hz\n",
                heard.size(), stations.size(), 100 * double(errorsAll) / double(chars),
                100 * double(errorsAlone) / double(chars), worse, worstSnr, worstHz);
}

void Crowds(size_t characters)
{
    std::vector<Station> twelve;
    double hz = 430;
    std::mt19937 random(5);
    for (int i = 0; i < 12; ++i) {
        twelve.push_back(
            {hz + 0.1 * (i % 7), -6 + 16.0 * ((i * 7) % 12) / 11, qsoText(characters, 30 + i)});
        hz += std::uniform_real_distribution<double>(150, 250)(random);
    }
    Crowd("1. Twelve stations 150-250 Hz apart, -6 to +10 dB", twelve, 71);
    std::vector<Station> six;
    for (int i = 0; i < 6; ++i)
        six.push_back({600 + 370.0 * i + 3.3 * i, -8, qsoText(characters, 50 + i)});
    Crowd("2. Six stations at -8 dB", six, 72);
    // Where the receiver makes errors, the crowd must cost none.
    for (Station& s : six)
        s.snrDb = -11;
    Crowd("2b. The same six stations at -11 dB", six, 73);
}

void Snr()
{
    std::printf("\n3. S/N and frequency of one station (idle and text), -12 to +20 dB\n");
    std::printf(
        "   goal: S/N +-1.5 dB, frequency +-0.5 Hz\n   SNR dB | measured  error | Hz error\n");
    for (double snr = -12; snr <= 20; snr += 2) {
        const std::vector<Station> one{{1234.5, snr, qsoText(250, 60 + uint32_t(snr + 20))}};
        const SummedBand band = MakeBand(one, kRate, uint32_t(80 + snr + 20), false);
        const std::vector<Heard> heard = ReceiveAll(band.mix, kRate);
        const Heard* h = Nearest(heard, 1234.5);
        if (!h || !h->snrDb) {
            std::printf("   %+5.0f  | not measured\n", snr);
            continue;
        }
        std::printf("   %+5.0f  | %+7.2f  %+6.2f | %+6.2f\n", snr, *h->snrDb, *h->snrDb - snr,
                    h->hz - 1234.5);
    }
}

// A drifting station: its frequency when it was last heard (its channel holds
// it into the carrier after the text, a few tenths of a hertz further on).
void Drift()
{
    std::printf("\n3b. A station drifting 20 Hz/min\n   goal: one channel, copied, frequency +-0.5 Hz\n");
    for (double snr : {-12.0, -6.0, 0.0, 10.0, 20.0}) {
        const std::string text = qsoText(250, 61);
        const Transmission t = transmit(text, kRate, 1234.5, 0.2, 0.5, 0.0);
        psk31::Channel::Config drift;
        drift.sampleRate = kRate;
        drift.noise = true;
        drift.snrDb = snr;
        drift.driftHzPerMinute = 20;
        drift.seed = 85;
        std::vector<float> samples = throughChannel(t.samples, drift);
        samples.resize(samples.size() + size_t(2 * kRate), 0.0f);
        const double endHz = 1234.5 + 20 * t.doneAt.back() / 60;
        const std::vector<Heard> heard = ReceiveAll(samples, kRate);
        if (std::getenv("BENCH_VERBOSE")) {
            for (const Heard& c : heard)
                std::printf("   heard %.1f Hz, %zu characters: %.40s\n", c.hz, c.text.size(),
                            c.text.c_str());
        }
        const Heard* h = Nearest(heard, endHz);
        std::printf("   at %+.0f dB: %zu channels, frequency error at the end %+.2f Hz, CER %.2f%%\n",
                    snr, heard.size(), h ? h->hz - endHz : NAN,
                    100 * double(psk31::characterErrors(text, h ? h->text : std::string()))
                        / double(text.size()));
    }
}

// Idle reversals through y = x + a x^3: the products at +-46.875 Hz stand
// 3/4 a B^2 / (1 + 9/4 a B^2) below the tones of amplitude B.
void Imd()
{
    std::printf("\n4. IMD of idle reversals with a third-order distortion, -35 to -15 dB\n");
    std::printf(
        "   goal: +-2 dB when S/N allows\n   IMD dB | S/N dB | measured  error | channels\n");
    for (double snr : {10.0, 20.0}) {
        for (double imd = -35; imd <= -10; imd += 5) {
            const double peak = 0.5, tone = peak / 2;
            // Solve r = 3/4 a B^2 / (1 + 9/4 a B^2) for a.
            const double r = std::pow(10.0, imd / 20);
            const double a = r / (tone * tone * (0.75 - 2.25 * r));
            // At 1300 Hz the cubic term's third harmonic (3900 Hz) lies above the passband.
            psk31::Modulator modulator({kRate, 1300, peak, 0.3});
            modulator.start();
            std::vector<float> idle(size_t(12 * kRate));
            modulator.render(idle.data(), idle.size());
            for (float& x : idle)
                x = float(x + a * x * x * x);
            const double power = psk31::Channel::keyedPower(idle);
            const double noiseIn2500 = power / std::pow(10.0, snr / 10);
            std::mt19937 random(uint32_t(imd * 10 + snr));
            std::normal_distribution<float> gauss(
                0.0f, float(std::sqrt(noiseIn2500 * (kRate / 2) / 2500)));
            idle.resize(idle.size() + size_t(kRate), 0.0f);
            for (float& x : idle)
                x += gauss(random);
            const std::vector<Heard> heard = ReceiveAll(idle, kRate);
            const Heard* h = Nearest(heard, 1300);
            if (std::getenv("BENCH_VERBOSE")) {
                for (const Heard& c : heard)
                    std::printf("   heard %.1f Hz, %zu characters, IMD %.1f\n", c.hz,
                                c.text.size(), c.imdDb.value_or(NAN));
            }
            if (h && h->imdDb)
                std::printf("   %+5.0f  | %+5.0f  | %+7.2f  %+6.2f | %zu\n", imd, snr, *h->imdDb,
                            *h->imdDb - imd, heard.size());
            else
                std::printf("   %+5.0f  | %+5.0f  | not measured    | %zu\n", imd, snr,
                            heard.size());
        }
    }
}

// Heap in use, bytes.
size_t Heap()
{
    return mallinfo2().uordblks;
}

void Speed()
{
    std::printf("\n5. Cost of the whole passband with twelve stations\n");
    std::printf("   goal: >= 20x real time on one core (under 5%% of a core live)\n");
    for (double rate : {8000.0, 44100.0, 48000.0}) {
        std::vector<Station> twelve;
        for (int i = 0; i < 12; ++i)
            twelve.push_back({450 + 200.0 * i, 0, qsoText(300, 90 + i)});
        const SummedBand band = MakeBand(twelve, rate, 91, false);
        const size_t heapBefore = Heap();
        const auto started = std::chrono::steady_clock::now();
        const std::clock_t cpu = std::clock();
        psk31::MultiReceiver receiver({rate});
        const size_t block = size_t(rate / 50); // 20 ms, as a sound card delivers
        size_t most = 0, heap = 0;
        for (size_t i = 0; i < band.mix.size(); i += block) {
            receiver.process(band.mix.data() + i, std::min(block, band.mix.size() - i));
            if (receiver.channels().size() >= most) {
                most = receiver.channels().size();
                heap = std::max(heap, Heap() - heapBefore);
            }
        }
        receiver.flush();
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const double cpuSeconds = double(std::clock() - cpu) / CLOCKS_PER_SEC;
        const double audio = double(band.mix.size()) / rate;
        std::printf("   %5.0f Hz: %.0f s of sound in %.2f s CPU (%.2f s wall): %.0fx real time, "
                    "%.1f%% of a core live;\n"
                    "             %zu channels at most, heap held %.0f kB (texts included)\n",
                    rate, audio, cpuSeconds, wall, audio / cpuSeconds, 100 * cpuSeconds / audio,
                    most, double(heap) / 1024);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const char* only = argc > 1 ? argv[1] : "";
    auto wanted = [only](const char* name) { return !*only || !std::strcmp(only, name); };
    const size_t characters = argc > 2 ? size_t(std::atoi(argv[2])) : 2000;
    if (wanted("crowds"))
        Crowds(characters);
    if (wanted("snr"))
        Snr();
    if (wanted("drift"))
        Drift();
    if (wanted("imd"))
        Imd();
    if (wanted("speed"))
        Speed();
    return 0;
}
