// Record QSO against a real folder and a real socket: file names, markers,
// never replacing an earlier log, and a write failure that stops recording
// without ending the session.

#include "sessionfixture.h"
#include "testenv.h"

#include "qsolog.h"
#include "resource.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {
QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}
int StoredIndex()
{
    return VarkelStore().GetProfileInt(keys::kSettings, keys::kLogfileIndex, -1);
}
} // namespace

class TestQsoLog : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString Path(const QString& name) const { return m_dir.filePath(name); }

    void UseLogDirectory()
    {
        VarkelStore().WriteProfileString(keys::kSettings, keys::kLogDirectory, m_dir.path());
    }
    // Types `sent`, then lets the server answer `answer`, and waits for it.
    static void Exchange(Session& s, const QByteArray& sent, const QByteArray& answer)
    {
        for (char c : sent)
            s.doc.SendChar(static_cast<unsigned char>(c));
        if (answer.isEmpty())
            return;
        const auto before = s.view.hints.size();
        s.server.Send(0, answer);
        QVERIFY(WireServer::WaitUntil([&] { return s.view.hints.size() >= before + answer.size(); }));
    }

private slots:
    void init()
    {
        ClearSettings(QStringLiteral("Varkel"));
        QDir dir(m_dir.path());
        for (const QString& name : dir.entryList(QDir::Files))
            dir.remove(name);
    }

    void fileNames_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("name");
        QTest::newRow("first") << 0 << "PSK310000.txt";
        QTest::newRow("42") << 42 << "PSK310042.txt";
        QTest::newRow("four digits") << 9999 << "PSK319999.txt";
        QTest::newRow("five digits written in full") << 12345 << "PSK3112345.txt";
    }
    void fileNames()
    {
        QFETCH(int, index);
        QFETCH(QString, name);
        QCOMPARE(CQsoLog::FileName(index), name);
    }

    void firstLogGoesToTheHomeFolderByDefault()
    {
        Session s;
        QVERIFY(s.Connect());
        s.doc.OnRecordQso();
        QVERIFY(s.doc.IsLogging());
        QVERIFY(s.doc.IsCommandChecked(ID_RECORD_QSO));
        QCOMPARE(s.doc.LogPath(), QDir::homePath() + QStringLiteral("/PSK310000.txt"));
        QCOMPARE(StoredIndex(), 1);
        s.doc.OnRecordQso();
        QVERIFY(!s.doc.IsLogging());
        QVERIFY(QFile::exists(QDir::homePath() + QStringLiteral("/PSK310000.txt")));
        QFile::remove(QDir::homePath() + QStringLiteral("/PSK310000.txt"));
    }

    void storedIndexNamesTheFile_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("name");
        QTest::newRow("42") << 42 << "PSK310042.txt";
        QTest::newRow("five digits") << 54321 << "PSK3154321.txt";
    }
    void storedIndexNamesTheFile()
    {
        QFETCH(int, index);
        QFETCH(QString, name);
        UseLogDirectory();
        VarkelStore().WriteProfileInt(keys::kSettings, keys::kLogfileIndex, index);
        Session s;
        QVERIFY(s.Connect());
        s.doc.OnRecordQso();
        QVERIFY(s.doc.IsLogging());
        QVERIFY(QFile::exists(Path(name)));
        QCOMPARE(StoredIndex(), index + 1);
    }

    // The largest index is used, and the next log wraps to 0.
    void largestIndexWrapsToZero()
    {
        UseLogDirectory();
        VarkelStore().WriteProfileInt(keys::kSettings, keys::kLogfileIndex, std::numeric_limits<int>::max());
        Session s;
        QVERIFY(s.Connect());
        s.doc.OnRecordQso();
        QVERIFY(s.doc.IsLogging());
        QVERIFY(QFile::exists(Path(QStringLiteral("PSK312147483647.txt"))));
        QCOMPARE(StoredIndex(), 0);
        s.doc.OnRecordQso();
        s.doc.OnRecordQso();
        QVERIFY(s.doc.IsLogging());
        QVERIFY(QFile::exists(Path(QStringLiteral("PSK310000.txt"))));
        QCOMPARE(StoredIndex(), 1);
        QVERIFY(s.prompter.asked.isEmpty());
    }

    void missingDirectoryReportsAndKeepsTheIndex()
    {
        VarkelStore().WriteProfileString(keys::kSettings, keys::kLogDirectory,
                                         m_dir.filePath(QStringLiteral("no/such/folder")));
        VarkelStore().WriteProfileInt(keys::kSettings, keys::kLogfileIndex, 7);
        Session s;
        QVERIFY(s.Connect());
        s.doc.OnRecordQso();
        QVERIFY(!s.doc.IsLogging());
        QVERIFY(!s.doc.IsCommandChecked(ID_RECORD_QSO));
        QCOMPARE(s.prompter.asked.size(), 1);
        QCOMPARE(s.prompter.asked[0].text, QStringLiteral("Error opening logfile!"));
        QCOMPARE(s.prompter.asked[0].icon, fw::MsgIcon::None);
        QCOMPARE(StoredIndex(), 7);
    }

    void anEarlierLogIsNeverReplaced()
    {
        UseLogDirectory();
        for (int taken : {3, 4}) {
            QFile old(Path(CQsoLog::FileName(taken)));
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("earlier QSO");
        }
        VarkelStore().WriteProfileInt(keys::kSettings, keys::kLogfileIndex, 3);
        Session s;
        QVERIFY(s.Connect());
        s.doc.OnRecordQso();
        QVERIFY(s.doc.IsLogging());
        QCOMPARE(s.doc.LogPath(), Path(QStringLiteral("PSK310005.txt")));
        QCOMPARE(StoredIndex(), 6);
        QCOMPARE(ReadAll(Path(QStringLiteral("PSK310003.txt"))), QByteArray("earlier QSO"));
        QCOMPARE(ReadAll(Path(QStringLiteral("PSK310004.txt"))), QByteArray("earlier QSO"));
    }

    void markersBetweenDirections()
    {
        UseLogDirectory();
        Session s;
        QVERIFY(s.Connect());
        s.doc.OnRecordQso();
        Exchange(s, "HI", "OK");
        Exchange(s, "\x01", {});   // typed Ctrl+A is a sent byte like any other
        s.doc.OnTransmission();   // the command's control byte is not logged
        s.doc.OnAbortTransmission();
        s.doc.OnRecordQso();
        QCOMPARE(ReadAll(Path(QStringLiteral("PSK310000.txt"))),
                 QByteArray("\r\n>>\r\nHI\r\n<<\r\nOK\r\n>>\r\n\x01"));
    }

    void directionCarriesOverToTheNextLog_data()
    {
        QTest::addColumn<QByteArray>("lastOfFirstLog");   // "tx" or "rx"
        QTest::addColumn<QByteArray>("secondSent");
        QTest::addColumn<QByteArray>("secondReceived");
        QTest::addColumn<QByteArray>("secondLog");
        QTest::newRow("rx then rx: no marker") << QByteArray("rx") << QByteArray() << QByteArray("AB")
                                               << QByteArray("AB");
        QTest::newRow("rx then tx: marker") << QByteArray("rx") << QByteArray("CD") << QByteArray()
                                            << QByteArray("\r\n>>\r\nCD");
        QTest::newRow("tx then tx: no marker") << QByteArray("tx") << QByteArray("EF") << QByteArray()
                                               << QByteArray("EF");
        QTest::newRow("tx then rx: marker") << QByteArray("tx") << QByteArray() << QByteArray("GH")
                                            << QByteArray("\r\n<<\r\nGH");
    }
    void directionCarriesOverToTheNextLog()
    {
        QFETCH(QByteArray, lastOfFirstLog);
        QFETCH(QByteArray, secondSent);
        QFETCH(QByteArray, secondReceived);
        QFETCH(QByteArray, secondLog);
        UseLogDirectory();
        Session s;
        QVERIFY(s.Connect());
        s.doc.OnRecordQso();
        if (lastOfFirstLog == "tx")
            Exchange(s, "x", {});
        else
            Exchange(s, "x", "y");
        s.doc.OnRecordQso();
        s.doc.OnRecordQso();
        Exchange(s, secondSent, secondReceived);
        s.doc.OnRecordQso();
        QCOMPARE(ReadAll(Path(QStringLiteral("PSK310001.txt"))), secondLog);
    }

    void disconnectClosesTheLog()
    {
        UseLogDirectory();
        Session s;
        QVERIFY(s.Connect());
        s.doc.OnRecordQso();
        Exchange(s, "73", {});
        s.server.Close(0);
        QVERIFY(WireServer::WaitUntil([&] { return !s.doc.IsConnected(); }));
        QVERIFY(!s.doc.IsLogging());
        QCOMPARE(ReadAll(Path(QStringLiteral("PSK310000.txt"))), QByteArray("\r\n>>\r\n73"));
    }

    void everyByteReachesTheFileAtOnce()
    {
        UseLogDirectory();
        Session s;
        QVERIFY(s.Connect());
        s.doc.OnRecordQso();
        Exchange(s, "abc", {});
        // No close, no flush: a crash now must not lose what was typed.
        QCOMPARE(ReadAll(Path(QStringLiteral("PSK310000.txt"))), QByteArray("\r\n>>\r\nabc"));
    }

    void writeFailureStopsRecordingOnce()
    {
#ifndef Q_OS_UNIX
        QSKIP("needs a file size limit");
#else
        UseLogDirectory();
        Session s;
        QVERIFY(s.Connect());
        s.doc.OnRecordQso();
        QVERIFY(s.doc.IsLogging());
        Exchange(s, "first", {});
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit saved {};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = 64;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        Exchange(s, {}, QByteArray(100, 'r'));
        Exchange(s, {}, QByteArray(100, 's'));
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &saved), 0);

        QVERIFY(!s.doc.IsLogging());
        QVERIFY(!s.doc.IsCommandChecked(ID_RECORD_QSO));
        QVERIFY(s.doc.IsConnected());
        QCOMPARE(s.prompter.asked.size(), 1);
        QVERIFY(s.prompter.asked[0].text.contains(QStringLiteral("PSK310000.txt")));
        QVERIFY(ReadAll(Path(QStringLiteral("PSK310000.txt"))).startsWith("\r\n>>\r\nfirst"));
        // The session goes on: typing still reaches the wire.
        s.doc.SendChar('k');
        QVERIFY(s.server.WaitForBytes(1, 6));
        QCOMPARE(s.server.Received(1), QByteArray("firstk"));
#endif
    }
};

VARKEL_TEST_MAIN(TestQsoLog, QCoreApplication)
#include "tst_qsolog.moc"
