// The document base (views, hints, File New/Open/Save) and the clean exit on
// a termination signal.

#include "cleanexit.h"
#include "document.h"
#include "scriptedprompter.h"
#include "testenv.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace {
class Recorder : public fw::CView {
public:
    void OnUpdate(fw::CView*, quint32 h) override { hints.append(h); }
    void OnBeginUpdateBatch() override { events.append(QStringLiteral("begin")); }
    void OnEndUpdateBatch() override { events.append(QStringLiteral("end")); }
    QList<quint32> hints;
    QStringList events;
};

class CountingDoc : public fw::CDocument {
public:
    using fw::CDocument::CDocument;
    bool OnNewDocument() override
    {
        ++newDocuments;
        SetTitle(QStringLiteral("Fresh"));
        return fw::CDocument::OnNewDocument();
    }
    int newDocuments = 0;
};
} // namespace

class TestDocument : public QObject {
    Q_OBJECT
private slots:
    void hintsReachEveryViewButTheSender()
    {
        ScriptedPrompter prompter;
        fw::CDocument doc(prompter);
        Recorder a, b;
        doc.AddView(&a);
        doc.AddView(&b);
        doc.UpdateAllViews(nullptr, 0x10010041);
        doc.UpdateAllViews(&a, 7);
        QCOMPARE(a.hints, QList<quint32>{0x10010041});
        QCOMPARE(b.hints, (QList<quint32>{0x10010041, 7}));
        {
            Recorder gone;
            doc.AddView(&gone);
        }
        QCOMPARE(doc.Views().size(), 2);   // a destroyed view leaves the list
    }

    void nestedBatchesReachViewsOnce()
    {
        ScriptedPrompter prompter;
        fw::CDocument doc(prompter);
        Recorder view;
        doc.AddView(&view);
        {
            fw::CDocument::UpdateBatch outer(doc);
            {
                fw::CDocument::UpdateBatch inner(doc);
                doc.UpdateAllViews(nullptr, 1);
            }
            QCOMPARE(view.events, QStringList{QStringLiteral("begin")});
        }
        QCOMPARE(view.events, (QStringList{QStringLiteral("begin"), QStringLiteral("end")}));
    }

    void fileOpenNamesTheDocumentAndSkipsNewDocument()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("session.lum"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        ScriptedPrompter prompter;
        CountingDoc doc(prompter);
        prompter.QueueFile(path);
        doc.OnFileOpen();
        QCOMPARE(doc.GetTitle(), QStringLiteral("session.lum"));
        QCOMPARE(doc.newDocuments, 0);
        doc.OnFileNew();
        QCOMPARE(doc.newDocuments, 1);
        QCOMPARE(doc.GetTitle(), QStringLiteral("Fresh"));
        QVERIFY(doc.GetPathName().isEmpty());
    }

    void fileOpenOfAMissingFileIsReported()
    {
        ScriptedPrompter prompter;
        CountingDoc doc(prompter);
        doc.SetTitle(QStringLiteral("Before"));
        prompter.QueueFile(QStringLiteral("/no/such/file"));
        doc.OnFileOpen();
        QCOMPARE(prompter.asked.size(), 1);
        QCOMPARE(doc.GetTitle(), QStringLiteral("Before"));
    }

    void fileSaveAsksOnceThenReusesTheName()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("saved.lum"));
        ScriptedPrompter prompter;
        fw::CDocument doc(prompter);
        prompter.QueueFile(path);
        doc.OnFileSave();
        QVERIFY(QFile::exists(path));
        QCOMPARE(QFile(path).size(), 0);
        QCOMPARE(doc.GetTitle(), QStringLiteral("saved.lum"));
        doc.OnFileSave();
        QCOMPARE(prompter.fileQuestions, 1);
    }

    void fileSaveNeverEmptiesTheOpenedFileUnasked_data()
    {
        QTest::addColumn<bool>("chooseAnotherName");
        QTest::newRow("save cancelled") << false;
        QTest::newRow("saved under another name") << true;
    }
    void fileSaveNeverEmptiesTheOpenedFileUnasked()
    {
        QFETCH(bool, chooseAnotherName);
        QTemporaryDir dir;
        const QString opened = dir.filePath(QStringLiteral("PSK310007.txt"));
        const QByteArray qso("\r\n>>\r\nCQ CQ de TEST\r\n<<\r\nTEST de DL1AB\r\n");
        {
            QFile file(opened);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(qso), qso.size());
        }
        ScriptedPrompter prompter;
        fw::CDocument doc(prompter);
        prompter.QueueFile(opened);
        doc.OnFileOpen();
        QCOMPARE(doc.GetTitle(), QStringLiteral("PSK310007.txt"));

        const QString other = dir.filePath(QStringLiteral("other.lum"));
        prompter.QueueFile(chooseAnotherName ? std::optional<QString>(other) : std::nullopt);
        doc.OnFileSave();
        QCOMPARE(prompter.fileQuestions, 2);   // the open, and the name to save under
        QFile file(opened);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), qso);
        QCOMPARE(QFile::exists(other), chooseAnotherName);
        QCOMPARE(doc.GetTitle(),
                 chooseAnotherName ? QStringLiteral("other.lum") : QStringLiteral("PSK310007.txt"));
    }

    void terminationSignalArrivesOnTheEventLoop_data()
    {
        QTest::addColumn<int>("sig");
#ifdef Q_OS_UNIX
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
#endif
    }
    void terminationSignalArrivesOnTheEventLoop()
    {
#ifndef Q_OS_UNIX
        QSKIP("no POSIX signals here");
#else
        QFETCH(int, sig);
        QObject context;
        int calls = 0;
        QVERIFY(fw::InstallCleanExit(&context, [&] { ++calls; }));
        ::raise(sig);
        QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 2000);
#endif
    }
};

VARKEL_TEST_MAIN(TestDocument, QCoreApplication)
#include "tst_document.moc"
