// Keying through Hamlib: the dummy rig over CAT, a rigctld daemon asked back
// by Hamlib's own rigctl, and the RTS and DTR lines of a real serial port
// where the machine has one, including a process that dies keyed. The keying
// thread: a rigctld that stops answering holds no caller and is unkeyed once
// it answers again; one that restarts is found again.

#include "station/ptt.h"
#include "station/pttline.h"
#include "testenv.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QtTest>
#include <memory>
#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

using sondrel::Ptt;
using sondrel::PttLine;
using sondrel::PttConfig;

namespace {

constexpr int kWaitMs = 5000;
const QString kSerialDevice = QStringLiteral("/dev/ttyS0");

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The modem lines of ttyS0 as the kernel reports them, e.g. "RTS|CTS|DTR".
QString serialLines()
{
    QFile file(QStringLiteral("/proc/tty/driver/serial"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("0: ") && !line.contains("uart:unknown"))
            return QString::fromLatin1(line.split(' ').last());
    }
    return QString();
}

bool keyedLines(const QString& lines)
{
    return lines.split(QLatin1Char('|')).contains(QStringLiteral("RTS"))
        && lines.split(QLatin1Char('|')).contains(QStringLiteral("DTR"));
}

bool lowLines(const QString& lines)
{
    return !lines.split(QLatin1Char('|')).contains(QStringLiteral("RTS"))
        && !lines.split(QLatin1Char('|')).contains(QStringLiteral("DTR"));
}

} // namespace

class TestPtt : public QObject {
    Q_OBJECT
private slots:
    void dummyRigKeysOverCat();
    void rigctldIsKeyedAndReleased();
    void stoppedOrRestartedRigctldHoldsNoCaller();
    void serialLinesKeyAndDropWithTheProcess();
};

void TestPtt::dummyRigKeysOverCat()
{
    PttLine ptt({PttConfig::Kind::Cat, QString(), 1, QString()});
    QVERIFY2(ptt.open(), qPrintable(ptt.errorString()));
    QVERIFY(!ptt.reportedKeyed());
    QVERIFY(ptt.set(true));
    QVERIFY(ptt.reportedKeyed());
    QVERIFY(ptt.set(false));
    QVERIFY(!ptt.reportedKeyed());

    PttLine unknown({PttConfig::Kind::Cat, QString(), 999999, QString()});
    QVERIFY(!unknown.open());
    QVERIFY(!unknown.set(true));
    QVERIFY(!unknown.errorString().isEmpty());
}

void TestPtt::rigctldIsKeyedAndReleased()
{
    const QString rigctld = QStandardPaths::findExecutable(QStringLiteral("rigctld"));
    const QString rigctl = QStandardPaths::findExecutable(QStringLiteral("rigctl"));
    if (rigctld.isEmpty() || rigctl.isEmpty())
        QSKIP("rigctld and rigctl (libhamlib-utils) are not installed");
    const QString port = QString::number(freePort());
    QProcess daemon;
    daemon.start(rigctld, {"-m", "1", "-P", "RIG", "-T", "127.0.0.1", "-t", port});
    QVERIFY(daemon.waitForStarted(kWaitMs));
    const QString address = QStringLiteral("127.0.0.1:") + port;
    auto asked = [&] {
        QProcess ask;
        ask.start(rigctl, {"-m", "2", "-r", address, "t"});
        ask.waitForFinished(kWaitMs);
        return QString::fromLatin1(ask.readAllStandardOutput()).trimmed();
    };

    {
        PttLine ptt({PttConfig::Kind::Rigctld, QString(), 0, address});
        QTRY_VERIFY_WITH_TIMEOUT(ptt.open(), kWaitMs);
        QCOMPARE(asked(), QStringLiteral("0"));
        QVERIFY2(ptt.set(true), qPrintable(ptt.errorString()));
        QCOMPARE(asked(), QStringLiteral("1"));
        QVERIFY(ptt.set(false));
        QCOMPARE(asked(), QStringLiteral("0"));
        QVERIFY(ptt.set(true));
    }
    QCOMPARE(asked(), QStringLiteral("0"));  // going away unkeys
    daemon.terminate();
    daemon.waitForFinished(kWaitMs);
}

void TestPtt::stoppedOrRestartedRigctldHoldsNoCaller()
{
#ifdef Q_OS_UNIX
    const QString rigctld = QStandardPaths::findExecutable(QStringLiteral("rigctld"));
    const QString rigctl = QStandardPaths::findExecutable(QStringLiteral("rigctl"));
    if (rigctld.isEmpty() || rigctl.isEmpty())
        QSKIP("rigctld and rigctl (libhamlib-utils) are not installed");
    const QString port = QString::number(freePort());
    const QString address = QStringLiteral("127.0.0.1:") + port;
    auto daemon = std::make_unique<QProcess>();
    auto startDaemon = [&] {
        daemon = std::make_unique<QProcess>();
        daemon->start(rigctld, {"-m", "1", "-P", "RIG", "-T", "127.0.0.1", "-t", port});
        return daemon->waitForStarted(kWaitMs);
    };
    auto asked = [&] {
        QProcess ask;
        ask.start(rigctl, {"-m", "2", "-r", address, "t"});
        ask.waitForFinished(kWaitMs);
        return QString::fromLatin1(ask.readAllStandardOutput()).trimmed();
    };
    QVERIFY(startDaemon());
    QTRY_COMPARE_WITH_TIMEOUT(asked(), QStringLiteral("0"), kWaitMs);

    Ptt ptt({PttConfig::Kind::Rigctld, QString(), 0, address});
    QSignalSpy opened(&ptt, &Ptt::opened);
    QSignalSpy changed(&ptt, &Ptt::changed);
    QSignalSpy failed(&ptt, &Ptt::failed);
    ptt.open();
    QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 1, kWaitMs);
    QVERIFY(opened.first().first().toBool());
    ptt.set(true);
    QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 1, kWaitMs);
    QCOMPARE(asked(), QStringLiteral("1"));

    // Stopped, the daemon still accepts connections but never answers.
    ::kill(pid_t(daemon->processId()), SIGSTOP);
    QElapsedTimer clock;
    clock.start();
    ptt.set(false);
    QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, Ptt::kAnswerMs + 2000);
    // Answering again, it is unkeyed without being asked twice.
    ::kill(pid_t(daemon->processId()), SIGCONT);
    QTRY_VERIFY_WITH_TIMEOUT(changed.size() == 2 && !changed.last().first().toBool(), kWaitMs);
    QCOMPARE(asked(), QStringLiteral("0"));

    // A new daemon on the same port: the next keying finds it.
    daemon->kill();
    daemon->waitForFinished(kWaitMs);
    QVERIFY(startDaemon());
    QTRY_COMPARE_WITH_TIMEOUT(asked(), QStringLiteral("0"), kWaitMs);
    ptt.set(true);
    QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 3, kWaitMs);
    QVERIFY(changed.last().first().toBool());
    QCOMPARE(asked(), QStringLiteral("1"));
    ptt.set(false);
    QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 4, kWaitMs);
    QCOMPARE(asked(), QStringLiteral("0"));
    daemon->terminate();
    daemon->waitForFinished(kWaitMs);
#else
    QSKIP("stops the daemon with SIGSTOP");
#endif
}

void TestPtt::serialLinesKeyAndDropWithTheProcess()
{
#ifdef Q_OS_LINUX
    QFile consoles(QStringLiteral("/proc/consoles"));
    // The kernel never hangs up its own console, and its lines are not ours to toggle.
    if (consoles.open(QIODevice::ReadOnly) && consoles.readAll().startsWith("ttyS0 "))
        QSKIP("ttyS0 is the system console");
    if (serialLines().isNull() || !QFile(kSerialDevice).open(QIODevice::ReadWrite))
        QSKIP("no serial port ttyS0 to key");
    {
        PttLine ptt({PttConfig::Kind::SerialLines, kSerialDevice, 0, QString()});
        QVERIFY2(ptt.open(), qPrintable(ptt.errorString()));
        QVERIFY2(lowLines(serialLines()), qPrintable(serialLines()));
        for (int round = 0; round < 2; ++round) {
            QVERIFY(ptt.set(true));
            QVERIFY2(keyedLines(serialLines()), qPrintable(serialLines()));
            QVERIFY(ptt.set(false));
            QVERIFY2(lowLines(serialLines()), qPrintable(serialLines()));
        }
    }

    int ready[2];
    QCOMPARE(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        PttLine ptt({PttConfig::Kind::SerialLines, kSerialDevice, 0, QString()});
        const char ok = ptt.open() && ptt.set(true) ? '1' : '0';
        if (::write(ready[1], &ok, 1) == 1)
            ::pause();
        ::_exit(1);
    }
    char ok = 0;
    QCOMPARE(::read(ready[0], &ok, 1), ssize_t(1));
    QCOMPARE(ok, '1');
    QVERIFY2(keyedLines(serialLines()), qPrintable(serialLines()));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    QVERIFY2(lowLines(serialLines()), qPrintable(serialLines()));
#else
    QSKIP("serial lines are checked through Linux's /proc");
#endif
}

VARKEL_TEST_MAIN(TestPtt, QCoreApplication)
#include "tst_ptt.moc"
