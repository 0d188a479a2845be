// The modem in-process: round trips through the channel simulator at the
// common sound-card rates, every byte, noise alone, the end of a signal, the
// transmitter's envelope, configuration errors, the simulator itself, the
// symbol timing and the carrier canceller alone, the error count the
// benchmarks use, and a recording of another program.

#include "psk31/carriercanceller.h"
#include "psk31/carrierloop.h"
#include "psk31/channel.h"
#include "psk31/demodulator.h"
#include "psk31/modulator.h"
#include "psk31/sequencedecoder.h"
#include "psk31/squelch.h"
#include "psk31/symboltiming.h"
#include "psk31/textmatch.h"
#include "psk31/varicode.h"

#include <QFile>
#include <QtEndian>
#include <QtTest>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const std::string kText = "CQ CQ de G4XYZ: rig 5W, ant dipole. Hw? 73!\n";

struct Sent {
    std::vector<float> samples;
    std::string completed;
};

Sent Send(const std::string& text, psk31::Modulator::Config config, double leadSeconds = 0.5,
          double tailSeconds = 1.5)
{
    Sent sent;
    sent.samples.assign(size_t(leadSeconds * config.sampleRate), 0.0f);
    psk31::Modulator modulator(config);
    modulator.start();
    for (char c : text)
        modulator.send(uint8_t(c));
    modulator.stop();
    std::vector<float> block(333);
    while (!modulator.finished()) {
        modulator.render(block.data(), block.size(), &sent.completed);
        sent.samples.insert(sent.samples.end(), block.begin(), block.end());
    }
    sent.samples.resize(sent.samples.size() + size_t(tailSeconds * config.sampleRate), 0.0f);
    return sent;
}

std::string Receive(const std::vector<float>& samples, double rate, size_t block = 4096,
                    double carrier = 1000)
{
    psk31::Demodulator demodulator({rate, carrier, 100});
    std::string text;
    for (size_t i = 0; i < samples.size(); i += block)
        demodulator.process(samples.data() + i, std::min(block, samples.size() - i), text);
    demodulator.flush(text);
    return text;
}

// The samples of a 16-bit mono WAV file: its chunks walked to "data".
std::vector<float> ReadWav16(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    std::vector<float> samples;
    for (qsizetype at = 12; at + 8 <= bytes.size();) {
        const qsizetype size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        if (bytes.mid(at, 4) == "data") {
            for (qsizetype i = at + 8; i + 1 < at + 8 + size && i + 1 < bytes.size(); i += 2)
                samples.push_back(qFromLittleEndian<qint16>(bytes.constData() + i) / 32768.0f);
            break;
        }
        at += 8 + size + (size & 1);
    }
    return samples;
}

// The largest step between neighbouring samples: a click shows as a step
// far above what the carrier itself makes.
double LargestStep(const std::vector<float>& x, size_t from, size_t to)
{
    double largest = 0;
    for (size_t i = std::max<size_t>(from, 1); i < to && i < x.size(); ++i)
        largest = std::max(largest, double(std::abs(x[i] - x[i - 1])));
    return largest;
}

} // namespace

class TestModem : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<double>("phase");
        QTest::addColumn<double>("offset");
        QTest::addColumn<double>("drift");
        QTest::addColumn<double>("ppm");
        QTest::newRow("8000, on tune") << 8000.0 << 0.3 << 0.0 << 0.0 << 0.0;
        QTest::newRow("8000, -95 Hz, drifting") << 8000.0 << 2.1 << -95.0 << 20.0 << 0.0;
        QTest::newRow("11025, +61 Hz, fast clock") << 11025.0 << 4.0 << 61.0 << 0.0 << 200.0;
        QTest::newRow("44100, -30 Hz, slow clock") << 44100.0 << 5.5 << -30.0 << -20.0 << -200.0;
        QTest::newRow("48000, +99 Hz") << 48000.0 << 1.2 << 99.0 << 0.0 << 0.0;
    }

    void roundTrip()
    {
        QFETCH(double, rate);
        QFETCH(double, phase);
        QFETCH(double, offset);
        QFETCH(double, drift);
        QFETCH(double, ppm);
        const Sent sent = Send(kText, {rate, 1000, 0.5, phase});
        QCOMPARE(sent.completed, kText);
        psk31::Channel::Config channel;
        channel.sampleRate = rate;
        channel.noise = true;
        channel.snrDb = -3;
        channel.signalPower = psk31::Channel::keyedPower(sent.samples);
        channel.offsetHz = offset;
        channel.driftHzPerMinute = drift;
        channel.clockPpm = ppm;
        channel.seed = uint32_t(rate);
        std::vector<float> received;
        psk31::Channel(channel).process(sent.samples.data(), sent.samples.size(), received);
        const std::string got = Receive(received, rate, 441);
        QVERIFY2(got == kText, got.c_str());
    }

    void everyByteComesBack()
    {
        std::string all;
        for (int b = 0; b < 256; ++b)
            all.push_back(char(b));
        const Sent sent = Send(all, {8000, 1000, 0.5, 0.0});
        QCOMPARE(Receive(sent.samples, 8000), all);
    }

    // Noise alone, then a signal that ends: nothing but the text comes out,
    // and the squelch is closed again a second after the end.
    void squelch()
    {
        const double rate = 8000;
        Sent sent = Send(kText, {rate, 1000, 0.5, 0.0}, 60, 0);
        const size_t end = sent.samples.size();
        sent.samples.resize(end + size_t(rate), 0.0f);
        psk31::Channel::Config channel;
        channel.sampleRate = rate;
        channel.noise = true;
        channel.snrDb = -6;
        channel.signalPower = 0.09;
        channel.seed = 7;
        std::vector<float> received;
        psk31::Channel(channel).process(sent.samples.data(), sent.samples.size(), received);
        psk31::Demodulator demodulator({rate, 1000, 100});
        std::string text;
        demodulator.process(received.data(), end, text);
        QVERIFY2(text == kText, text.c_str());
        demodulator.process(received.data() + end, received.size() - end, text);
        QVERIFY2(text == kText, text.c_str());
        QVERIFY(!demodulator.locked());
    }

    void transmitterNeverClicks()
    {
        const double rate = 48000;
        const double peak = 0.5;
        // The carrier alone moves at most this much from one sample to the next.
        const double carrierStep = peak * 2 * std::numbers::pi * 1000 / rate;
        const Sent sent = Send("ab", {rate, 1000, peak, 1.0}, 0.1, 0.1);
        QVERIFY(LargestStep(sent.samples, 0, sent.samples.size()) <= carrierStep * 1.01);
        QCOMPARE(sent.samples[size_t(0.1 * rate)], 0.0f);
        QCOMPARE(sent.samples[sent.samples.size() - 1], 0.0f);

        psk31::Modulator modulator({rate, 1000, peak, 0.0});
        modulator.start();
        modulator.send('x');
        modulator.send('y');
        QCOMPARE(modulator.queued(), size_t(2));
        std::vector<float> x(size_t(1.3 * rate));
        modulator.render(x.data(), x.size());
        QCOMPARE(modulator.queued(), size_t(1));
        modulator.abort();
        QCOMPARE(modulator.queued(), size_t(0));
        std::vector<float> fade(size_t(0.02 * rate));
        modulator.render(fade.data(), fade.size());
        QVERIFY(modulator.finished());
        x.insert(x.end(), fade.begin(), fade.end());
        QVERIFY(LargestStep(x, 0, x.size()) <= carrierStep * 1.01);
        std::vector<float> after(100, 1.0f);
        modulator.render(after.data(), after.size());
        QCOMPARE(std::count(after.begin(), after.end(), 0.0f), 100L);
    }

    void unusableConfigurationsAreRefused()
    {
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, psk31::Demodulator({8000, 3900, 100}));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, psk31::Demodulator({8000, 100, 100}));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, psk31::Demodulator({1000, 300, 10}));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, psk31::Demodulator({48000, 1000, 500}));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, psk31::Demodulator({8000, 1000, 100, 1, 62.5}));
        psk31::Demodulator fine({8000, 1000, 100, 1, 31.25});
        QCOMPARE(fine.frequency(), 1000.0);
        // Each input to the receiver made for it.
        std::string text;
        const std::complex<float> baseband[1] = {};
        QVERIFY_THROWS_EXCEPTION(std::logic_error, fine.processBaseband(baseband, 1, text));
        psk31::Demodulator channel({8000, 1000, 15, 1, 31.25, true});
        const float sound[1] = {};
        QVERIFY_THROWS_EXCEPTION(std::logic_error, channel.process(sound, 1, text));
    }

    // Same seed, same samples; the noise in 2500 Hz is the signal power over the SNR.
    void channelIsRepeatableAndCalibrated()
    {
        psk31::Channel::Config config;
        config.sampleRate = 8000;
        config.noise = true;
        config.snrDb = -10;
        config.signalPower = 0.1;
        config.seed = 3;
        const std::vector<float> silence(80000, 0.0f);
        std::vector<float> a, b;
        psk31::Channel(config).process(silence.data(), silence.size(), a);
        psk31::Channel(config).process(silence.data(), silence.size(), b);
        QCOMPARE(a, b);
        double power = 0;
        for (float v : a)
            power += double(v) * v;
        const double in2500 = power / double(a.size()) * 2500 / 4000;
        QVERIFY(std::abs(in2500 / 1.0 - 1) < 0.03);
    }

    // fldigi 4.1.23 sending BPSK31 at 1500 Hz, recorded at 8000 Hz (data/README).
    void peerRecordingIsCopiedExactly()
    {
        const std::vector<float> samples = ReadWav16(PSK31_DATA_DIR "/peer-fldigi-4.1.23.wav");
        QCOMPARE(samples.size(), size_t(87200));
        QCOMPARE(Receive(samples, 8000, 4096, 1500), std::string("CQ CQ de N0CALL: Peer test, 599 73"));
    }

    // Symbol timing alone: on idle reversals whose centres lie anywhere in
    // a symbol it samples at the centres once pulled in, and stays there.
    void symbolTimingFindsTheCentres()
    {
        for (double offset : {0.0, 3.5, 8.0, 12.25}) {
            psk31::SymbolTiming timing(16);
            float weakest = 1;
            int symbols = 0;
            for (int n = 0; n < 16 * 80; ++n) {
                const float y = float(std::cos(std::numbers::pi * (n - offset) / 16));
                if (timing.push({y, 0.0f}, symbols < 24) && ++symbols > 30)
                    weakest = std::min(weakest, std::abs(timing.symbol()));
            }
            QVERIFY2(weakest > 0.98f, qPrintable(QString("offset %1: %2").arg(offset).arg(weakest)));
            timing.reset();
            QVERIFY(!timing.push({1.0f, 0.0f}, false));
        }
    }

    // The carrier loop alone, with its mixer ahead of it: a carrier 0.15 Hz
    // off (0.03 rad a symbol) and drifting is pulled in and followed, its
    // phase taken out of every symbol, its frequency handed to the mixer.
    void carrierLoopFollowsTheCarrier()
    {
        psk31::CarrierLoop loop;
        double mixer = 0, mixerPhase = 0, worst = 0;
        double carrier = 1.0, frequency = 0.03;
        unsigned state = 7;
        for (int k = 0; k < 600; ++k) {
            state = state * 1103515245u + 12345u;
            const float sign = (state >> 16) & 1 ? 1.0f : -1.0f;
            frequency += 2e-5;
            carrier += frequency;
            mixerPhase += mixer;
            const std::complex<float> u = loop.correct(std::polar(sign, float(carrier - mixerPhase)));
            if (k >= 550)
                worst = std::max(worst, double(std::abs(std::arg(u * sign))));
            mixer += loop.steer(u, k >= 24, 100);
        }
        QVERIFY2(worst < 0.05, qPrintable(QString::number(worst)));
        QVERIFY(std::abs(mixer + loop.step() - frequency) < 0.002);
        QVERIFY(std::abs(loop.step()) < 0.1 * frequency);
        loop.reset();
        QCOMPARE(loop.step(), 0.0);
        QCOMPARE(loop.correct({0.5f, 0.25f}), std::complex<float>(0.5f, 0.25f));
    }

    // The loop's spread tells fading from drift: a carrier drifting fast
    // holds the loop's frequency well away from 0 but steady; a phase that
    // jumps about (a quick fade's nulls) moves it.
    void carrierLoopSpreadIsFadingNotDrift()
    {
        psk31::CarrierLoop loop;
        double mixer = 0, mixerPhase = 0, carrier = 0, frequency = 0;
        for (int k = 0; k < 600; ++k) {
            frequency += 0.002; // about 20 Hz a minute at 31.25 baud
            carrier += frequency;
            mixerPhase += mixer;
            mixer += loop.steer(loop.correct(std::polar(1.0f, float(carrier - mixerPhase))), k >= 24, 100);
        }
        QVERIFY2(std::abs(loop.step()) > 0.02, qPrintable(QString::number(loop.step())));
        QVERIFY2(loop.spread() < 1e-4, qPrintable(QString::number(loop.spread())));
        unsigned state = 5;
        for (int k = 0; k < 200; ++k) {
            state = state * 1103515245u + 12345u;
            carrier += (state >> 16) & 1 ? 0.4 : -0.4;
            mixerPhase += mixer;
            mixer += loop.steer(loop.correct(std::polar(1.0f, float(carrier - mixerPhase))), true, 100);
        }
        QVERIFY2(loop.spread() > 0.004, qPrintable(QString::number(loop.spread())));
    }

    // The sequence decoder on symbols whose phase turns half a radian each
    // symbol, beyond any carrier loop: their in-phase parts are garbage, the
    // products with the symbol before still carry every bit.
    void decoderTakesTheSymbolBeforeAsReference()
    {
        const std::string text = "CQ de G4XYZ: hw? 73\n";
        std::string bits(20, '0');
        for (char c : text)
            bits += std::string(psk31::varicode::code(uint8_t(c))) + "00";
        bits += std::string(20, '0');
        for (float weight : {0.0f, 1.0f}) {
            psk31::SequenceDecoder decoder(1);
            std::string decoded;
            std::complex<float> previous = 1;
            float sign = 1;
            double phase = 0;
            for (char bit : bits) {
                sign = bit == '1' ? sign : -sign;
                phase += 0.5;
                const std::complex<float> u = std::polar(sign, float(phase));
                decoder.push(u.real(), 1, 0.01f, &decoded, (u * std::conj(previous)).real(), weight);
                previous = u;
            }
            decoder.flush(&decoded);
            if (weight == 0)
                QVERIFY2(psk31::characterErrors(text, decoded) > text.size() / 2, decoded.c_str());
            else
                QCOMPARE(decoded, text);
        }
    }

    // The squelch alone, on corrected symbols: noise never opens it; a clean
    // signal after faint noise opens it once its symbols fill half a window,
    // not on its first ones; a deep drop in level does not close it, the
    // postamble's carrier does; a steady carrier never opens it; symbols
    // the loop does not follow hold the signal while they keep their phase
    // one to the next.
    void squelchOpensOnPhaseNotLevel()
    {
        unsigned state = 11;
        auto uniform = [&state] {
            state = state * 1103515245u + 12345u;
            return float((state >> 8) & 0xffff) / 65536.0f - 0.5f;
        };
        psk31::Squelch squelch;
        psk31::Squelch::State placed;
        placed.placed = true;
        for (int k = 0; k < 300; ++k) {
            squelch.push({uniform(), uniform()}, placed);
            QVERIFY(!squelch.open());
        }
        for (int k = 0; k < 24; ++k)
            squelch.push({0.001f * uniform(), 0.001f * uniform()}, placed);
        int openedAt = -1;
        float sign = 1;
        for (int k = 0; k < 200; ++k) {
            sign = -sign; // a preamble's reversals, then a deep drop in level
            const float level = k >= 100 && k < 130 ? 0.03f : 1.0f;
            squelch.push({sign * level + 0.05f * uniform(), 0.05f * uniform()}, placed);
            if (openedAt < 0 && squelch.open())
                openedAt = k;
            if (openedAt >= 0)
                QVERIFY2(squelch.open(), qPrintable(QString::number(k)));
        }
        QVERIFY2(openedAt >= 6 && openedAt < 24, qPrintable(QString::number(openedAt)));
        // Symbols turning 0.3 rad each against the loop (a quick fade it
        // does not follow) still keep their phase one to the next: held.
        // At 0.8 rad a symbol (a receiver 4 Hz beside its signal) they don't.
        for (double turn : {0.3, 0.8}) {
            for (int k = 0; k < 48; ++k) {
                sign = -sign;
                squelch.push(std::polar(sign, float(turn * k)), placed);
            }
            QVERIFY2(squelch.quality(psk31::Squelch::kWindow) < 0.35, qPrintable(QString::number(turn)));
            QCOMPARE(squelch.phaseLost(), turn > 0.5);
        }
        psk31::Squelch::State carrier = placed;
        for (carrier.onesRun = 1; carrier.onesRun <= 18; ++carrier.onesRun)
            squelch.push({sign, 0.0f}, carrier);
        QVERIFY(!squelch.open());
        squelch.reset();
        for (carrier.onesRun = 1; carrier.onesRun <= 100; ++carrier.onesRun) {
            squelch.push({sign, 0.0f}, carrier);
            QVERIFY(!squelch.open());
        }
    }

    // The carrier canceller alone, at the 500 Hz baseband: a steady carrier
    // 30 dB over an idle's pair of tones goes, the pair (a preamble) stays.
    void carrierCancellerTakesOnlyACarrier()
    {
        const double rate = 500;
        psk31::CarrierCanceller canceller(rate, 170, 31.25);
        double carrierLeft = 0, pairLeft = 0, pairIn = 0;
        const int n = 5000;
        for (int i = 0; i < n; ++i) {
            const double t = i / rate;
            const std::complex<float> carrier = std::polar(31.6f, float(2 * std::numbers::pi * 41.3 * t));
            const std::complex<float> pair = std::polar(0.5f, float(2 * std::numbers::pi * (-20 - 15.625) * t))
                + std::polar(0.5f, float(2 * std::numbers::pi * (-20 + 15.625) * t));
            const std::complex<float> out = canceller.process(carrier + pair);
            if (i >= n / 2) {
                // What is left at the carrier's frequency, and of the pair.
                carrierLeft += std::norm(out - pair);
                pairLeft += std::norm(out);
                pairIn += std::norm(pair);
            }
        }
        QVERIFY(canceller.active());
        QVERIFY(std::abs(canceller.frequencyHz() - 41.3) < 0.5);
        QVERIFY2(carrierLeft / (n / 2) < 31.6 * 31.6 * 1e-4, qPrintable(QString::number(carrierLeft / (n / 2))));
        QVERIFY(std::abs(pairLeft / pairIn - 1) < 0.1);
        canceller.reset();
        QVERIFY(!canceller.active());
        // The pair alone, strong: still no carrier.
        for (int i = 0; i < n; ++i) {
            const double t = i / rate;
            canceller.process(std::polar(30.0f, float(2 * std::numbers::pi * (-20 - 15.625) * t))
                              + std::polar(30.0f, float(2 * std::numbers::pi * (-20 + 15.625) * t)));
            QVERIFY(!canceller.active());
        }
    }

    void characterErrorsCountTheBestMatch()
    {
        QCOMPARE(psk31::characterErrors("hello", "xx hello yy"), size_t(0));
        QCOMPARE(psk31::characterErrors("hello", "helo"), size_t(1));
        QCOMPARE(psk31::characterErrors("hello", "hallo!"), size_t(1));
        QCOMPARE(psk31::characterErrors("hello", ""), size_t(5));
    }
};

QTEST_GUILESS_MAIN(TestModem)
#include "tst_modem.moc"
