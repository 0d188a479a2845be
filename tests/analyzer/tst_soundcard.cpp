// The sound-card path against a private PulseAudio server: what it hands the
// sound server comes back through the sink's monitor.

#include "privatepulse.h"
#include "server/soundcard.h"

#include <QAudioFormat>
#include <QAudioSource>
#include <QMediaDevices>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>
#include <cmath>

using sondrel::SoundCard;

namespace {

constexpr int kSeconds = 48000;

// A ramp that never repeats within a second: each sample tells its place.
float rampAt(qint64 index)
{
    return 0.1f + 0.8f * float(index % kSeconds) / kSeconds;
}

bool suspendSink(const PrivatePulse& pulse, bool suspended)
{
    QProcess pactl;
    pactl.setProcessEnvironment(pulse.environment());
    pactl.start(QStringLiteral("pactl"), {"suspend-sink", "radio", suspended ? "1" : "0"});
    return pactl.waitForFinished(5000) && pactl.exitCode() == 0;
}

} // namespace

class TestSoundCard : public QObject {
    Q_OBJECT
private slots:
    void aStreamThatNeverStartsIsReplacedLosingNothing();
};

void TestSoundCard::aStreamThatNeverStartsIsReplacedLosingNothing()
{
    PrivatePulse pulse;
    QString why;
    if (!pulse.start(&why))
        QSKIP(qPrintable(why));
    const QProcessEnvironment environment = pulse.environment();
    for (const char* name : {"XDG_RUNTIME_DIR", "PULSE_SERVER", "HOME"})
        qputenv(name, environment.value(QString::fromLatin1(name)).toUtf8());
    const QAudioDevice monitor = SoundCard::findInput(QStringLiteral("RadioIn"));
    QVERIFY(!monitor.isNull());
    QAudioFormat format;
    format.setSampleRate(kSeconds);
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Float);
    QAudioSource recorder(monitor, format);
    recorder.setBufferSize(format.bytesForDuration(20000));
    QIODevice* recording = recorder.start();
    QVERIFY(recording);

    SoundCard card(monitor, SoundCard::findOutput(QStringLiteral("Radio")), sondrel::InputChannel::Left);
    qint64 rendered = 0;
    QVERIFY(card.start([&rendered](float* out, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i)
            out[i] = rampAt(rendered++);
    }));
    QSignalSpy failures(&card, &sondrel::SignalPath::outputFailed);
    // A suspended sink takes a new stream's first block and never starts it,
    // for longer than the card waits before it replaces the stream.
    if (!suspendSink(pulse, true))
        QSKIP("pactl (pulseaudio-utils) is not installed");
    recording->readAll();
    card.setTransmitting(true);
    QTest::qWait(700);
    QVERIFY(suspendSink(pulse, false));

    // The first sample that comes back is the first one rendered; the monitor
    // itself misses the sink's first 20 ms or so after a resume. A stream
    // replaced without its first block would begin 145 ms or more later.
    constexpr qint64 kMonitorMisses = kSeconds / 20;
    float first = 0;
    QElapsedTimer clock;
    clock.start();
    while (first == 0 && clock.elapsed() < 5000) {
        QTest::qWait(10);
        const QByteArray bytes = recording->readAll();
        const auto* frames = reinterpret_cast<const float*>(bytes.constData());
        for (qsizetype i = 0; i + 1 < bytes.size() / qsizetype(sizeof(float)) && first == 0; i += 2)
            first = frames[i];
    }
    card.setTransmitting(false);
    QCOMPARE(failures.count(), 0);
    QVERIFY(first != 0);
    const qint64 heardFirst = std::lround((first - rampAt(0)) / 0.8f * kSeconds);
    QVERIFY2(heardFirst < kMonitorMisses,
             qPrintable(QStringLiteral("the first sample heard was rendered as number %1").arg(heardFirst)));
}

QTEST_GUILESS_MAIN(TestSoundCard)
#include "tst_soundcard.moc"
