// The multi-channel receiver: several stations at once, a weak one beside a
// strong one, the measurements against what was sent, and nothing on carriers
// or noise; the spectrum it draws them from.

#include "link.h"

#include "psk31/channel.h"
#include "psk31/channelmeter.h"
#include "psk31/modulator.h"
#include "psk31/multireceiver.h"
#include "psk31/powerrows.h"
#include "psk31/textmatch.h"

#include <QtTest>
#include <cmath>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kNoiseIn2500 = 0.001;

struct Sender {
    double hz;
    double snrDb;
    std::string text; // empty: idle reversals for `seconds`
    double leadSeconds = 0.5;
    double seconds = 0;
    double cubic = 0; // y = x + cubic x^3
};

// One transmission, unscaled.
std::vector<float> Transmit(const Sender& s, double rate)
{
    std::vector<float> x(size_t(s.leadSeconds * rate), 0.0f);
    psk31::Modulator modulator({rate, s.hz, 0.5, s.hz / 100});
    modulator.start();
    for (char c : s.text)
        modulator.send(uint8_t(c));
    std::vector<float> block(256);
    if (s.text.empty()) {
        block.resize(size_t(s.seconds * rate));
        modulator.render(block.data(), block.size());
        x.insert(x.end(), block.begin(), block.end());
    } else {
        modulator.stop();
        while (!modulator.finished()) {
            modulator.render(block.data(), block.size());
            x.insert(x.end(), block.begin(), block.end());
        }
    }
    for (float& v : x)
        v = float(v + s.cubic * v * v * v);
    return x;
}

// The senders at their SNR over kNoiseIn2500.
std::vector<float> MakeBand(const std::vector<Sender>& senders, double rate, double tailSeconds,
                        uint32_t seed)
{
    std::vector<BandSignal> sent;
    for (const Sender& s : senders)
        sent.push_back({Transmit(s, rate), s.snrDb});
    return sumBand(std::move(sent), rate, kNoiseIn2500, tailSeconds, seed).mix;
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
    for (size_t i = 0; i < samples.size(); i += 1000) {
        receiver.process(samples.data() + i, std::min<size_t>(1000, samples.size() - i));
        for (const auto& c : receiver.takeEnded())
            keep(*c);
    }
    receiver.flush();
    for (const auto& c : receiver.channels())
        keep(*c);
    return heard;
}

const Heard* Near(const std::vector<Heard>& heard, double hz, double within = 1)
{
    for (const Heard& h : heard) {
        if (std::abs(h.hz - hz) <= within)
            return &h;
    }
    return nullptr;
}

} // namespace

class TestMultiReceiver : public QObject {
    Q_OBJECT
private slots:
    // A tone's bins sum to its power; a bin of white noise holds the noise in its width.
    void spectrumIsCalibrated()
    {
        const double rate = 8000;
        psk31::PowerRows spectrum(rate);
        QVERIFY(spectrum.binHz() <= 4);
        std::mt19937 random(1);
        std::normal_distribution<float> gauss(0.0f, 0.01f);
        double noise = 0;
        int rows = 0;
        for (int i = 0; i < int(rate) * 2; ++i) {
            const float tone = float(0.3 * std::cos(2 * std::numbers::pi * 1234.5 * i / rate));
            if (spectrum.push(tone + gauss(random)) && size_t(i) > spectrum.size()) {
                const auto& row = spectrum.row();
                const size_t k = size_t(std::lround(1234.5 / spectrum.binHz()));
                double sum = 0;
                for (size_t j = k - 3; j <= k + 3; ++j)
                    sum += row[j];
                QVERIFY(std::abs(sum / (0.3 * 0.3 / 2) - 1) < 0.02);
                for (size_t j = 100; j < 200; ++j)
                    noise += row[j];
                ++rows;
            }
        }
        QVERIFY(spectrum.rowsPerSecond() >= 10);
        QCOMPARE(spectrum.rows(),
                 uint64_t(rows + std::lround(spectrum.size() / (rate / spectrum.rowsPerSecond()))));
        const double perBin = 0.01 * 0.01 / (rate / 2) * spectrum.binHz();
        QVERIFY(std::abs(noise / (100.0 * rows) / perBin - 1) < 0.05);
    }

    // Six stations at once, a weak one between two stronger ones 200 Hz away, through the shared
    // front end (a whole decimation at 48000 Hz, a resampler at 44100 Hz): each copied exactly
    // on a channel of its own, at its frequency and S/N.
    void severalStationsCopiedExactly_data()
    {
        QTest::addColumn<double>("rate");
        QTest::newRow("48000 Hz") << 48000.0;
        QTest::newRow("44100 Hz") << 44100.0;
    }

    void severalStationsCopiedExactly()
    {
        QFETCH(double, rate);
        const std::vector<Sender> senders = {
            {512.3, 12, "CQ CQ de G4XYZ G4XYZ pse k\n", 0.5},
            {905.0, 3, "DL1ABC de F5XYZ: ur 599 in Paris\n", 1.7},
            {1515.2, 6, "N1XYZ de VK2ABC: 73 es gl\n", 0.5},
            {1700.8, -4, "OK4AB: rig 5W, ant dipole. Hw? 73!\n", 1.3},
            {1900.5, 9, "EA7XX EA7XX de SM5QQ = QSL via bureau\n", 0.9},
            {2603.1, 0, "KB1XYZ de JA1ZZZ tnx fer QSO\n", 2.4},
        };
        const std::vector<Heard> heard = ReceiveAll(MakeBand(senders, rate, 2, 11), rate);
        QCOMPARE(heard.size(), senders.size());
        for (const Sender& s : senders) {
            const Heard* h = Near(heard, s.hz, 0.5);
            QVERIFY2(h, qPrintable(QString::number(s.hz)));
            // Every character right; the receiver may add one or two in the noise before.
            QCOMPARE(psk31::characterErrors(s.text, h->text), size_t(0));
            QVERIFY2(h->text.size() <= s.text.size() + 2, h->text.c_str());
            QVERIFY(h->snrDb && std::abs(*h->snrDb - s.snrDb) < 1.5);
        }
    }

    // 50 Hz from a station 10 dB stronger, a weak one still gets its own channel
    // and is copied.
    void stationBesideAStrongerOneIsFound()
    {
        const double rate = 8000;
        const std::vector<Sender> senders = {
            {1000, 10, "CQ CQ de G4XYZ G4XYZ pse k\nG4XYZ de W1AW", 0.5},
            {1050, 0, "VE3ABC de OH2XYZ: ur 579, QTH Espoo\n", 1.2},
        };
        const std::vector<Heard> heard = ReceiveAll(MakeBand(senders, rate, 2, 12), rate);
        QCOMPARE(heard.size(), size_t(2));
        QVERIFY(Near(heard, 1000));
        QVERIFY(Near(heard, 1050));
        QCOMPARE(psk31::characterErrors(senders[0].text, Near(heard, 1000)->text), size_t(0));
        QCOMPARE(psk31::characterErrors(senders[1].text, Near(heard, 1050)->text), size_t(0));
    }

    // S/N to 1.5 dB and frequency to 0.5 Hz from -12 to +20 dB; IMD of idle
    // reversals with a known third-order term to 1.5 dB, none on a clean signal.
    void measurementsAreWithinTheirAccuracy_data()
    {
        QTest::addColumn<double>("snr");
        QTest::newRow("-12 dB") << -12.0;
        QTest::newRow("+4 dB") << 4.0;
        QTest::newRow("+20 dB") << 20.0;
    }

    void measurementsAreWithinTheirAccuracy()
    {
        QFETCH(double, snr);
        const double rate = 8000;
        const Sender s{1234.5, snr, "The quick brown fox jumps over the lazy dog 0123456789\n",
                       0.5};
        const std::vector<Heard> heard = ReceiveAll(MakeBand({s}, rate, 1, uint32_t(20 + snr)), rate);
        const Heard* h = Near(heard, s.hz, 0.5);
        QVERIFY(h);
        QVERIFY(h->snrDb);
        QVERIFY2(std::abs(*h->snrDb - snr) < 1.5, qPrintable(QString::number(*h->snrDb)));
    }

    void imdIsMeasuredOnIdle()
    {
        const double rate = 8000;
        // Tones of amplitude B = peak / 2 through y = x + a x^3: third-order
        // products of 3/4 a B^3 beside tones of B + 9/4 a B^3.
        const double a = 0.4, b = 0.25;
        const double expected = 20 * std::log10(0.75 * a * b * b / (1 + 2.25 * a * b * b));
        Sender distorted{1500, 20, "", 0.5, 10, a};
        const Heard* h = nullptr;
        const std::vector<Heard> heard = ReceiveAll(MakeBand({distorted}, rate, 0, 30), rate);
        h = Near(heard, 1500, 0.5);
        QVERIFY(h && h->imdDb);
        QVERIFY2(std::abs(*h->imdDb - expected) < 1.5, qPrintable(QString::number(*h->imdDb)));
        Sender clean{1500, 20, "", 0.5, 10, 0};
        const std::vector<Heard> cleanHeard = ReceiveAll(MakeBand({clean}, rate, 0, 31), rate);
        h = Near(cleanHeard, 1500, 0.5);
        QVERIFY(h && !h->imdDb);
    }

    // The sound card's clock error from a channel's symbol timing, to 50 ppm
    // over 20 s of a station; none on a station heard only a few seconds.
    void clockErrorIsMeasured()
    {
        const double rate = 8000;
        const std::string over = "G4XYZ de DL1ABC: ur 599 in Hamburg, rig 100W, ant dipole\n";
        const Sender s{1200, 10, over + over + over + over, 0.5};
        const std::vector<float> band = MakeBand({s}, rate, 1, 70);
        for (double ppm : {200.0, -200.0}) {
            psk31::Channel::Config config;
            config.sampleRate = rate;
            config.clockPpm = ppm;
            const std::vector<float> received = throughChannel(band, config);
            psk31::MultiReceiver receiver({rate});
            receiver.process(received.data(), received.size());
            QCOMPARE(receiver.channels().size(), size_t(1));
            const std::optional<double> measured = receiver.channels().front()->clockPpm();
            QVERIFY(measured);
            QVERIFY2(std::abs(*measured - ppm) < 50, qPrintable(QString::number(*measured)));
        }
        psk31::MultiReceiver receiver({rate});
        receiver.process(band.data(), size_t(5 * rate));
        QCOMPARE(receiver.channels().size(), size_t(1));
        QVERIFY(!receiver.channels().front()->clockPpm());
    }

    // A station drifting 30 Hz a minute, 35 Hz in all, keeps its one channel,
    // which copies it and ends at its frequency.
    void driftingStationKeepsItsChannel()
    {
        const double rate = 8000, drift = 30;
        const std::string over = "G4XYZ de DL1ABC: ur 599 in Hamburg, rig 100W, ant dipole\n";
        const Sender s{1000, 0, over + over + over + over + over + over, 0.5};
        const std::vector<float> band = MakeBand({s}, rate, 1, 80);
        psk31::Channel::Config config;
        config.sampleRate = rate;
        config.driftHzPerMinute = drift;
        const std::vector<float> drifted = throughChannel(band, config);
        const std::vector<Heard> heard = ReceiveAll(drifted, rate);
        QCOMPARE(heard.size(), size_t(1));
        QCOMPARE(psk31::characterErrors(s.text, heard.front().text), size_t(0));
        // The squelch closes on the carrier that ends the signal, about
        // 1.5 s before the end of the sound.
        const double endHz = 1000 + drift * (double(band.size()) / rate - 1.5) / 60;
        QVERIFY2(std::abs(heard.front().hz - endHz) < 0.5,
                 qPrintable(QString::number(heard.front().hz - endHz)));
    }

    // The meter reads a drifting carrier where it is, not a second behind; a
    // receiver that wanders while its station has stopped moves it not at all.
    void meterReadsTheCarrierWhereTheStationIs()
    {
        const double binHz = 4, rows = 16, noise = 1e-4;
        psk31::ChannelMeter meter(binHz, rows);
        auto row = [&](double hz, double power) {
            std::vector<float> r(500, float(noise));
            for (size_t k = 0; k < r.size(); ++k) {
                if (std::abs(double(k) * binHz - hz) < 16)
                    r[k] += float(power / 8);
            }
            return r;
        };
        double hz = 1000;
        for (int i = 0; i < 20 * rows; ++i, hz += 0.5 / rows) // 30 Hz a minute
            meter.addRow(row(hz, 1), noise, hz, true);
        const double last = hz - 0.5 / rows;
        QVERIFY2(std::abs(*meter.frequency() - last) < 0.02,
                 qPrintable(QString::number(*meter.frequency() - last)));
        for (int i = 0; i < 12; ++i)
            meter.addRow(row(hz, 0), noise, last + i, true);
        QVERIFY2(std::abs(*meter.frequency() - last) < 0.02,
                 qPrintable(QString::number(*meter.frequency() - last)));
    }

    // Carriers strong and weak, and noise, open no channel.
    void noChannelOnCarriersOrNoise()
    {
        const double rate = 8000;
        std::vector<float> band = MakeBand({}, rate, 40, 40);
        const double noiseAmplitude = std::sqrt(2 * kNoiseIn2500);
        for (size_t i = 0; i < band.size(); ++i) {
            const double t = double(i) / rate;
            band[i] += float(noiseAmplitude
                             * (10 * std::cos(2 * std::numbers::pi * 700.3 * t)
                                + std::cos(2 * std::numbers::pi * 1903 * t)));
        }
        QVERIFY(ReceiveAll(band, rate).empty());
    }

    // A station that stops leaves its channel, with its text, after the silence limit.
    void channelEndsAfterSilence()
    {
        const double rate = 8000;
        const Sender s{800, 6, "QRT, 73 de G4XYZ\n", 0.5};
        const std::vector<float> band = MakeBand({s}, rate, 14, 50);
        psk31::MultiReceiver receiver({rate});
        std::vector<std::unique_ptr<psk31::BandChannel>> ended;
        for (size_t i = 0; i < band.size(); i += 800) {
            receiver.process(band.data() + i, std::min<size_t>(800, band.size() - i));
            for (auto& c : receiver.takeEnded())
                ended.push_back(std::move(c));
        }
        QVERIFY(receiver.channels().empty());
        QCOMPARE(ended.size(), size_t(1));
        QCOMPARE(ended.front()->text(), s.text);
    }

    // A NaN, an infinity or an absurd sample is a moment of silence, not the
    // end of finding stations.
    void badSamplesAreSilence()
    {
        const double rate = 8000;
        const Sender s{1100, 6, "QRL? de G4XYZ\n", 6};
        std::vector<float> band = MakeBand({s}, rate, 2, 60);
        band[size_t(rate)] = NAN;
        band[size_t(rate) + 7] = INFINITY;
        band[size_t(2 * rate)] = 1e30f;
        psk31::MultiReceiver receiver({rate});
        receiver.process(band.data(), band.size());
        receiver.flush();
        QCOMPARE(receiver.channels().size(), size_t(1));
        QCOMPARE(receiver.channels().front()->text(), s.text);
        QCOMPARE(receiver.badSamples(), uint64_t(3));
    }

    void unusableConfigurationsAreRefused()
    {
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, psk31::MultiReceiver({8000, 150, 3950}));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, psk31::MultiReceiver({8000, 20, 3000}));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, psk31::MultiReceiver({8000, 150, 3500, 0}));
    }
};

QTEST_GUILESS_MAIN(TestMultiReceiver)
#include "tst_multireceiver.moc"
