// The real sondrel program: keying follows the links through rigctld with the
// loopback channel (toggle, abort, a lost link and SIGTERM all release PTT), a
// rigctld that stops answering holds nothing up and the operator hears of it,
// `sondrel unkey` drops PTT, and a transmission through a private PulseAudio
// server comes back decoded by a second sondrel listening on the output
// channel Pelorin chose, its first sample after the PTT delay and PTT
// released only once the last one has been played.

#include "driverkeys.h"
#include "privatepulse.h"
#include "settingsstore.h"
#include "sondrelprocess.h"
#include "testenv.h"

#include <QAudioDevice>
#include <QAudioSource>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <memory>
#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace keys = pelorin::keys;

namespace {

constexpr int kWaitMs = 10000;
// Preamble, a few characters at PSK31's pace and the postamble.
constexpr int kOnAirMs = 20000;

using Sondrel = SondrelProcess;

class Rigctld {
public:
    ~Rigctld()
    {
        m_daemon.terminate();
        m_daemon.waitForFinished(kWaitMs);
    }
    bool start()
    {
        m_rigctl = QStandardPaths::findExecutable(QStringLiteral("rigctl"));
        const QString rigctld = QStandardPaths::findExecutable(QStringLiteral("rigctld"));
        if (m_rigctl.isEmpty() || rigctld.isEmpty())
            return false;
        m_address = QStringLiteral("127.0.0.1:%1").arg(freePort());
        m_daemon.start(rigctld, {"-m", "1", "-P", "RIG", "-T", "127.0.0.1", "-t", m_address.section(':', 1)});
        return m_daemon.waitForStarted(kWaitMs);
    }
    QString address() const { return m_address; }
    qint64 pid() const { return m_daemon.processId(); }
    // Keys ("1") or unkeys ("0") the dummy rig as another client would.
    void set(const QString& ptt) const
    {
        QProcess ask;
        ask.start(m_rigctl, {"-m", "2", "-r", m_address, "T", ptt});
        ask.waitForFinished(kWaitMs);
    }
    // What the dummy rig says of its PTT: "1" keyed, "0" not.
    QString ptt() const
    {
        QProcess ask;
        ask.start(m_rigctl, {"-m", "2", "-r", m_address, "t"});
        ask.waitForFinished(kWaitMs);
        return QString::fromLatin1(ask.readAllStandardOutput()).trimmed();
    }

private:
    QProcess m_daemon;
    QString m_rigctl;
    QString m_address;
};

} // namespace

class TestServer : public QObject {
    Q_OBJECT
private slots:
    void everyEndOfTransmissionReleasesPtt_data();
    void everyEndOfTransmissionReleasesPtt();
    void rigctldThatStopsAnsweringHoldsNothingUp();
    void unkeyDropsPtt();
    void soundServerRoundTrip();
    void soundCardKeyingTimes();
    void soundCardAbortsReleaseEveryRound();
    void recordingIsDecodedInRealTime();
    void rejectsBadOptions_data();
    void rejectsBadOptions();
    void logLinesCarryTheirLevel();
};

void TestServer::everyEndOfTransmissionReleasesPtt_data()
{
    QTest::addColumn<QString>("ending");
    QTest::newRow("toggle off") << "toggle";
    QTest::newRow("abort") << "abort";
    QTest::newRow("transmit link lost") << "link";
    QTest::newRow("time limit") << "limit";
#ifdef Q_OS_UNIX
    QTest::newRow("SIGTERM") << "sigterm";
#endif
}

void TestServer::everyEndOfTransmissionReleasesPtt()
{
    QFETCH(QString, ending);
    Rigctld rig;
    if (!rig.start())
        QSKIP("rigctld and rigctl (libhamlib-utils) are not installed");
    QTRY_COMPARE_WITH_TIMEOUT(rig.ptt(), QStringLiteral("0"), kWaitMs);
    Sondrel sondrel;
    QStringList arguments{"--loopback", "--rigctld", rig.address()};
    if (ending == QLatin1String("limit"))
        arguments << "--tx-limit" << "3";  // a window a loaded machine can see
    QVERIFY2(sondrel.start(arguments, QProcessEnvironment::systemEnvironment()), qPrintable(sondrel.log()));
    Terminal terminal;
    QVERIFY(terminal.open(sondrel.port()));

    const QByteArray text("cq de test");
    terminal.send("\x01" + text);
    QTRY_COMPARE_WITH_TIMEOUT(rig.ptt(), QStringLiteral("1"), kWaitMs);
    if (ending == QLatin1String("toggle")) {
        terminal.send("\x01");
        // Decoded from the simulated channel, so the text is on the air before PTT drops.
        QTRY_VERIFY_WITH_TIMEOUT(terminal.heard().contains(text), kOnAirMs);
        QTRY_VERIFY_WITH_TIMEOUT(sondrel.log().contains(QStringLiteral("PTT off")), kOnAirMs);
    } else if (ending == QLatin1String("abort")) {
        terminal.send("\x02");
        QTRY_VERIFY_WITH_TIMEOUT(sondrel.log().contains(QStringLiteral("PTT off")), kWaitMs);
    } else if (ending == QLatin1String("limit")) {
        QTRY_VERIFY_WITH_TIMEOUT(sondrel.log().contains(QStringLiteral("PTT off")), kWaitMs);
        QVERIFY2(sondrel.log().contains(QStringLiteral("time limit")), qPrintable(sondrel.log()));
    } else if (ending == QLatin1String("link")) {
        terminal.transmit.abort();
        QTRY_VERIFY_WITH_TIMEOUT(sondrel.log().contains(QStringLiteral("PTT off")), kWaitMs);
    } else {
#ifdef Q_OS_UNIX
        QCOMPARE(::kill(pid_t(sondrel.process().processId()), SIGTERM), 0);
        QVERIFY(sondrel.process().waitForFinished(kWaitMs));
        QCOMPARE(sondrel.process().exitCode(), 0);
#endif
    }
    QCOMPARE(rig.ptt(), QStringLiteral("0"));
}

void TestServer::rigctldThatStopsAnsweringHoldsNothingUp()
{
#ifdef Q_OS_UNIX
    Rigctld rig;
    if (!rig.start())
        QSKIP("rigctld and rigctl (libhamlib-utils) are not installed");
    QTRY_COMPARE_WITH_TIMEOUT(rig.ptt(), QStringLiteral("0"), kWaitMs);
    Sondrel sondrel;
    QVERIFY2(sondrel.start({"--loopback", "--rigctld", rig.address()},
                           QProcessEnvironment::systemEnvironment()),
             qPrintable(sondrel.log()));
    Terminal terminal;
    QVERIFY(terminal.open(sondrel.port()));
    terminal.send("\x01" "cq cq");
    QTRY_COMPARE_WITH_TIMEOUT(rig.ptt(), QStringLiteral("1"), kWaitMs);

    // Stopped, the daemon accepts connections and never answers.
    QCOMPARE(::kill(pid_t(rig.pid()), SIGSTOP), 0);
    terminal.send("\x02");
    // The server is not waiting on the rig: a new connection is served at once.
    QTcpSocket third;
    third.connectToHost(QHostAddress::LocalHost, sondrel.port());
    QVERIFY(third.waitForConnected(kWaitMs));
    QTRY_VERIFY_WITH_TIMEOUT(third.state() == QAbstractSocket::UnconnectedState, 1000);
    QTRY_VERIFY_WITH_TIMEOUT(terminal.heard().contains("PTT failed"), kWaitMs);
    // The log comes through sondrel's stderr, which may be read after the
    // link's notice.
    QTRY_VERIFY2_WITH_TIMEOUT(sondrel.log().contains(QStringLiteral("error: PTT rigctld")), qPrintable(sondrel.log()),
                              kWaitMs);
    // Answering again, the daemon is unkeyed without anyone asking again.
    QCOMPARE(::kill(pid_t(rig.pid()), SIGCONT), 0);
    QTRY_COMPARE_WITH_TIMEOUT(rig.ptt(), QStringLiteral("0"), kWaitMs);
#else
    QSKIP("stops rigctld with SIGSTOP");
#endif
}

void TestServer::unkeyDropsPtt()
{
    Rigctld rig;
    if (!rig.start())
        QSKIP("rigctld and rigctl (libhamlib-utils) are not installed");
    QTRY_COMPARE_WITH_TIMEOUT(rig.ptt(), QStringLiteral("0"), kWaitMs);
    rig.set(QStringLiteral("1"));
    QCOMPARE(rig.ptt(), QStringLiteral("1"));
    QProcess unkey;
    // The server's own options are taken, so the unit can pass the same ones.
    unkey.start(QStringLiteral(SONDREL_EXE), {"unkey", "--port", "4444", "--rigctld", rig.address()});
    QVERIFY(unkey.waitForFinished(kWaitMs));
    QCOMPARE(unkey.exitCode(), 0);
    QCOMPARE(rig.ptt(), QStringLiteral("0"));

    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    unkey.start(QStringLiteral(SONDREL_EXE),
                {"unkey", "--rigctld", QStringLiteral("127.0.0.1:%1").arg(silent.serverPort())});
    QVERIFY(unkey.waitForFinished(kWaitMs));
    QVERIFY(unkey.exitCode() != 0);
    const QString error = QString::fromUtf8(unkey.readAllStandardError());
    QVERIFY2(error.contains(QStringLiteral("cannot unkey through rigctld")), qPrintable(error));
}

void TestServer::soundServerRoundTrip()
{
    PrivatePulse pulse;
    QString why;
    if (!pulse.start(&why))
        QSKIP(qPrintable(why));
    // The transmitter's audio goes out on the right channel, as Pelorin can ask.
    const fw::SettingsStore pelorin(keys::kClassicProfile, keys::kOrganisation);
    QVERIFY(pelorin.WriteProfileString(keys::kSection, keys::kIf, QStringLiteral("1500.00000")));
    QVERIFY(pelorin.WriteProfileInt(keys::kSection, keys::kReverseOutputChannel, 1));

    const QStringList devices{"--input", "RadioIn", "--output", "Radio"};
    Sondrel sender;
    QVERIFY2(sender.start(devices, pulse.environment()), qPrintable(sender.log()));
    Sondrel right;
    QVERIFY2(right.start(devices + QStringList{"--rx-channel", "right"}, pulse.environment()),
             qPrintable(right.log()));
    Sondrel left;
    QVERIFY2(left.start(devices, pulse.environment()), qPrintable(left.log()));
    Terminal operatorSide;
    Terminal listener;
    Terminal leftListener;
    QVERIFY(operatorSide.open(sender.port()));
    QVERIFY(listener.open(right.port()));
    QVERIFY(leftListener.open(left.port()));

    const QByteArray text("CQ CQ de SONDREL pse k\r");
    operatorSide.send("\x01" + text + "\x01");
    // The sender echoes what it played; the listener decodes it from the sound server.
    QTRY_VERIFY2_WITH_TIMEOUT(operatorSide.heard() == text, qPrintable(sender.log()), kOnAirMs);
    QTRY_VERIFY2_WITH_TIMEOUT(listener.heard().contains(text), listener.received.constData(), kOnAirMs);
    QTRY_VERIFY_WITH_TIMEOUT(sender.log().contains(QStringLiteral("PTT off")), kWaitMs);
    QVERIFY2(!leftListener.heard().contains("SONDREL"), leftListener.received.constData());
}

void TestServer::soundCardKeyingTimes()
{
    PrivatePulse pulse;
    QString why;
    if (!pulse.start(&why))
        QSKIP(qPrintable(why));
    // This process records the sink's monitor through the same server.
    const QProcessEnvironment environment = pulse.environment();
    for (const char* name : {"XDG_RUNTIME_DIR", "PULSE_SERVER"})
        qputenv(name, environment.value(QString::fromLatin1(name)).toUtf8());
    QAudioDevice monitor;
    for (const QAudioDevice& device : QMediaDevices::audioInputs()) {
        if (device.description() == QLatin1String("RadioIn"))
            monitor = device;
    }
    QVERIFY(!monitor.isNull());
    QAudioFormat format;
    format.setSampleRate(48000);
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Float);
    QAudioSource recorder(monitor, format);
    recorder.setBufferSize(format.bytesForDuration(10000));
    QIODevice* recording = recorder.start();
    QVERIFY(recording);

    constexpr int kPttDelayMs = 300;
    Sondrel sender;
    QVERIFY2(sender.start({"--input", "RadioIn", "--output", "Radio", "--ptt-delay", QString::number(kPttDelayMs)},
                          environment),
             qPrintable(sender.log()));
    Terminal terminal;
    QVERIFY(terminal.open(sender.port()));
    QElapsedTimer clock;
    clock.start();
    terminal.send("\x01" "e" "\x01");
    qint64 keyedAt = -1;
    qint64 firstHeard = -1;
    qint64 lastHeard = -1;
    qint64 releasedAt = -1;
    while (releasedAt < 0 && clock.elapsed() < kOnAirMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        sender.process().waitForReadyRead(2);
        const QString log = sender.log();
        if (keyedAt < 0 && log.contains(QStringLiteral("PTT on")))
            keyedAt = clock.elapsed();
        if (log.contains(QStringLiteral("PTT off")))
            releasedAt = clock.elapsed();
        const QByteArray bytes = recording->readAll();
        const auto* samples = reinterpret_cast<const float*>(bytes.constData());
        float peak = 0;
        for (qsizetype i = 0; i < bytes.size() / qsizetype(sizeof(float)); ++i)
            peak = std::max(peak, std::abs(samples[i]));
        if (peak > 0.02f) {
            lastHeard = clock.elapsed();
            if (firstHeard < 0)
                firstHeard = lastHeard;
        }
    }
    const QString times = QStringLiteral("keyed %1, first heard %2, last heard %3, released %4 ms")
                              .arg(keyedAt).arg(firstHeard).arg(lastHeard).arg(releasedAt);
    QVERIFY2(keyedAt >= 0 && firstHeard >= 0 && releasedAt >= 0, qPrintable(times + sender.log()));
    // The sound card buffers 250 ms: the first sample waits the PTT delay, and
    // release waits until the last one has been played, not handed over. The
    // recording lags the sink by up to some tens of milliseconds.
    QVERIFY2(firstHeard - keyedAt >= kPttDelayMs - 20, qPrintable(times));
    QVERIFY2(releasedAt >= lastHeard - 100, qPrintable(times));
    // Nothing of the end was lost to an output closed too early: 32 bits of
    // preamble, "e" with its gap (4 bits) and 32 of postamble, 32 ms each.
    QVERIFY2(lastHeard - firstHeard >= (32 + 4 + 32) * 32 - 40, qPrintable(times));
}

void TestServer::soundCardAbortsReleaseEveryRound()
{
    PrivatePulse pulse;
    QString why;
    if (!pulse.start(&why))
        QSKIP(qPrintable(why));
    Sondrel sender;
    QVERIFY2(sender.start({"--input", "RadioIn", "--output", "Radio", "--ptt-delay", "0"},
                          pulse.environment()),
             qPrintable(sender.log()));
    Terminal terminal;
    QVERIFY(terminal.open(sender.port()));
    const auto count = [&sender](const QString& what) { return sender.log().count(what); };
    const auto released = [&](int times, int ms) {
        if (QTest::qWaitFor([&] { return count(QStringLiteral("PTT off")) == times; }, ms))
            return true;
        std::fprintf(stderr, "%s", qPrintable(sender.log()));
        return false;
    };
    // Each round is keyed, aborted while the output holds its buffer and must
    // be released; a short transmission that ends by itself follows.
    for (int round = 1; round <= 4; ++round) {
        terminal.send("\x01" + QByteArray(200, 'e'));
        QVERIFY(QTest::qWaitFor([&] { return count(QStringLiteral("PTT on")) == 2 * round - 1; },
                                kWaitMs));
        QTest::qWait(300 + 50 * round);
        QElapsedTimer clock;
        clock.start();
        terminal.send("\x02");
        QVERIFY2(released(2 * round - 1, kWaitMs),
                 qPrintable(QStringLiteral("round %1").arg(round)));
        // 100 ms is the goal; the rest is slack for a loaded machine.
        QVERIFY2(
            clock.elapsed() < 400,
            qPrintable(
                QStringLiteral("round %1: released after %2 ms").arg(round).arg(clock.elapsed())));
        terminal.send("\x01"
                      "e"
                      "\x01");
        QVERIFY2(released(2 * round, kOnAirMs),
                 qPrintable(QStringLiteral("round %1, ending by itself").arg(round)));
    }
    // The card itself said the fade was played; the station's guard did not step in.
    QVERIFY2(!sender.log().contains(QStringLiteral("PTT off anyway")), qPrintable(sender.log()));
}

void TestServer::recordingIsDecodedInRealTime()
{
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("right.wav"));
    const QByteArray text("de g4xyz k\r");
    QProcess encode;
    encode.start(QStringLiteral(SONDREL_EXE), {"encode", "--rate", "8000", "--channel", "right", "-o", wav});
    encode.write(text);
    encode.closeWriteChannel();
    QVERIFY(encode.waitForFinished(kWaitMs));
    QCOMPARE(encode.exitCode(), 0);

    Sondrel sondrel;
    QVERIFY2(sondrel.start({"--rx-file", wav, "--rx-channel", "right"}, QProcessEnvironment::systemEnvironment()),
             qPrintable(sondrel.log()));
    Terminal terminal;
    QVERIFY(terminal.open(sondrel.port()));
    QElapsedTimer clock;
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(terminal.heard().contains(text), kOnAirMs);
    // Ten characters and the preamble take about three seconds on the air.
    QVERIFY2(clock.elapsed() > 2000, qPrintable(QString::number(clock.elapsed())));
    QTRY_VERIFY_WITH_TIMEOUT(sondrel.log().contains(QStringLiteral("end of the recording")), kOnAirMs);
}

void TestServer::rejectsBadOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    // PORT is a port that is busy, and a rigctld that accepts and never answers.
    QTest::newRow("port busy") << QStringList{"--loopback", "--port", "PORT"} << "cannot listen on 127.0.0.1:PORT";
    QTest::newRow("port busy, before keying")
        << QStringList{"--loopback", "--port", "PORT", "--rigctld", "127.0.0.1:PORT"} << "cannot listen";
    // --quiet: errors are logged all the same.
    QTest::newRow("rigctld silent at start")
        << QStringList{"--loopback", "--quiet", "--port", "0", "--rigctld", "127.0.0.1:PORT"} << "cannot be opened";
    QTest::newRow("snr nan") << QStringList{"--loopback", "--snr", "nan"} << "invalid --snr";
    QTest::newRow("offset nan") << QStringList{"--loopback", "--offset", "nan"} << "invalid --offset";
    QTest::newRow("rx channel") << QStringList{"--rx-channel", "centre"} << "invalid --rx-channel";
    QTest::newRow("snr without loopback") << QStringList{"--snr", "3"} << "go with --loopback";
    QTest::newRow("both rig and rigctld")
        << QStringList{"--loopback", "--rig", "1", "--rigctld", "127.0.0.1:4532"} << "not both";
    QTest::newRow("profile") << QStringList{"--profile", "pro"} << "invalid profile";
    QTest::newRow("no such recording")
        << QStringList{"--port", "0", "--rx-file", "/nonexistent.wav"} << "nonexistent.wav";
}

void TestServer::rejectsBadOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QTcpServer occupant;
    QVERIFY(occupant.listen(QHostAddress::LocalHost, 0));
    const QString busy = QString::number(occupant.serverPort());
    arguments.replaceInStrings(QStringLiteral("PORT"), busy);
    message.replace(QStringLiteral("PORT"), busy);
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(SONDREL_EXE), arguments);
    QVERIFY(process.waitForFinished(kWaitMs));
    QVERIFY(process.exitCode() != 0);
    const QString error = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(error.contains(message), qPrintable(error));
    // Nothing waits long on a rig that does not answer; a busy port is found
    // before any keying line is touched.
    QVERIFY2(clock.elapsed() < 8000, qPrintable(QString::number(clock.elapsed())));
    if (message == QLatin1String("cannot listen"))
        QVERIFY2(!error.contains(QStringLiteral("PTT")), qPrintable(error));
}

void TestServer::logLinesCarryTheirLevel()
{
    // A rigctld that accepts and never answers: an error after information.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("JOURNAL_STREAM"), QStringLiteral("8:1234"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(SONDREL_EXE), {"--loopback", "--verbose", "--port", "0", "--rigctld",
                                                QStringLiteral("127.0.0.1:%1").arg(silent.serverPort())});
    QVERIFY(process.waitForFinished(kWaitMs));
    const QString log = QString::fromUtf8(process.readAllStandardError());
    const QString time = QStringLiteral("\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d ");
    QVERIFY2(log.contains(QRegularExpression(QStringLiteral("^<6>") + time + QStringLiteral("sondrel: listening on"),
                                             QRegularExpression::MultilineOption)),
             qPrintable(log));
    QVERIFY2(log.contains(QRegularExpression(QStringLiteral("^<3>") + time + QStringLiteral("sondrel: error: PTT"),
                                             QRegularExpression::MultilineOption)),
             qPrintable(log));
}

VARKEL_TEST_MAIN(TestServer, QCoreApplication)
#include "tst_server.moc"
