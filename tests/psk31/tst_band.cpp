// The receiver on a real band, seeded so every run is the same: its
// white-noise sensitivity may not slip, the station it is tuned to wins over
// stronger ones and carriers, the level swinging is not lost quality, each
// over comes out from its first character, and bad samples are a dropout.

#include "link.h"
#include "qsotext.h"

#include "psk31/textmatch.h"

#include <QtTest>
#include <cmath>
#include <limits>

namespace {

constexpr double kRate = 8000;
constexpr double kIf = 1000;

psk31::Channel::Config Noisy(double snr, uint32_t seed)
{
    psk31::Channel::Config channel;
    channel.sampleRate = kRate;
    channel.noise = true;
    channel.snrDb = snr;
    channel.seed = seed;
    return channel;
}

// `text` sent at the IF through `channel`, received with the IF tuned.
std::string Copy(const std::string& text, psk31::Channel::Config channel)
{
    const Transmission t = transmit(text, kRate, kIf, 0.9, 1.0, 2.0);
    channel.signalPower = psk31::Channel::keyedPower(t.samples);
    if (!channel.otherStation.empty())
        channel.otherStation.resize(t.samples.size(), 0.0f);
    return receive(throughChannel(t.samples, channel), {kRate, kIf, 100});
}

} // namespace

class TestBand : public QObject {
    Q_OBJECT
private slots:
    // The white-noise floor: 1500 characters at -12 dB gave 18 errors
    // (1.2 %) when this was written, and a decoder blunted on purpose
    // about twice as many. Some slack for honest changes, none for that.
    void sensitivityFloor()
    {
        const std::string text = qsoText(1500, 7);
        const size_t errors = psk31::characterErrors(text, Copy(text, Noisy(-12, 101)));
        QVERIFY2(errors <= text.size() * 14 / 1000, qPrintable(QString::number(errors)));
    }

    void tunedStationWins_data()
    {
        QTest::addColumn<double>("otherHz");
        QTest::addColumn<double>("otherDb");
        QTest::addColumn<double>("carrierHz");
        QTest::addColumn<double>("carrierDb");
        QTest::newRow("station 50 Hz up, 10 dB stronger") << 50.0 << 10.0 << 0.0 << 0.0;
        QTest::newRow("station 50 Hz down, 10 dB stronger") << -50.0 << 10.0 << 0.0 << 0.0;
        QTest::newRow("carrier 30 Hz up, 20 dB stronger") << 0.0 << 0.0 << 30.0 << 20.0;
        QTest::newRow("carrier 30 Hz down, 20 dB stronger") << 0.0 << 0.0 << -30.0 << 20.0;
    }

    // The other signal is on before the wanted one starts and after it ends.
    void tunedStationWins()
    {
        QFETCH(double, otherHz);
        QFETCH(double, otherDb);
        QFETCH(double, carrierHz);
        QFETCH(double, carrierDb);
        const std::string text = qsoText(200, 3);
        psk31::Channel::Config channel = Noisy(0, 11);
        if (otherHz != 0) {
            channel.otherStation = transmit(qsoText(400, 4), kRate, kIf + otherHz, 2.2, 0.0, 0.0)
                                       .samples;
            channel.otherStationDb = otherDb;
        }
        if (carrierHz != 0) {
            channel.carrierHz = kIf + carrierHz;
            channel.carrierDb = carrierDb;
        }
        const std::string decoded = Copy(text, channel);
        QVERIFY2(psk31::characterErrors(text, decoded) == 0, decoded.c_str());
    }

    // Receiver gain swinging +-10 dB twice a second, and fading without
    // noise: the level moves, the quality does not, the text comes through.
    void levelIsNotQuality()
    {
        const std::string text = qsoText(300, 5);
        psk31::Channel::Config pumped = Noisy(0, 12);
        pumped.pumpDb = 10;
        pumped.pumpHz = 0.5;
        // None in 588 characters now; at most 1, under the peer's 0.33 % (the
        // old receiver: 25 %).
        const std::string decoded = Copy(text, pumped);
        QVERIFY2(psk31::characterErrors(text, decoded) <= 1, decoded.c_str());
        psk31::Channel::Config fading;
        fading.sampleRate = kRate;
        fading.fadingHz = 1;
        fading.seed = 13;
        // 15 errors in 588 characters; 18 with the carrier loop as the only
        // phase reference, 30 while the decoder took the neighbouring
        // symbols' share out of a whole word at the level of its last
        // symbol, which in a fade is no level of the word.
        const size_t errors = psk31::characterErrors(text, Copy(text, fading));
        QVERIFY2(errors <= 17, qPrintable(QString::number(errors)));
    }

    // Quick fading in noise turns the carrier's phase fast near each null:
    // the carrier loop widens with it, and the decoder takes the symbol
    // before as phase reference. At 0 dB 40 errors in 588 characters (67
    // with the loop's width set by the signal's SNR alone); at +10 dB 20
    // (28 with the loop as the only reference). At 1.5 Hz a loop as narrow
    // as the SNR it measures does not follow at all: 88 errors; 98 before
    // it widened when it lagged, 265 while the decoder kept to the loop and
    // the receiver left a signal the loop lost for the acquisition's line.
    void quickFadingWidensTheLoop()
    {
        const std::string text = qsoText(300, 5);
        struct Case {
            double hz, snr;
            size_t most;
        };
        for (const Case& c : {Case{1, 0, 54}, Case{1, 10, 24}, Case{1.5, 0, 94}}) {
            psk31::Channel::Config fading = Noisy(c.snr, 20);
            fading.fadingHz = c.hz;
            const size_t errors = psk31::characterErrors(text, Copy(text, fading));
            QVERIFY2(errors <= c.most, qPrintable(QString("%1 Hz, %2 dB: %3").arg(c.hz).arg(c.snr).arg(errors)));
        }
    }

    // A weak over is copied from its start: at -13 dB the acquisition finds
    // the line in few of its estimates, and the squelch must not wait for
    // one that does at the very symbol where the window turns good (this
    // over came out from its 16th character that way).
    void weakOverFromItsStart()
    {
        const std::string text = qsoText(150, 56);
        const std::string decoded = Copy(text, Noisy(-13, 76));
        QVERIFY2(psk31::characterErrors(text.substr(0, 30), decoded.substr(0, 40)) <= 3, decoded.c_str());
    }

    // Short weak overs: the acquisition must find each one's line while its
    // preamble is still in the baseband the receiver keeps to go through
    // again. The quick spectrum alone found some only seconds in.
    void weakOversFoundInTime()
    {
        size_t lost = 0;
        for (uint32_t seed = 0; seed < 10; ++seed) {
            const std::string text = qsoText(60, 900 + seed).substr(0, 40);
            const std::string decoded = Copy(text, Noisy(-13, 600 + seed));
            lost += psk31::characterErrors(text.substr(0, 16), decoded.substr(0, 16));
        }
        QVERIFY2(lost <= 45, qPrintable(QString::number(lost)));
    }

    // Short overs at -11 dB a few seconds apart, each a few hertz from the
    // last: every one is copied from its first characters, the calls. In the
    // second noise a preamble is missed by the first look back at the kept
    // baseband (4 calls' characters lost without a second look, 1 with).
    void fromTheFirstCharacter_data()
    {
        QTest::addColumn<uint32_t>("seed");
        QTest::newRow("noise 14") << uint32_t(14);
        QTest::newRow("noise 17") << uint32_t(17);
    }

    void fromTheFirstCharacter()
    {
        QFETCH(uint32_t, seed);
        std::vector<float> samples(size_t(2 * kRate), 0.0f);
        std::vector<std::string> texts;
        const char* calls[] = {"G4XYZ", "DL1ABC", "F5KQP", "W1AW", "JA1NRH", "VK2DX"};
        for (int i = 0; i < 6; ++i) {
            texts.push_back(std::string(calls[i]) + " de " + calls[(i + 1) % 6] + " "
                            + qsoText(30, uint32_t(60 + i)));
            const Transmission t = transmit(texts.back(), kRate, kIf + (i % 3 - 1) * 4.0, 0.4 * i,
                                            0.0, 3.0);
            samples.insert(samples.end(), t.samples.begin(), t.samples.end());
        }
        psk31::Channel::Config channel = Noisy(-11, seed);
        channel.signalPower = psk31::Channel::keyedPower(
            transmit(texts[0], kRate, kIf, 0, 0, 0).samples);
        const std::string decoded = receive(throughChannel(samples, channel), {kRate, kIf, 100});
        size_t lost = 0;
        for (const std::string& text : texts) {
            // Each over's calls, found in what came out (no two overs
            // start alike).
            lost += psk31::characterErrors(text.substr(0, text.find(" de ") + 4), decoded);
        }
        QVERIFY2(lost <= 2, decoded.c_str());
    }

    // A strong over starting a few hertz from the tuning: the squelch must not
    // open on its first, clean-looking symbols before the receiver is on it,
    // or the carrier loop, narrowed by the open squelch, may never pull in
    // and the whole over comes out garbled; nor before its symbols fill the
    // window, or the noise before it comes out as a character in front.
    void strongOverIsNotGarbled()
    {
        const std::string text = "QRT, 73 de G4XYZ\n";
        QStringList wrong;
        for (int i = 0; i < 30; ++i) {
            const Transmission t = transmit(text, kRate, kIf + 2 + 0.1 * i, 0.3 * i, 0.5 + 0.05 * i,
                                            2.0);
            psk31::Channel::Config channel = Noisy(6 + i % 12, uint32_t(200 + i));
            channel.signalPower = psk31::Channel::keyedPower(t.samples);
            const std::string decoded = receive(throughChannel(t.samples, channel),
                                                {kRate, kIf, 100});
            if (decoded != text)
                wrong << QString::fromStdString(decoded);
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(" | ")));
    }

    // NaN, infinities and absurd values are a short dropout: counted, and
    // the text on both sides of them still comes out.
    void badSamplesAreADropout()
    {
        const std::string text = "the quick brown fox jumps over the lazy dog 0123456789\n";
        Transmission t = transmit(text + text, kRate, kIf, 0.2, 0.5, 1.0);
        const size_t middle = t.samples.size() / 2;
        t.samples[middle] = std::numeric_limits<float>::quiet_NaN();
        t.samples[middle + 1] = std::numeric_limits<float>::infinity();
        t.samples[middle + 2] = -std::numeric_limits<float>::infinity();
        t.samples[middle + 3] = 1e30f;
        psk31::Demodulator demodulator({kRate, kIf, 100});
        std::string decoded;
        demodulator.process(t.samples.data(), t.samples.size(), decoded);
        demodulator.flush(decoded);
        QCOMPARE(demodulator.badSamples(), size_t(4));
        QVERIFY2(psk31::characterErrors(text + text, decoded) <= 4, decoded.c_str());
        QVERIFY(decoded.size() > text.size() + 20);
    }

    // The sound card's clock error as the symbol timing measures it.
    void clockError()
    {
        const std::string text = qsoText(200, 6);
        for (double ppm : {300.0, -300.0}) {
            const Transmission t = transmit(text, kRate, kIf, 0.1, 0.5, 0.5);
            psk31::Channel::Config channel = Noisy(0, 15);
            channel.signalPower = psk31::Channel::keyedPower(t.samples);
            channel.clockPpm = ppm;
            const std::vector<float> received = throughChannel(t.samples, channel);
            psk31::Demodulator demodulator({kRate, kIf, 100});
            std::string decoded;
            demodulator.process(received.data(), received.size(), decoded);
            QVERIFY2(std::abs(demodulator.clockErrorPpm() - ppm) < 60,
                     qPrintable(QString::number(demodulator.clockErrorPpm())));
        }
    }
};

QTEST_GUILESS_MAIN(TestBand)
#include "tst_band.moc"
