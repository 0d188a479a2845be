// What the installed programs answer on their own command lines: --help and
// --version of every command, and `sondrel devices` without a sound server.

#include "version.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void helpAndVersion_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("expected");
        const QString sondrel = QStringLiteral(SONDREL_EXE);
        const QString sim = QStringLiteral(SONDRELSIM_EXE);
        const QString version = QStringLiteral(VARKEL_VERSION);
        QTest::newRow("sondrel --help") << sondrel << QStringList{"--help"} << "--rx-file";
        QTest::newRow("sondrel --version") << sondrel << QStringList{"--version"} << version;
        QTest::newRow("sondrel devices --help")
            << sondrel << QStringList{"devices", "--help"} << "Usage:";
        QTest::newRow("sondrel-sim --help") << sim << QStringList{"--help"} << "--beacon";
        QTest::newRow("sondrel-sim --version") << sim << QStringList{"--version"} << version;
    }
    void helpAndVersion()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(QString, expected);
        QProcess process;
        // Nothing may reach a sound server or wait on one while asked for help.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent/pulse"));
        process.setProcessEnvironment(env);
        process.start(program, args);
        QVERIFY(process.waitForFinished(30000));
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY2(out.contains(expected), qPrintable(out));
        QVERIFY2(!out.contains(QStringLiteral("devices (--")), "listed devices instead of usage");
    }

    void devicesWithoutASoundServer()
    {
        QTemporaryDir runtime;
        QVERIFY(runtime.isValid());
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("PULSE_SERVER"),
                   QStringLiteral("unix:%1/none").arg(runtime.path()));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(SONDREL_EXE), {QStringLiteral("devices")});
        QVERIFY(process.waitForFinished(30000));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        // 1, unless a sanitizer build reports what the sound library keeps at exit.
        QVERIFY(process.exitCode() != 0);
        QVERIFY2(err.contains(QStringLiteral("no sound server")), qPrintable(err));
        QVERIFY(process.readAllStandardOutput().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
