// One link on its own, against a server in the same process: what it
// signals, in which order, and how much one read takes.

#include "clientsocket.h"
#include "testenv.h"
#include "wireserver.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

namespace {

// A link connected to `server`, with everything it signals written down as
// it is heard: "data:<bytes one read took>" and "closed".
struct Listened {
    CClientSocket link;
    QStringList events;
    QByteArray received;
    int ignore = 0;  // dataReady signals to leave unanswered

    Listened()
    {
        QObject::connect(&link, &CClientSocket::dataReady, &link, [this] {
            if (ignore > 0) {
                --ignore;
                return;
            }
            const QByteArray bytes = link.ReceiveAll();
            events << QStringLiteral("data:%1").arg(bytes.size());
            received += bytes;
        });
        QObject::connect(&link, &CClientSocket::closed, &link,
                         [this] { events << QStringLiteral("closed"); });
    }
    bool Connect(WireServer& server)
    {
        if (!server.Listen() || !link.Connect(QStringLiteral("127.0.0.1"), server.Port(), 5000))
            return false;
        link.Init();
        return server.WaitForConnections(1);
    }
};

} // namespace

class TestClientSocket : public QObject {
    Q_OBJECT
private slots:
    void connectsOnlyToAListeningPortInRange()
    {
        CClientSocket link;
        QVERIFY(!link.Connect(QStringLiteral("127.0.0.1"), 0, 2000));
        QVERIFY(!link.Connect(QStringLiteral("127.0.0.1"), 65536, 2000));
        WireServer closed;
        QVERIFY(closed.Listen());
        const quint16 port = closed.Port();
        closed.Stop();
        QVERIFY(!link.Connect(QStringLiteral("127.0.0.1"), port, 2000));
        QCOMPARE(link.Socket()->state(), QAbstractSocket::UnconnectedState);
    }

    // A read takes at most 4096 bytes; what is left is offered again.
    void aLongBurstIsOfferedIn4096ByteReads()
    {
        WireServer server;
        Listened l;
        QVERIFY(l.Connect(server));
        QByteArray burst;
        for (int i = 0; i < 10000; ++i)
            burst += char('a' + i % 26);
        server.Send(0, burst);
        QVERIFY(WireServer::WaitUntil([&] { return l.received.size() == burst.size(); }));
        QCOMPARE(l.received, burst);
        QVERIFY(l.events.size() >= 3);
        for (const QString& event : std::as_const(l.events))
            QVERIFY2(event.mid(5).toInt() <= 4096, qPrintable(event));
    }

    // Bytes the server sent before hanging up all come before "closed", which
    // comes once, even those nobody took when they were first offered.
    void everythingSentBeforeTheCloseComesFirst()
    {
        WireServer server;
        Listened l;
        QVERIFY(l.Connect(server));
        l.ignore = 1;
        server.Send(0, QByteArray(5000, 'x'));
        QVERIFY(WireServer::WaitUntil([&] { return l.ignore == 0; }));
        server.Close(0);
        QVERIFY(WireServer::WaitUntil([&] { return l.events.contains(QStringLiteral("closed")); }));
        QTest::qWait(100);
        QCOMPARE(l.received.size(), 5000);
        QCOMPARE(l.events, QStringList({"data:4096", "data:904", "closed"}));
    }

    // Our own close is no news: nothing is signalled after it.
    void closingOurselvesSignalsNothing()
    {
        WireServer server;
        Listened l;
        QVERIFY(l.Connect(server));
        l.link.Close();
        server.Send(0, "late");
        server.Close(0);
        QTest::qWait(300);
        QVERIFY2(l.events.isEmpty(), qPrintable(l.events.join(QLatin1Char(' '))));
    }

    void sendsOneByteAtATime()
    {
        WireServer server;
        Listened l;
        QVERIFY(l.Connect(server));
        for (char c : QByteArray("73\x01"))
            l.link.SendByte(static_cast<unsigned char>(c));
        QVERIFY(server.WaitForBytes(0, 3));
        QCOMPARE(server.Received(0), QByteArray("73\x01"));
    }
};

VARKEL_TEST_MAIN(TestClientSocket, QCoreApplication)
#include "tst_clientsocket.moc"
