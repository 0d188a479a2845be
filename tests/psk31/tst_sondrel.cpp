// The sondrel program's encode and decode commands: bytes through a WAV file
// and back, channel choice (by name or number), help, damaged files, and the
// errors a user can run into.

#include <QByteArray>
#include <QDataStream>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>
#include <cmath>
#include <limits>
#include <vector>

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run Sondrel(const QStringList& args, const QByteArray& input = {})
{
    QProcess process;
    process.start(QStringLiteral(SONDREL_EXE), args);
    process.write(input);
    process.closeWriteChannel();
    Run run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QByteArray EveryByte()
{
    QByteArray bytes;
    for (int b = 0; b < 256; ++b)
        bytes.append(char(b));
    return bytes;
}

// A one-second 16-bit mono WAV of silence at `rate`.
bool WriteSilentWav(const QString& path, quint32 rate)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream s(&file);
    s.setByteOrder(QDataStream::LittleEndian);
    const quint32 data = rate * 2;
    s.writeRawData("RIFF", 4);
    s << quint32(36 + data);
    s.writeRawData("WAVEfmt ", 8);
    s << quint32(16) << quint16(1) << quint16(1) << rate << quint32(rate * 2) << quint16(2) << quint16(16);
    s.writeRawData("data", 4);
    s << data;
    s.writeRawData(QByteArray(int(data), '\0').constData(), int(data));
    return s.status() == QDataStream::Ok;
}

// A 32-bit float mono WAV of `samples` at `rate`.
bool WriteFloatWav(const QString& path, const std::vector<float>& samples, quint32 rate)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream s(&file);
    s.setByteOrder(QDataStream::LittleEndian);
    s.setFloatingPointPrecision(QDataStream::SinglePrecision);
    const quint32 data = quint32(samples.size() * 4);
    s.writeRawData("RIFF", 4);
    s << quint32(36 + data);
    s.writeRawData("WAVEfmt ", 8);
    s << quint32(16) << quint16(3) << quint16(1) << rate << quint32(rate * 4) << quint16(4) << quint16(32);
    s.writeRawData("data", 4);
    s << data;
    for (float x : samples)
        s << x;
    return s.status() == QDataStream::Ok;
}

// A 16-bit WAV of `channels` channels, `samples` in `signalChannel` and
// silence in the others.
bool WriteWav16(const QString& path, const std::vector<float>& samples, quint32 rate, quint16 channels,
                int signalChannel)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream s(&file);
    s.setByteOrder(QDataStream::LittleEndian);
    const quint32 data = quint32(samples.size() * 2 * channels);
    s.writeRawData("RIFF", 4);
    s << quint32(36 + data);
    s.writeRawData("WAVEfmt ", 8);
    s << quint32(16) << quint16(1) << channels << rate << quint32(rate * 2 * channels) << quint16(2 * channels)
      << quint16(16);
    s.writeRawData("data", 4);
    s << data;
    for (float x : samples) {
        for (int c = 0; c < channels; ++c)
            s << qint16(c == signalChannel ? std::lround(x * 32767) : 0);
    }
    return s.status() == QDataStream::Ok;
}

// The samples of a 16-bit mono WAV written by sondrel encode.
std::vector<float> ReadWav16(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    std::vector<float> samples;
    for (qsizetype i = 44; i + 1 < bytes.size(); i += 2)
        samples.push_back(qFromLittleEndian<qint16>(bytes.constData() + i) / 32768.0f);
    return samples;
}

} // namespace

class TestSondrel : public QObject {
    Q_OBJECT
private slots:
    void everyByteThroughAFile()
    {
        QTemporaryDir dir;
        const QString wav = dir.filePath("all.wav");
        const Run encode = Sondrel({"encode", "--if", "1500", "--rate", "11025", "--level", "-12", "-o", wav},
                                   EveryByte());
        QCOMPARE(encode.exitCode, 0);
        const Run decode = Sondrel({"decode", "--if", "1500", wav});
        QCOMPARE(decode.exitCode, 0);
        QCOMPARE(decode.out, EveryByte());
    }

    void stereoChannels()
    {
        QTemporaryDir dir;
        const QString wav = dir.filePath("right.wav");
        const QByteArray text = "right channel only\n";
        QCOMPARE(Sondrel({"encode", "--rate", "8000", "--channel", "right", "-o", wav}, text).exitCode, 0);
        const Run left = Sondrel({"decode", wav});
        QCOMPARE(left.exitCode, 0);
        QCOMPARE(left.out, QByteArray());
        QCOMPARE(Sondrel({"decode", "--channel", "right", wav}).out, text);
        QCOMPARE(Sondrel({"decode", "--channel", "mix", wav}).out, text);
    }

    void helpIsAnswered()
    {
        for (const char* command : {"decode", "encode"}) {
            const Run run = Sondrel({command, "--help"});
            QCOMPARE(run.exitCode, 0);
            QVERIFY2(run.out.startsWith("usage: sondrel ") && run.out.contains(command), run.out.constData());
        }
    }

    // A file with more channels than two: any of them by its number.
    void channelByNumber()
    {
        QTemporaryDir dir;
        const QString mono = dir.filePath("mono.wav");
        const QByteArray text = "third of four\n";
        QCOMPARE(Sondrel({"encode", "--rate", "8000", "-o", mono}, text).exitCode, 0);
        const std::vector<float> signal = ReadWav16(mono);
        QVERIFY(!signal.empty());
        const QString four = dir.filePath("four.wav");
        QVERIFY(WriteWav16(four, signal, 8000, 4, 2));
        QCOMPARE(Sondrel({"decode", "--channel", "3", four}).out, text);
        QCOMPARE(Sondrel({"decode", "--channel", "2", four}).out, QByteArray());
        const Run none = Sondrel({"decode", "--channel", "5", four});
        QCOMPARE(none.exitCode, 1);
        QVERIFY2(none.err.contains("no channel 5"), none.err.constData());
    }

    // A float file with a NaN and an infinity in it, cut off before its
    // header's end: decoded on both sides of the bad samples, with a
    // warning for each fault, and success.
    void damagedFileIsDecodedWithWarnings()
    {
        QTemporaryDir dir;
        const QString mono = dir.filePath("mono.wav");
        const QByteArray text = "before and after the bad samples, all of it\n";
        QCOMPARE(Sondrel({"encode", "--rate", "8000", "-o", mono}, text + text).exitCode, 0);
        std::vector<float> signal = ReadWav16(mono);
        signal[signal.size() / 2] = std::numeric_limits<float>::quiet_NaN();
        signal[signal.size() / 2 + 7] = std::numeric_limits<float>::infinity();
        const QString damaged = dir.filePath("damaged.wav");
        QVERIFY(WriteFloatWav(damaged, signal, 8000));
        QFile cut(damaged);
        QVERIFY(cut.resize(cut.size() - 8000 * 4 / 2)); // half a second of the silent tail
        const Run run = Sondrel({"decode", damaged});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains("after the bad samples, all of it\nbefore"), run.out.constData());
        QVERIFY2(run.out.endsWith("all of it\n"), run.out.constData());
        QCOMPARE(run.err.count("not numbers"), 1);
        QVERIFY2(run.err.contains("ends before its header says"), run.err.constData());
    }

    void errors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("no such file") << QStringList{"decode", "@DIR@/missing.wav"} << "cannot read";
        QTest::newRow("not audio") << QStringList{"decode", "@DIR@/text.wav"} << "cannot read";
        QTest::newRow("rate too low") << QStringList{"decode", "@DIR@/4000.wav"} << "sample rate";
        QTest::newRow("IF above the band") << QStringList{"decode", "--if", "3900", "@DIR@/8000.wav"}
                                           << "outside the band";
        QTest::newRow("right of mono") << QStringList{"decode", "--channel", "right", "@DIR@/8000.wav"}
                                       << "no right channel";
        QTest::newRow("bad number") << QStringList{"decode", "--if", "x1", "@DIR@/8000.wav"} << "needs a number";
        QTest::newRow("channel 0") << QStringList{"decode", "--channel", "0", "@DIR@/8000.wav"} << "a number from 1";
        QTest::newRow("channel 2 of mono") << QStringList{"decode", "--channel", "2", "@DIR@/8000.wav"}
                                           << "no channel 2";
        QTest::newRow("encode rate") << QStringList{"encode", "--rate", "7000", "-o", "@DIR@/o.wav"}
                                     << "sample rate";
        QTest::newRow("encode IF") << QStringList{"encode", "--rate", "8000", "--if", "3990", "-o", "@DIR@/o.wav"}
                                   << "outside the band";
        QTest::newRow("encode no file") << QStringList{"encode"} << "no output file";
        QTest::newRow("unknown option") << QStringList{"encode", "--speed", "2", "-o", "@DIR@/o.wav"}
                                        << "unknown option";
        QTest::newRow("unknown command") << QStringList{"listen"} << "unknown command";
    }

    void errors()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QFile text(dir.filePath("text.wav"));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("just some words\n") > 0);
        text.close();
        QVERIFY(WriteSilentWav(dir.filePath("4000.wav"), 4000));
        QVERIFY(WriteSilentWav(dir.filePath("8000.wav"), 8000));
        args.replaceInStrings("@DIR@", dir.path());
        const Run run = Sondrel(args, "x");
        QVERIFY(run.exitCode > 0);
        QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
        QCOMPARE(run.out, QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestSondrel)
#include "tst_sondrel.moc"
