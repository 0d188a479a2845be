// The session document against a real loopback server: connecting and the
// retry question, the bytes on the wire, draining received data into hints,
// and what happens when the server goes away.

#include "sessionfixture.h"
#include "testenv.h"

#include "resource.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTimer>
#include <QTest>

using fw::MsgAnswer;

namespace {
const QString kRetryQuestion = QStringLiteral("Failed to connect to server\nTry again?");
}

class TestVarkelDoc : public QObject {
    Q_OBJECT
private slots:
    void init() { ClearSettings(QStringLiteral("Varkel")); }

    void connectsBothLinksAndTitles()
    {
        Session s;
        QVERIFY(s.server.Listen());
        PointAt(s.server.Port());
        QVERIFY(s.doc.OnNewDocument());
        QVERIFY(s.doc.IsConnected());
        QVERIFY(s.server.WaitForConnections(2));
        QCOMPARE(s.doc.GetTitle(), QStringLiteral("Connected to Sondrel"));
        QVERIFY(s.doc.RxLink() && s.doc.TxLink());
        QVERIFY(s.prompter.asked.isEmpty());
    }

    void missingHostAndPortUseDefaults()
    {
        Session s;
        s.prompter.QueueAnswer(MsgAnswer::No);
        VarkelStore().WriteProfileInt(keys::kSetup, keys::kPort, FreePort());
        s.doc.OnConnect();
        QCOMPARE(s.doc.Host(), QStringLiteral("localhost"));
        ClearSettings(QStringLiteral("Varkel"));
        QCOMPARE(VarkelStore().GetProfileInt(keys::kSetup, keys::kPort, keys::kDefaultPort), 5555);
    }

    void refusedConnectionAnsweredNo()
    {
        Session s;
        const quint16 port = FreePort();
        PointAt(port);
        QSignalSpy failures(&s.doc, &CVarkelDoc::connectFailed);
        s.prompter.QueueAnswer(MsgAnswer::No);
        QVERIFY(s.doc.OnNewDocument());
        QCOMPARE(s.prompter.asked.size(), 1);
        QCOMPARE(s.prompter.asked[0].text, kRetryQuestion);
        // The question stays short; the log line says where and why.
        QCOMPARE(failures.size(), 1);
        const QString line = failures[0][0].toString();
        QVERIFY2(line.contains(QStringLiteral("127.0.0.1 port %1").arg(port))
                     && line.contains(QStringLiteral("refused"), Qt::CaseInsensitive),
                 qPrintable(line));
        QCOMPARE(s.prompter.asked[0].buttons, fw::MsgButtons::YesNo);
        QVERIFY(!s.doc.IsConnected());
        QVERIFY(!s.doc.RxLink() && !s.doc.TxLink());
        QCOMPARE(s.doc.GetTitle(), QStringLiteral("Disconnected"));
    }

    void retryYesThenServerComesUp()
    {
        Session s;
        const quint16 port = FreePort();
        PointAt(port);
        s.prompter.QueueAnswer(MsgAnswer::Yes, [&] { QVERIFY(s.server.Listen(port)); });
        s.doc.OnConnect();
        QCOMPARE(s.prompter.asked.size(), 1);
        QVERIFY(s.doc.IsConnected());
        QVERIFY(s.server.WaitForConnections(2));
    }

    void portsOutsideTheRangeNeverConnect_data()
    {
        QTest::addColumn<int>("port");
        QTest::newRow("zero") << 0;
        QTest::newRow("negative") << -1;
        QTest::newRow("just above") << 65536;
        QTest::newRow("wraps to 4464 in 16 bits") << 70000;
    }
    void portsOutsideTheRangeNeverConnect()
    {
        QFETCH(int, port);
        Session s;
        // Listen where a 16-bit wrap would land, to catch a silent wrap.
        QTcpServer wrapped;
        wrapped.listen(QHostAddress::LocalHost, quint16(port & 0xFFFF));
        VarkelStore().WriteProfileString(keys::kSetup, keys::kHost, QStringLiteral("127.0.0.1"));
        VarkelStore().WriteProfileInt(keys::kSetup, keys::kPort, port);
        s.prompter.QueueAnswer(MsgAnswer::No);
        s.doc.OnConnect();
        QVERIFY(!s.doc.IsConnected());
        QCOMPARE(s.prompter.asked.size(), 1);
        QCOMPARE(s.prompter.asked[0].text, kRetryQuestion);
        QCoreApplication::processEvents();
        QVERIFY(!wrapped.hasPendingConnections());
    }

    void transmitLinkFailsAnsweredNoLeavesNoLink()
    {
        Session s;
        s.doc.SetConnectTimeoutMs(400);
        QVERIFY(s.server.Listen(0, 0));
        s.server.PauseAccepting();
        PointAt(s.server.Port());
        s.prompter.QueueAnswer(MsgAnswer::No);
        s.doc.OnConnect();
        QCOMPARE(s.prompter.asked.size(), 1);
        QVERIFY(!s.doc.IsConnected());
        QVERIFY(!s.doc.RxLink());
        QVERIFY(!s.doc.TxLink());
        QCOMPARE(s.doc.findChildren<CClientSocket*>().size() <= 2, true);
        // Dropped links are really gone once the event loop has run.
        QTRY_COMPARE_WITH_TIMEOUT(s.doc.findChildren<CClientSocket*>().size(), 0, 2000);
    }

    void receiveLinkClosedDuringTransmitQuestion()
    {
        Session s;
        s.doc.SetConnectTimeoutMs(400);
        QVERIFY(s.server.Listen(0, 0));
        s.server.PauseAccepting();
        PointAt(s.server.Port());
        s.prompter.QueueAnswer(MsgAnswer::Yes, [&] {
            s.server.ResumeAccepting();
            QVERIFY(s.server.WaitForConnections(1));
            s.server.Close(0);
            QVERIFY(WireServer::WaitUntil([&] { return !s.doc.RxLink(); }));
        });
        s.doc.OnConnect();
        // The retry must not go on with a link the session already dropped.
        QCOMPARE(s.prompter.asked.size(), 1);
        QVERIFY(!s.doc.IsConnected());
        QVERIFY(!s.doc.RxLink() && !s.doc.TxLink());
        QCOMPARE(s.doc.GetTitle(), QStringLiteral("Varkel - Disconnected"));
    }

    // The server drops the receive link while the transmit link is still
    // connecting: the session goes down, with the link in the middle of its
    // connect, and that connect must end without touching what is gone.
    void receiveLinkClosedWhileTransmitLinkConnects()
    {
        Session s;
        s.doc.SetConnectTimeoutMs(20000);
        QVERIFY(s.server.Listen(0, 0));
        s.server.PauseAccepting();   // the receive link gets through, the transmit link hangs
        PointAt(s.server.Port());
        bool transmitLinkConnecting = false;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&] {
            if (!transmitLinkConnecting) {
                transmitLinkConnecting = s.doc.TxLink() != nullptr;
                if (transmitLinkConnecting)
                    s.server.ResumeAccepting();
            } else if (s.server.ConnectionCount() > 0) {
                closer.stop();
                s.server.Close(0);
            }
        });
        closer.start(10);
        s.doc.OnConnect();

        QVERIFY2(transmitLinkConnecting, "the transmit link never started to connect");
        QVERIFY(!s.doc.IsConnected());
        QVERIFY(!s.doc.RxLink() && !s.doc.TxLink());
        QCOMPARE(s.doc.GetTitle(), QStringLiteral("Varkel - Disconnected"));
        // No question: nothing was left to retry on.
        QVERIFY(s.prompter.asked.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(s.doc.findChildren<CClientSocket*>().size(), 0, 2000);
    }

    // Signals and closing the window end the program by telling every event
    // loop to stop, and after that no local wait runs at all: a connect still
    // waiting must give up then, not run on to its own timeout.
    void programEndingCutsAConnectShort()
    {
        Session s;
        constexpr int kTimeoutMs = 30000;
        s.doc.SetConnectTimeoutMs(kTimeoutMs);
        QVERIFY(s.server.Listen(0, 0));
        s.server.PauseAccepting();   // the transmit link hangs in its connect
        PointAt(s.server.Port());
        s.prompter.QueueAnswer(MsgAnswer::No);
        QTimer::singleShot(50, qApp, [] { QCoreApplication::exit(0); });
        const QDeadlineTimer timeout(kTimeoutMs);
        s.doc.OnConnect();
        const bool gaveUpEarly = !timeout.hasExpired();
        // Let the application's loop run and end once, so that later waits wait again.
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();

        QVERIFY2(gaveUpEarly, "the connect ran on to its timeout after the program was told to end");
        QVERIFY(!s.doc.IsConnected());
        QVERIFY(!s.doc.RxLink() && !s.doc.TxLink());
    }

    void controlAndTypedBytesGoOnTheTransmitLinkOnly_data()
    {
        QTest::addColumn<QByteArray>("typed");
        QTest::addColumn<bool>("keyed");
        QTest::newRow("letters") << QByteArray("cq de") << false;
        QTest::newRow("line end and backspace") << QByteArray("a\r\b\t\x1b") << false;
        QTest::newRow("ctrl+a keys the transmitter") << QByteArray("\x01") << true;
        QTest::newRow("ctrl+a twice") << QByteArray("\x01x\x01") << false;
        QTest::newRow("ctrl+a then ctrl+b") << QByteArray("\x01x\x02") << false;
        QTest::newRow("ctrl+b alone") << QByteArray("\x02") << false;
        QTest::newRow("high and zero bytes") << QByteArray("\xe9\xff\x80\x00", 4) << false;
    }
    void controlAndTypedBytesGoOnTheTransmitLinkOnly()
    {
        QFETCH(QByteArray, typed);
        QFETCH(bool, keyed);
        Session s;
        QVERIFY(s.Connect());
        for (char c : typed)
            QVERIFY(s.doc.SendChar(static_cast<unsigned char>(c)));
        QVERIFY(s.server.WaitForBytes(1, typed.size()));
        QCOMPARE(s.server.Received(1), typed);
        QCOMPARE(s.server.Received(0), QByteArray());
        // A typed switch byte is just a byte: the command's state stays as it was.
        QVERIFY(!s.doc.IsTransmitting());
        QVERIFY(!s.doc.IsCommandChecked(ID_TRANSMISSION));
        // Typing shows nothing by itself: the pane shows what it typed.
        QVERIFY(s.view.hints.isEmpty());

        // But the server took it as its switch: leaving unkeys a transmitter
        // that typing switched on, and only then.
        s.doc.CloseSession();
        QVERIFY(WireServer::WaitUntil([&] {
            return s.server.Connection(1)->state() == QAbstractSocket::UnconnectedState;
        }));
        QCOMPARE(s.server.Received(1), keyed ? typed + '\x02' : typed);
    }

    void transmissionTogglesAndAbort()
    {
        Session s;
        QVERIFY(s.Connect());
        int refreshes = 0;
        connect(&s.doc, &CVarkelDoc::refreshToolbarRequested, this, [&] { ++refreshes; });
        s.doc.OnTransmission();
        QVERIFY(s.doc.IsTransmitting());
        QVERIFY(s.doc.IsCommandChecked(ID_TRANSMISSION));
        s.doc.OnTransmission();
        QVERIFY(!s.doc.IsCommandChecked(ID_TRANSMISSION));
        s.doc.OnTransmission();
        s.doc.OnAbortTransmission();
        QVERIFY(!s.doc.IsTransmitting());
        QVERIFY(s.server.WaitForBytes(1, 4));
        QCOMPARE(s.server.Received(1), QByteArray("\x01\x01\x01\x02"));
        QCOMPARE(refreshes, 4);
    }

    void drainsBecomeOneHintPerByte_data()
    {
        QTest::addColumn<QByteArray>("burst");
        QTest::newRow("one byte") << QByteArray("A");
        QTest::newRow("A B CR LF") << QByteArray("AB\r\n");
        QTest::newRow("zero byte") << QByteArray("x\0y", 3);
        QTest::newRow("e9") << QByteArray("\xe9");
        QTest::newRow("5000 bytes") << QByteArray(5000, 'q');
    }
    void drainsBecomeOneHintPerByte()
    {
        QFETCH(QByteArray, burst);
        Session s;
        QVERIFY(s.Connect());
        s.server.Send(0, burst);
        QVERIFY(WireServer::WaitUntil([&] { return s.view.hints.size() >= burst.size(); }));
        QCOMPARE(s.view.Chars(hint::kReceived), burst);
        QCOMPARE(s.view.hints.size(), burst.size());
        // A drain takes at most 4096 bytes, so a long burst is shown in parts.
        for (int size : std::as_const(s.view.batchSizes))
            QVERIFY(size <= 4096);
        if (burst.size() > 4096)
            QVERIFY(s.view.batchSizes.size() >= 2);
    }

    void aFloodingServerIsHeldInTheSystemNotInMemory()
    {
        Session s;
        QVERIFY(s.Connect());
        QByteArray flood;
        for (int i = 0; i < 4 * 1024 * 1024; ++i)
            flood.append(char('a' + i % 26));
        s.server.Send(0, flood);
        qint64 mostUnread = 0;
        QVERIFY(WireServer::WaitUntil(
            [&] {
                if (CClientSocket* rx = s.doc.RxLink())
                    mostUnread = qMax(mostUnread, rx->Socket()->bytesAvailable());
                return s.view.hints.size() >= flood.size();
            },
            30000));
        QVERIFY2(mostUnread <= CClientSocket::kReadBufferLimit, qPrintable(QString::number(mostUnread)));
        QVERIFY(s.view.Chars(hint::kReceived) == flood);
    }

    void receivedHintIsSignExtended()
    {
        Session s;
        QVERIFY(s.Connect());
        s.server.Send(1, QByteArray("\xe9" "A"));   // the transmit link is read too
        QVERIFY(WireServer::WaitUntil([&] { return s.view.hints.size() == 2; }));
        QCOMPARE(s.view.hints[0], quint32(0x1001FFE9));
        QCOMPARE(s.view.hints[1], quint32(0x10010041));
    }

    void serverClosingWhileTransmittingUnkeysFirst_data()
    {
        QTest::addColumn<int>("closedLink");
        QTest::newRow("receive link closed") << 0;
        QTest::newRow("transmit link closed") << 1;
    }
    void serverClosingWhileTransmittingUnkeysFirst()
    {
        QFETCH(int, closedLink);
        Session s;
        QVERIFY(s.Connect());
        s.doc.OnTransmission();
        QVERIFY(s.server.WaitForBytes(1, 1));
        s.server.Close(closedLink);
        QVERIFY(WireServer::WaitUntil([&] { return !s.doc.IsConnected() && !s.doc.TxLink(); }));
        QCOMPARE(s.doc.GetTitle(), QStringLiteral("Varkel - Disconnected"));
        QVERIFY(!s.doc.IsTransmitting());
        QVERIFY(!s.doc.IsCommandEnabled(ID_TRANSMISSION));
        QVERIFY(!s.doc.IsCommandChecked(ID_TRANSMISSION));
        QVERIFY(!s.doc.IsCommandEnabled(ID_RECORD_QSO));
        if (closedLink == 0) {
            // The abort byte went out before the transmit link closed.
            QVERIFY(s.server.WaitForBytes(1, 2));
            QCOMPARE(s.server.Received(1), QByteArray("\x01\x02"));
        }
        QVERIFY(WireServer::WaitUntil([&] {
            return s.server.Connection(1)->state() == QAbstractSocket::UnconnectedState;
        }));
    }

    void abortReachesAServerThatHangsUpBothLinksAtOnce()
    {
        Session s;
        s.doc.SetCloseWaitMs(300);
        QVERIFY(s.Connect());
        // Like the stand-in analyzer: the pair goes soon after one link goes.
        connect(s.server.Connection(0), &QTcpSocket::disconnected, this,
                [&] { QTimer::singleShot(50, this, [&] { s.server.Close(1); }); });
        s.doc.OnTransmission();
        QVERIFY(s.server.WaitForBytes(1, 1));
        s.doc.CloseSession();
        QVERIFY(s.server.WaitForBytes(1, 2));
        QCOMPARE(s.server.Received(1), QByteArray("\x01\x02"));
    }

    // A FIN ends only the server's direction: the unkey still reaches it on
    // the link it keeps reading, and then our side closes too.
    void halfClosedLinkStillGetsTheUnkey_data()
    {
        QTest::addColumn<int>("finishedLink");
        QTest::newRow("transmit link") << 1;
        QTest::newRow("receive link") << 0;
    }
    void halfClosedLinkStillGetsTheUnkey()
    {
#ifndef Q_OS_UNIX
        QSKIP("the stand-in server half-closes with a system call");
#else
        QFETCH(int, finishedLink);
        Session s;
        QVERIFY(s.Connect());
        s.doc.OnTransmission();
        QVERIFY(s.server.WaitForBytes(1, 1));
        s.server.ShutdownSending(finishedLink);
        QVERIFY(WireServer::WaitUntil([&] { return !s.doc.IsConnected() && !s.doc.TxLink(); }));
        QVERIFY(WireServer::WaitUntil([&] { return s.server.AtEnd(1); }));
        QCOMPARE(s.server.Received(1), QByteArray("\x01\x02"));
#endif
    }

    // Against a server that reads at the pace of the air, a large macro is cut
    // at its end (and said), and the unkey goes right behind what the system
    // has taken: nothing in the middle is lost, nothing after it is sent.
    void unkeyGoesRightBehindWhatTheSystemTook_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::newRow("Abort") << "abort";
        QTest::newRow("exit") << "exit";
        QTest::newRow("receive link closed by the server") << "lost";
    }
    void unkeyGoesRightBehindWhatTheSystemTook()
    {
        QFETCH(QString, ending);
        QByteArray macro;
        for (int i = 0; macro.size() < 8 * CVarkelDoc::kTransmitQueueLimit; ++i)
            macro += char('a' + i % 26);
        VarkelStore().WriteProfileString(keys::kSetup, keys::kF9Macro, QString::fromLatin1(macro));
        Session s;
        QVERIFY(s.Connect());
        s.server.PauseReading(1);
        s.doc.OnTransmission();
        s.doc.OnMacroF9();
        QCOMPARE(s.prompter.asked.size(), 1);
        QCOMPARE(s.prompter.asked[0].text,
                 QStringLiteral("Macro has been cut to %1 characters!").arg(CVarkelDoc::kTransmitQueueLimit));
        QCOMPARE(s.view.Chars(hint::kTransmitted), macro.left(CVarkelDoc::kTransmitQueueLimit));

        if (ending == QLatin1String("abort")) {
            s.doc.OnAbortTransmission();
            s.doc.SendChar('z');
        } else if (ending == QLatin1String("exit")) {
            s.doc.CloseSession();
        } else {
            s.server.Close(0);
            QVERIFY(WireServer::WaitUntil([&] { return !s.doc.IsConnected() && !s.doc.TxLink(); }));
        }
        s.server.ResumeReading(1);
        const QByteArray tail = ending == QLatin1String("abort") ? "\x02z" : "\x02";
        QVERIFY(WireServer::WaitUntil([&] { return s.server.Received(1).endsWith(tail); }, 10000));
        const QByteArray wire = s.server.Received(1);
        QVERIFY(wire.startsWith('\x01'));
        const QByteArray text = wire.mid(1, wire.size() - 1 - tail.size());
        QVERIFY(text.size() <= CVarkelDoc::kTransmitQueueLimit);
        QCOMPARE(text, macro.left(text.size()));
        if (ending != QLatin1String("abort"))
            QVERIFY(WireServer::WaitUntil([&] { return s.server.AtEnd(1); }));
    }

    void nothingSentBeforeTheCloseIsLost()
    {
        Session s;
        QVERIFY(s.Connect());
        QByteArray burst;
        for (int i = 0; i < 12000; ++i)
            burst.append(char('a' + i % 26));
        s.server.Send(0, burst);
        s.server.Close(0);
        QVERIFY(WireServer::WaitUntil([&] { return !s.doc.IsConnected(); }));
        QCOMPARE(s.view.Chars(hint::kReceived), burst);
    }

    void sendAfterResetIsSilent()
    {
        Session s;
        QVERIFY(s.Connect());
        s.server.Reset(1);
        s.doc.SendChar('x');
        QVERIFY(WireServer::WaitUntil([&] { return !s.doc.IsConnected(); }));
        QVERIFY(!s.doc.SendChar('y'));
        QVERIFY(s.prompter.asked.isEmpty());
    }

    void exitWhileTransmittingSendsAbort()
    {
        WireServer server;
        QVERIFY(server.Listen());
        PointAt(server.Port());
        ScriptedPrompter prompter;
        {
            CVarkelDoc doc(prompter);
            doc.SetCloseWaitMs(10);
            doc.OnConnect();
            QVERIFY(server.WaitForConnections(2));
            doc.OnTransmission();
        }
        QVERIFY(server.WaitForBytes(1, 2));
        QCOMPARE(server.Received(1), QByteArray("\x01\x02"));
    }

    void commandStates_data()
    {
        QTest::addColumn<unsigned>("id");
        QTest::addColumn<bool>("enabledWhileDisconnected");
        QTest::newRow("Connect") << ID_CONNECT << true;
        QTest::newRow("Setup") << ID_SETUP << true;
        QTest::newRow("Clear Windows") << ID_CLEAR_WINDOWS << true;
        QTest::newRow("Record QSO") << ID_RECORD_QSO << false;
        QTest::newRow("Send Textfile") << ID_SEND_TEXTFILE << false;
        QTest::newRow("Transmission") << ID_TRANSMISSION << false;
        QTest::newRow("Abort") << ID_ABORT_TRANSMISSION << false;
        QTest::newRow("F9") << ID_MACRO_F9 << false;
        QTest::newRow("F10") << ID_MACRO_F10 << false;
        QTest::newRow("F11") << ID_MACRO_F11 << false;
        QTest::newRow("F12") << ID_MACRO_F12 << false;
    }
    void commandStates()
    {
        QFETCH(unsigned, id);
        QFETCH(bool, enabledWhileDisconnected);
        Session s;
        QVERIFY(s.doc.HandlesCommand(id));
        QCOMPARE(s.doc.IsCommandEnabled(id), enabledWhileDisconnected);
        QVERIFY(s.Connect());
        QVERIFY(s.doc.IsCommandEnabled(id));
        QVERIFY(!s.doc.IsCommandChecked(id));
    }

    void fileNewKeepsALiveSession()
    {
        Session s;
        QVERIFY(s.Connect());
        s.doc.OnFileNew();
        QVERIFY(s.doc.IsConnected());
        QCOMPARE(s.doc.GetTitle(), QStringLiteral("Connected to Sondrel"));
        QCOMPARE(s.server.ConnectionCount(), 2);
        QVERIFY(s.prompter.asked.isEmpty());
    }

    void clearWindowsHint()
    {
        Session s;
        s.doc.OnClearWindows();
        QCOMPARE(s.view.hints, QList<quint32>{0x10020000});
    }
};

VARKEL_TEST_MAIN(TestVarkelDoc, QCoreApplication)
#include "tst_varkeldoc.moc"
