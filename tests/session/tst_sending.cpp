// Macros and Send Textfile on a real socket: what goes on the wire, what the
// transmit pane is told to show, and the 1000-byte cut.

#include "sessionfixture.h"
#include "testenv.h"

#include "resource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

class TestSending : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    QString WriteFile(const QByteArray& content)
    {
        const QString path = m_dir.filePath(QStringLiteral("text%1.txt").arg(++m_files));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(content);
        return path;
    }
    int m_files = 0;

private slots:
    void init() { ClearSettings(QStringLiteral("Varkel")); }

    void macros_data()
    {
        QTest::addColumn<unsigned>("command");
        QTest::addColumn<QString>("textKey");
        QTest::addColumn<QString>("crKey");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("cr");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("F9 eight chars with CR") << ID_MACRO_F9 << keys::kF9Macro << keys::kF9Cr
                                                << "CQ CQ de" << 1 << QByteArray("CQ CQ de\r\n");
        QTest::newRow("F10 empty with CR") << ID_MACRO_F10 << keys::kF10Macro << keys::kF10Cr << ""
                                           << 1 << QByteArray("\r\n");
        QTest::newRow("F11 without CR") << ID_MACRO_F11 << keys::kF11Macro << keys::kF11Cr
                                        << "73 sk" << 0 << QByteArray("73 sk");
        QTest::newRow("F12 any nonzero CR") << ID_MACRO_F12 << keys::kF12Macro << keys::kF12Cr
                                            << "k" << 7 << QByteArray("k\r\n");
        QTest::newRow("high bytes") << ID_MACRO_F9 << keys::kF9Macro << keys::kF9Cr
                                    << QStringLiteral("\u00e9\u20ac\u00ff") << 0
                                    << QByteArray("\xe9\x80\xff");
        QTest::newRow("no placeholders") << ID_MACRO_F9 << keys::kF9Macro << keys::kF9Cr
                                         << "%s <call> \\n" << 0 << QByteArray("%s <call> \\n");
    }
    void macros()
    {
        QFETCH(unsigned, command);
        QFETCH(QString, textKey);
        QFETCH(QString, crKey);
        QFETCH(QString, text);
        QFETCH(int, cr);
        QFETCH(QByteArray, wire);
        // Every macro key holds a different text so a mix-up of keys shows.
        for (const QString& key : {keys::kF9Macro, keys::kF10Macro, keys::kF11Macro, keys::kF12Macro})
            VarkelStore().WriteProfileString(keys::kSetup, key, QStringLiteral("wrong ") + key);
        VarkelStore().WriteProfileString(keys::kSetup, textKey, text);
        VarkelStore().WriteProfileInt(keys::kSetup, crKey, cr);
        Session s;
        QVERIFY(s.Connect());
        QVERIFY(s.doc.OnCommand(command));
        QVERIFY(s.server.WaitForBytes(1, wire.size()));
        QCOMPARE(s.server.Received(1), wire);
        QCOMPARE(s.view.Chars(hint::kTransmitted), wire);
    }

    void macroTextIsReadAtEveryPress()
    {
        Session s;
        QVERIFY(s.Connect());
        VarkelStore().WriteProfileString(keys::kSetup, keys::kF9Macro, QStringLiteral("a"));
        s.doc.OnCommand(ID_MACRO_F9);
        VarkelStore().WriteProfileString(keys::kSetup, keys::kF9Macro, QStringLiteral("b"));
        s.doc.OnCommand(ID_MACRO_F9);
        QVERIFY(s.server.WaitForBytes(1, 2));
        QCOMPARE(s.server.Received(1), QByteArray("ab"));
    }

    void sendCommandsDoNothingWhileDisconnected_data()
    {
        QTest::addColumn<unsigned>("command");
        QTest::newRow("F9") << ID_MACRO_F9;
        QTest::newRow("F12") << ID_MACRO_F12;
        QTest::newRow("Send Textfile") << ID_SEND_TEXTFILE;
    }
    void sendCommandsDoNothingWhileDisconnected()
    {
        QFETCH(unsigned, command);
        VarkelStore().WriteProfileString(keys::kSetup, keys::kF9Macro, QStringLiteral("x"));
        Session s;
        QVERIFY(s.doc.OnCommand(command));
        QVERIFY(s.view.hints.isEmpty());
        QCOMPARE(s.prompter.fileQuestions, 0);
    }

    void sendStringShowsEvenWithoutALink()
    {
        Session s;
        s.doc.SendString("abc");
        QCOMPARE(s.view.Chars(hint::kTransmitted), QByteArray("abc"));
    }

    void textFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<bool>("cut");
        QByteArray nines(999, 'n');
        QByteArray thousand(1000, 't');
        QByteArray fiveThousand;
        for (int i = 0; i < 5000; ++i)
            fiveThousand.append(char('A' + i % 26));
        QByteArray withZeros = QByteArray(500, 'z') + QByteArray(10, '\0') + QByteArray(600, 'y');
        QTest::newRow("999 bytes, no message") << nines << nines << false;
        QTest::newRow("exactly 1000") << thousand << thousand << true;
        QTest::newRow("5000 bytes") << fiveThousand << fiveThousand.left(1000) << true;
        QTest::newRow("zero bytes skipped but counted")
            << withZeros << (QByteArray(500, 'z') + QByteArray(490, 'y')) << true;
        QTest::newRow("raw bytes, any encoding") << QByteArray("\xef\xbb\xbf\xe9\r\n\x01")
                                                 << QByteArray("\xef\xbb\xbf\xe9\r\n\x01") << false;
        QTest::newRow("empty file") << QByteArray() << QByteArray() << false;
        QTest::newRow("lone LF goes out as CR LF")
            << QByteArray("one\ntwo\n\nthree\r\nfour\r\n")
            << QByteArray("one\r\ntwo\r\n\r\nthree\r\nfour\r\n") << false;
        // The limit counts the file's bytes: the added CRs do not count toward it.
        QByteArray lfLines;
        QByteArray crLfLines;
        for (int i = 0; i < 333; ++i) {
            lfLines += "ab\n";
            crLfLines += "ab\r\n";
        }
        QTest::newRow("999 bytes of LF lines, no message") << lfLines << crLfLines << false;
        QTest::newRow("1002 bytes of LF lines, cut after 1000")
            << (lfLines + "cd\n") << (crLfLines + "c") << true;
    }
    void textFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, wire);
        QFETCH(bool, cut);
        Session s;
        QVERIFY(s.Connect());
        s.prompter.QueueFile(WriteFile(content));
        s.doc.OnCommand(ID_SEND_TEXTFILE);
        QVERIFY(s.server.WaitForBytes(1, wire.size()));
        QCOMPARE(s.server.Received(1), wire);
        QCOMPARE(s.view.Chars(hint::kTransmitted), wire);
        // The pane is told of the whole file as one burst.
        QCOMPARE(s.view.batchSizes, QList<int>{int(wire.size())});
        if (cut) {
            QCOMPARE(s.prompter.asked.size(), 1);
            QCOMPARE(s.prompter.asked[0].text, QStringLiteral("File has been cut to 1000 characters!"));
            QCOMPARE(s.prompter.asked[0].icon, fw::MsgIcon::Information);
        } else {
            QVERIFY(s.prompter.asked.isEmpty());
        }
    }

    void fileThatVanishedAfterThePrompt()
    {
        Session s;
        QVERIFY(s.Connect());
        const QString path = WriteFile("gone");
        QFile::remove(path);
        s.prompter.QueueFile(path);
        s.doc.OnSendTextfile();
        QCOMPARE(s.prompter.asked.size(), 1);
        QCOMPARE(s.prompter.asked[0].text, QStringLiteral("Error opening file!"));
        QCOMPARE(s.prompter.asked[0].icon, fw::MsgIcon::Stop);
        QVERIFY(s.view.hints.isEmpty());
    }

    void cancelledPromptSendsNothing()
    {
        Session s;
        QVERIFY(s.Connect());
        s.prompter.QueueFile(std::nullopt);
        s.doc.OnSendTextfile();
        QVERIFY(s.prompter.asked.isEmpty());
        QVERIFY(s.view.hints.isEmpty());
    }

    // A FIFO with no writer, or a device, would hold the window thread in
    // open() or read(): such a name is refused at once, with a message.
    void specialFilesAreRefusedAtOnce_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO with no writer") << "fifo";
        QTest::newRow("device") << "/dev/zero";
    }
    void specialFilesAreRefusedAtOnce()
    {
#ifndef Q_OS_UNIX
        QSKIP("FIFOs and device files are a Unix matter");
#else
        QFETCH(QString, kind);
        QString path = kind;
        if (kind == QLatin1String("fifo")) {
            path = m_dir.filePath(QStringLiteral("fifo%1").arg(++m_files));
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        }
        // Should the terminal wait on the FIFO after all, a writer turns up
        // later, so the fault shows as a failure rather than a hung test.
        std::thread writer([path] {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        });
        Session s;
        QVERIFY(s.Connect());
        s.prompter.QueueFile(path);
        QElapsedTimer clock;
        clock.start();
        s.doc.OnSendTextfile();
        const qint64 took = clock.elapsed();
        writer.join();
        QVERIFY2(took < 1000, qPrintable(QStringLiteral("Send Textfile took %1 ms").arg(took)));
        QCOMPARE(s.prompter.asked.size(), 1);
        QVERIFY(s.prompter.asked[0].text.contains(QStringLiteral("not a regular file")));
        QCOMPARE(s.prompter.asked[0].icon, fw::MsgIcon::Stop);
        QVERIFY(s.view.hints.isEmpty());
#endif
    }

    void unreadableFileIsReportedNotThrown()
    {
#ifdef Q_OS_LINUX
        // A directory is no file to send.
        Session s;
        QVERIFY(s.Connect());
        s.prompter.QueueFile(m_dir.path());
        s.doc.OnSendTextfile();
        QCOMPARE(s.prompter.asked.size(), 1);
        QCOMPARE(s.prompter.asked[0].icon, fw::MsgIcon::Stop);
#else
        QSKIP("needs a path that opens but cannot be read");
#endif
    }
};

VARKEL_TEST_MAIN(TestSending, QCoreApplication)
#include "tst_sending.moc"
