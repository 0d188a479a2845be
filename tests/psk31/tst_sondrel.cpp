// The sondrel program's encode and decode commands: bytes through a WAV file
// and back, channel choice, and the errors a user can run into.

#include <QByteArray>
#include <QDataStream>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

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
