// sondrel decode --all: a file's stations as text and as JSON lines, the
// bytes as Windows-1252 characters, and nothing from a clean file but its one
// station (no channels on its harmonics or quantisation), and a recording of
// another program.

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray Sondrel(const QStringList& args, const QByteArray& input = {}, int* exitCode = nullptr)
{
    QProcess process;
    process.start(QStringLiteral(SONDREL_EXE), args);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000)) {
        process.kill();
        return {};
    }
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAllStandardOutput();
}

} // namespace

class TestDecodeAll : public QObject {
    Q_OBJECT
private slots:
    void stationsAsTextAndJson()
    {
        QTemporaryDir dir;
        const QString wav = dir.filePath("one.wav");
        const QByteArray sent = "CQ \"de\" back\\slash \x01\x80\xe9\x81 k\n";
        int status = -1;
        Sondrel({"encode", "--if", "1234", "--rate", "8000", "-o", wav}, sent, &status);
        QCOMPARE(status, 0);

        const QByteArray json = Sondrel({"decode", "--all", "--json", wav}, {}, &status);
        QCOMPARE(status, 0);
        const QList<QByteArray> lines = json.trimmed().split('\n');
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.front().contains("\\u0001") && lines.front().contains("\\u0081"),
                 lines.front().constData());
        QJsonParseError error;
        const QJsonObject channel = QJsonDocument::fromJson(lines.front(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QVERIFY(std::abs(channel["hz"].toDouble() - 1234) <= 0.5);
        QVERIFY(channel["snr_db"].toDouble() > 30);
        QVERIFY(channel["imd_db"].isNull());
        QCOMPARE(channel["text"].toString(),
                 QString::fromUtf16(u"CQ \"de\" back\\slash \u0001\u20ac\u00e9\u0081 k\n"));

        const QByteArray text = Sondrel({"decode", "--all", wav}, {}, &status);
        QCOMPARE(status, 0);
        QVERIFY2(text.startsWith("1234.0 Hz, S/N ") && text.contains("\n" + sent),
                 text.constData());
        Sondrel({"decode", "--all", "--if", "1000", wav}, {}, &status);
        QCOMPARE(status, 1);
    }

    // Another program's signal, recorded: one channel, copied exactly.
    void peerRecording()
    {
        int status = -1;
        const QByteArray json = Sondrel(
            {"decode", "--all", "--json", PSK31_DATA_DIR "/peer-fldigi-4.1.23.wav"}, {}, &status);
        QCOMPARE(status, 0);
        const QList<QByteArray> lines = json.trimmed().split('\n');
        QCOMPARE(lines.size(), 1);
        const QJsonObject channel = QJsonDocument::fromJson(lines.front()).object();
        QVERIFY(std::abs(channel["hz"].toDouble() - 1500) <= 0.5);
        QCOMPARE(channel["text"].toString(), QStringLiteral("CQ CQ de N0CALL: Peer test, 599 73"));
    }
};

QTEST_GUILESS_MAIN(TestDecodeAll)
#include "tst_decodeall.moc"
