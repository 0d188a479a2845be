// A termination signal ends the program within a second whatever its main
// thread is doing: a program stuck in a system call still sends its last
// word (the unkey) and ends; one that serves the signal leaves its own way.
// The program under test is this executable, started again as a probe.

#include "cleanexit.h"
#include "testenv.h"
#include "wireserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

const QString kProbe = QStringLiteral("--probe");

// Connects to `port`, arms the unkey on that link and either serves signals
// from its event loop or sleeps without ever coming back to it.
int RunProbe(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTcpSocket link;
    link.connectToHost(QStringLiteral("127.0.0.1"), quint16(args.value(3).toUInt()));
    if (!link.waitForConnected(5000))
        return 2;
    QObject context;
    if (!fw::InstallCleanExit(&context, [] { QCoreApplication::exit(0); }))
        return 3;
    fw::ArmLastResortByte(link.socketDescriptor(), '\x02');
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    if (args.value(2) == QLatin1String("serving"))
        return app.exec();
    for (;;)
        std::this_thread::sleep_for(std::chrono::hours(1));
}

} // namespace

class TestCleanExit : public QObject {
    Q_OBJECT
private slots:
    void signalEndsTheProgramWithinASecond_data()
    {
        QTest::addColumn<QString>("mainThread");
        QTest::addColumn<QByteArray>("lastWord");
        QTest::newRow("stuck: the watch unkeys and ends it") << "stuck" << QByteArray("\x02");
        QTest::newRow("serving: it leaves its own way") << "serving" << QByteArray();
    }
    void signalEndsTheProgramWithinASecond()
    {
#ifndef Q_OS_UNIX
        QSKIP("signals are a Unix matter");
#else
        QFETCH(QString, mainThread);
        QFETCH(QByteArray, lastWord);
        WireServer server;
        QVERIFY(server.Listen());
        QProcess probe;
        probe.start(QCoreApplication::applicationFilePath(),
                    {kProbe, mainThread, QString::number(server.Port())});
        QVERIFY(probe.waitForStarted());
        QVERIFY(WireServer::WaitUntil([&] { return probe.canReadLine(); }, 10000));
        QCOMPARE(probe.readLine(), QByteArray("ready\n"));
        QVERIFY(server.WaitForConnections(1));

        QElapsedTimer clock;
        clock.start();
        probe.terminate();
        const bool ended = probe.waitForFinished(1000);
        const qint64 took = clock.elapsed();
        if (!ended) {
            probe.kill();
            probe.waitForFinished();
        }
        QVERIFY2(ended, "the probe was still running a second after SIGTERM");
        QVERIFY(took < 1000);
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), 0);
        QVERIFY(WireServer::WaitUntil([&] { return server.AtEnd(0); }));
        QCOMPARE(server.Received(0), lastWord);
#endif
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && QString::fromLocal8Bit(argv[1]) == kProbe)
        return RunProbe(argc, argv);
    IsolateTestEnvironment();
    QCoreApplication app(argc, argv);
    TestCleanExit test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cleanexit.moc"
