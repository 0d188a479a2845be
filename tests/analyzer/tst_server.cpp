// The real sondrel program: keying follows the links through rigctld with the
// loopback channel (toggle, abort, a lost link and SIGTERM all release PTT),
// and a transmission through a private PulseAudio server comes back decoded
// by a second sondrel listening on the output channel Pelorin chose.

#include "driverkeys.h"
#include "privatepulse.h"
#include "settingsstore.h"
#include "testenv.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <memory>
#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace keys = pelorin::keys;

namespace {

constexpr int kWaitMs = 10000;
// Preamble, a few characters at PSK31's pace and the postamble.
constexpr int kOnAirMs = 20000;

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// One sondrel with the port it reported and everything it logged.
class Sondrel {
public:
    ~Sondrel()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(kWaitMs);
        }
    }
    bool start(const QStringList& arguments, const QProcessEnvironment& environment)
    {
        m_process.setProcessEnvironment(environment);
        m_process.start(QStringLiteral(SONDREL_EXE), QStringList{"--port", "0"} + arguments);
        const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)\n"));
        QDeadlineTimer deadline(kWaitMs);
        while (!deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
            m_process.waitForReadyRead(50);
            m_log += QString::fromUtf8(m_process.readAllStandardError());
            const QRegularExpressionMatch match = listening.match(m_log);
            if (match.hasMatch()) {
                m_port = match.captured(1).toUShort();
                return true;
            }
        }
        return false;
    }
    quint16 port() const { return m_port; }
    QString log()
    {
        m_log += QString::fromUtf8(m_process.readAllStandardError());
        return m_log;
    }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QString m_log;
    quint16 m_port = 0;
};

struct Terminal {
    QTcpSocket receive;
    QTcpSocket transmit;
    QByteArray received;
    bool open(quint16 port)
    {
        receive.connectToHost(QHostAddress::LocalHost, port);
        if (!receive.waitForConnected(kWaitMs))
            return false;
        transmit.connectToHost(QHostAddress::LocalHost, port);
        return transmit.waitForConnected(kWaitMs);
    }
    void send(const QByteArray& bytes)
    {
        transmit.write(bytes);
        transmit.flush();
    }
    QByteArray& heard()
    {
        received += receive.readAll();
        return received;
    }
};

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
    void soundServerRoundTrip();
    void recordingIsDecodedInRealTime();
    void rejectsBadOptions_data();
    void rejectsBadOptions();
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
        arguments << "--tx-limit" << "1";
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
    QTRY_COMPARE_WITH_TIMEOUT(operatorSide.heard(), text, kOnAirMs);
    QTRY_VERIFY2_WITH_TIMEOUT(listener.heard().contains(text), listener.received.constData(), kOnAirMs);
    QTRY_VERIFY_WITH_TIMEOUT(sender.log().contains(QStringLiteral("PTT off")), kWaitMs);
    QVERIFY2(!leftListener.heard().contains("SONDREL"), leftListener.received.constData());
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
    QTest::newRow("port busy") << QStringList{"--loopback", "--port", "PORT"} << "cannot listen on 127.0.0.1:PORT";
    QTest::newRow("rx channel") << QStringList{"--rx-channel", "centre"} << "invalid --rx-channel";
    QTest::newRow("snr without loopback") << QStringList{"--snr", "3"} << "go with --loopback";
    QTest::newRow("both rig and rigctld")
        << QStringList{"--loopback", "--rig", "1", "--rigctld", "127.0.0.1:4532"} << "not both";
    QTest::newRow("profile") << QStringList{"--profile", "pro"} << "invalid profile";
    QTest::newRow("no such recording") << QStringList{"--rx-file", "/nonexistent.wav"} << "nonexistent.wav";
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
    process.start(QStringLiteral(SONDREL_EXE), arguments);
    QVERIFY(process.waitForFinished(kWaitMs));
    QVERIFY(process.exitCode() != 0);
    const QString error = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(error.contains(message), qPrintable(error));
}

VARKEL_TEST_MAIN(TestServer, QCoreApplication)
#include "tst_server.moc"
