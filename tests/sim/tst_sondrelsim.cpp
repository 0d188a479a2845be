// The stand-in analyzer server over real loopback sockets: in-process for the
// link pairing, control bytes, echo, pacing and beacon; as the real program
// for its command line, a busy port and shutting down on a signal.

#include "simserver.h"
#include "testenv.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <memory>
#ifdef Q_OS_UNIX
#include <csignal>
#endif

using sim::SimOptions;
using sim::SimServer;

namespace {

constexpr int kWaitMs = 5000;

// Byte strings may hold zeros, so the length comes from the literal itself.
template <std::size_t N>
QByteArray Bytes(const char (&text)[N])
{
    return QByteArray(text, qsizetype(N - 1));
}

// The terminal's side of one session: the receive link opened first, the
// transmit link second, every typed byte in its own send.
class TerminalPair {
public:
    bool Open(quint16 port) { return Connect(m_receive, port) && Connect(m_transmit, port); }
    void Type(const QByteArray& bytes)
    {
        for (const char byte : bytes) {
            m_transmit.write(&byte, 1);
            m_transmit.flush();
        }
    }
    QByteArray Received()
    {
        m_received += m_receive.readAll();
        return m_received;
    }
    QTcpSocket& ReceiveLink() { return m_receive; }
    QTcpSocket& TransmitLink() { return m_transmit; }

private:
    static bool Connect(QTcpSocket& socket, quint16 port)
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(kWaitMs);
    }
    QTcpSocket m_receive;
    QTcpSocket m_transmit;
    QByteArray m_received;
};

std::unique_ptr<SimServer> StartServer(const SimOptions& options)
{
    auto server = std::make_unique<SimServer>(options);
    if (!server->Listen(QHostAddress::LocalHost, 0))
        return nullptr;
    return server;
}

SimOptions Fast()
{
    SimOptions options;
    options.fast = true;
    return options;
}

// The real program, with everything it printed so far.
struct SimProcess {
    QProcess process;
    QString output;

    bool WaitForOutput(const QRegularExpression& pattern, QRegularExpressionMatch* match = nullptr)
    {
        QDeadlineTimer deadline(kWaitMs);
        for (;;) {
            output += QString::fromUtf8(process.readAllStandardOutput());
            const QRegularExpressionMatch found = pattern.match(output);
            if (found.hasMatch()) {
                if (match)
                    *match = found;
                return true;
            }
            if (deadline.hasExpired() || process.state() == QProcess::NotRunning)
                return false;
            process.waitForReadyRead(50);
        }
    }
};

} // namespace

class TestSondrelSim : public QObject {
    Q_OBJECT
private slots:
    void echo_data();
    void echo();
    void abortReportsDroppedBytes_data();
    void abortReportsDroppedBytes();
    void pacing_data();
    void pacing();
    void closingOneLinkClosesTheOther_data();
    void closingOneLinkClosesTheOther();
    void thirdConnectionIsRefused();
    void beaconOnlyWhileNotTransmitting();
    void programReportsPortAndStopsOnSignal_data();
    void programReportsPortAndStopsOnSignal();
    void programRejectsBadOptions_data();
    void programRejectsBadOptions();
};

void TestSondrelSim::echo_data()
{
    QTest::addColumn<int>("msPerBit");  // 0: no pacing
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<QByteArray>("echoed");
    QTest::newRow("typed while transmitting") << 0 << Bytes("\x01" "hello") << Bytes("hello");
    QTest::newRow("typed before the toggle is queued") << 0 << Bytes("hello\x01") << Bytes("hello");
    QTest::newRow("queued, then live") << 0 << Bytes("he\x01" "llo") << Bytes("hello");
    QTest::newRow("toggle off holds the rest") << 0 << Bytes("\x01" "ab\x01" "cd") << Bytes("ab");
    QTest::newRow("toggle on again sends what was held")
        << 0 << Bytes("\x01" "ab\x01" "cd\x01") << Bytes("abcd");
    QTest::newRow("abort drops queued text") << 0 << Bytes("abc\x02\x01" "de") << Bytes("de");
    QTest::newRow("other bytes pass unchanged")
        << 0 << Bytes("\x01\r\n\x08\x00\x7f\xff\x03") << Bytes("\r\n\x08\x00\x7f\xff\x03");
    QTest::newRow("paced, in order") << 20 << Bytes("\x01" "ok\r") << Bytes("ok\r");
    QTest::newRow("paced, abort drops the character on the air")
        << 50 << Bytes("\x01" "abc\x02") << QByteArray();
    QTest::newRow("paced, toggle off keeps the character on the air")
        << 50 << Bytes("\x01" "ab\x01\x01") << Bytes("ab");
    QTest::newRow("paced, toggle off lets the text before it finish, as sondrel does")
        << 20 << Bytes("\x01" "abc\x01" "de") << Bytes("abc");
}

// Once the expected echo is in, abort, toggle on and a marker character follow:
// when the marker comes back, everything the row typed has been dealt with, so
// the echo can be compared whole and nothing held back can still slip out.
void TestSondrelSim::echo()
{
    QFETCH(int, msPerBit);
    QFETCH(QByteArray, typed);
    QFETCH(QByteArray, echoed);
    SimOptions options;
    options.fast = msPerBit == 0;
    options.msPerBit = msPerBit;
    const auto server = StartServer(options);
    QVERIFY(server);
    TerminalPair pair;
    QVERIFY(pair.Open(server->Port()));

    pair.Type(typed);
    QTRY_VERIFY_WITH_TIMEOUT(pair.Received().size() >= echoed.size(), kWaitMs);
    pair.Type(Bytes("\x02\x01#"));
    QTRY_VERIFY_WITH_TIMEOUT(pair.Received().endsWith('#'), kWaitMs);
    QCOMPARE(pair.Received(), echoed + '#');
}

void TestSondrelSim::abortReportsDroppedBytes_data()
{
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<int>("dropped");
    QTest::newRow("nothing queued") << Bytes("\x02") << 0;
    QTest::newRow("three queued") << Bytes("abc\x02") << 3;
    QTest::newRow("sent text is not counted") << Bytes("\x01" "ab\x01" "cde\x02") << 3;
}

void TestSondrelSim::abortReportsDroppedBytes()
{
    QFETCH(QByteArray, typed);
    QFETCH(int, dropped);
    const auto server = StartServer(Fast());
    QVERIFY(server);
    QStringList events;
    connect(server.get(), &SimServer::event, this, [&events](const QString& line) { events << line; });
    TerminalPair pair;
    QVERIFY(pair.Open(server->Port()));

    pair.Type(typed);
    const QString expected = QStringLiteral("%1 queued bytes dropped").arg(dropped);
    QTRY_VERIFY_WITH_TIMEOUT(events.filter(QStringLiteral("abort")).size() == 1, kWaitMs);
    QVERIFY2(events.filter(QStringLiteral("abort")).front().endsWith(expected),
             qPrintable(events.join(QLatin1Char('\n'))));
}

void TestSondrelSim::pacing_data()
{
    QTest::addColumn<bool>("fast");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("atLeastMs");
    // Four characters of four bits each are 480 ms on the air.
    QTest::newRow("paced") << false << QByteArray("eeee") << 300;
    // Paced, this text would take well over a minute.
    QTest::newRow("fast") << true << QByteArray(300, 'Z') << 0;
}

void TestSondrelSim::pacing()
{
    QFETCH(bool, fast);
    QFETCH(QByteArray, text);
    QFETCH(int, atLeastMs);
    SimOptions options;
    options.fast = fast;
    const auto server = StartServer(options);
    QVERIFY(server);
    TerminalPair pair;
    QVERIFY(pair.Open(server->Port()));

    QElapsedTimer clock;
    clock.start();
    pair.Type(Bytes("\x01") + text);
    QTRY_COMPARE_WITH_TIMEOUT(pair.Received(), text, kWaitMs);
    QVERIFY2(clock.elapsed() >= atLeastMs, qPrintable(QString::number(clock.elapsed())));
}

void TestSondrelSim::closingOneLinkClosesTheOther_data()
{
    QTest::addColumn<bool>("closeReceive");
    QTest::newRow("terminal closes the receive link") << true;
    QTest::newRow("terminal closes the transmit link") << false;
}

void TestSondrelSim::closingOneLinkClosesTheOther()
{
    QFETCH(bool, closeReceive);
    const auto server = StartServer(Fast());
    QVERIFY(server);
    TerminalPair first;
    QVERIFY(first.Open(server->Port()));
    // Left transmitting on purpose: the next pair must start with transmission off.
    first.Type(Bytes("\x01" "hi\x01" "held"));
    QTRY_COMPARE_WITH_TIMEOUT(first.Received(), QByteArray("hi"), kWaitMs);
    first.Type(Bytes("\x01"));
    QTRY_COMPARE_WITH_TIMEOUT(first.Received(), QByteArray("hiheld"), kWaitMs);

    QTcpSocket& closed = closeReceive ? first.ReceiveLink() : first.TransmitLink();
    QTcpSocket& other = closeReceive ? first.TransmitLink() : first.ReceiveLink();
    closed.disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(other.state(), QAbstractSocket::UnconnectedState, kWaitMs);

    TerminalPair second;
    QVERIFY(second.Open(server->Port()));
    second.Type(Bytes("\x01" "ok"));
    QTRY_COMPARE_WITH_TIMEOUT(second.Received(), QByteArray("ok"), kWaitMs);
}

void TestSondrelSim::thirdConnectionIsRefused()
{
    const auto server = StartServer(Fast());
    QVERIFY(server);
    TerminalPair pair;
    QVERIFY(pair.Open(server->Port()));
    pair.Type(Bytes("\x01" "a"));
    QTRY_COMPARE_WITH_TIMEOUT(pair.Received(), QByteArray("a"), kWaitMs);

    QTcpSocket intruder;
    intruder.connectToHost(QHostAddress::LocalHost, server->Port());
    QTRY_COMPARE_WITH_TIMEOUT(intruder.state(), QAbstractSocket::UnconnectedState, kWaitMs);

    pair.Type(Bytes("b"));
    QTRY_COMPARE_WITH_TIMEOUT(pair.Received(), QByteArray("ab"), kWaitMs);
}

void TestSondrelSim::beaconOnlyWhileNotTransmitting()
{
    SimOptions options = Fast();
    options.beaconIntervalMs = 40;
    const auto server = StartServer(options);
    QVERIFY(server);
    TerminalPair pair;
    QVERIFY(pair.Open(server->Port()));
    QTRY_VERIFY_WITH_TIMEOUT(pair.Received().contains(options.beaconText), kWaitMs);

    pair.Type(Bytes("\x01" "x"));
    QTRY_VERIFY_WITH_TIMEOUT(pair.Received().endsWith('x'), kWaitMs);
    const qsizetype mark = pair.Received().size();
    QTest::qWait(10 * options.beaconIntervalMs);
    pair.Type(Bytes("y\x01"));
    QTRY_VERIFY_WITH_TIMEOUT(pair.Received().size() > mark, kWaitMs);
    QCOMPARE(pair.Received().mid(mark, 1), QByteArray("y"));

    QTRY_VERIFY_WITH_TIMEOUT(pair.Received().mid(mark).contains(options.beaconText), kWaitMs);
}

void TestSondrelSim::programReportsPortAndStopsOnSignal_data()
{
#ifdef Q_OS_UNIX
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
#endif
}

void TestSondrelSim::programReportsPortAndStopsOnSignal()
{
#ifdef Q_OS_UNIX
    QFETCH(int, signalNumber);
    SimProcess sim;
    sim.process.start(QStringLiteral(SONDRELSIM_EXE), {QStringLiteral("--port"), QStringLiteral("0")});
    QRegularExpressionMatch listening;
    QVERIFY2(sim.WaitForOutput(QRegularExpression(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)\n")),
                               &listening),
             qPrintable(sim.output));
    const quint16 port = listening.captured(1).toUShort();
    QVERIFY(port != 0);

    TerminalPair pair;
    QVERIFY(pair.Open(port));
    pair.Type(Bytes("\x01" "ee"));
    QTRY_COMPARE_WITH_TIMEOUT(pair.Received(), QByteArray("ee"), kWaitMs);
    QVERIFY2(sim.WaitForOutput(QRegularExpression(QStringLiteral(
                 "receive link connected.*\ntransmit link connected.*\ntransmission on.*\n"
                 "sent \"e\" \\(4 bits\\)\nsent \"e\" \\(4 bits\\)\n"))),
             qPrintable(sim.output));

    QCOMPARE(::kill(pid_t(sim.process.processId()), signalNumber), 0);
    QVERIFY(sim.process.waitForFinished(kWaitMs));
    QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(pair.ReceiveLink().state(), QAbstractSocket::UnconnectedState, kWaitMs);
#else
    QSKIP("signals are a POSIX matter");
#endif
}

// "PORT" in the arguments stands for a port that another program holds.
void TestSondrelSim::programRejectsBadOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("port busy") << QStringList{"--port", "PORT"} << "cannot listen on 127.0.0.1:PORT";
    QTest::newRow("port too large") << QStringList{"--port", "65536"} << "invalid port";
    QTest::newRow("port not a number") << QStringList{"--port", "fifty"} << "invalid port";
    QTest::newRow("host not an address") << QStringList{"--host", "no.such.host"} << "invalid host";
    QTest::newRow("beacon of zero seconds") << QStringList{"--beacon", "0"} << "invalid beacon";
    QTest::newRow("beacon not a number") << QStringList{"--beacon", "soon"} << "invalid beacon";
    QTest::newRow("unknown option") << QStringList{"--loud"} << "loud";
}

void TestSondrelSim::programRejectsBadOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QTcpServer occupant;
    QVERIFY(occupant.listen(QHostAddress::LocalHost, 0));
    const QString busyPort = QString::number(occupant.serverPort());
    arguments.replaceInStrings(QStringLiteral("PORT"), busyPort);
    message.replace(QStringLiteral("PORT"), busyPort);

    QProcess process;
    process.start(QStringLiteral(SONDRELSIM_EXE), arguments);
    QVERIFY(process.waitForFinished(kWaitMs));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY(process.exitCode() != 0);
    const QString error = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(error.contains(message), qPrintable(error));
    QVERIFY2(!process.readAllStandardOutput().contains("listening"), "it must not claim to listen");
}

VARKEL_TEST_MAIN(TestSondrelSim, QCoreApplication)
#include "tst_sondrelsim.moc"
