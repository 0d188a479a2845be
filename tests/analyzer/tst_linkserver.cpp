// The analyzer's link pair over real loopback sockets: control bytes act
// however much text waits before them, text beyond the bound is refused and
// the operator told, a pair that ends while transmitting is aborted before it
// goes, and a lone first connection does not wait forever.

#include "link/linkserver.h"
#include "testenv.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

using sondrel::LinkServer;

namespace {

constexpr int kWaitMs = 5000;

struct Pair {
    QTcpSocket receive;
    QTcpSocket transmit;
    bool open(quint16 port)
    {
        receive.connectToHost(QHostAddress::LocalHost, port);
        if (!receive.waitForConnected(kWaitMs))
            return false;
        transmit.connectToHost(QHostAddress::LocalHost, port);
        return transmit.waitForConnected(kWaitMs);
    }
};

} // namespace

class TestLinkServer : public QObject {
    Q_OBJECT
private slots:
    void controlBytesActBehindRefusedText();
    void endingPairAbortsTransmissionFirst_data();
    void endingPairAbortsTransmissionFirst();
    void loneConnectionIsClosed();
};

// A paste far beyond the bound, an abort behind it, then more typing.
void TestLinkServer::controlBytesActBehindRefusedText()
{
    constexpr qsizetype kBound = 1000;
    constexpr qsizetype kPasted = 400 * 1000;
    LinkServer server(kBound);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QSignalSpy aborted(&server, &LinkServer::transmissionAborted);
    qsizetype longest = 0;
    connect(&server, &LinkServer::textQueued, this,
            [&] { longest = std::max(longest, server.queue().size()); });
    Pair pair;
    QVERIFY(pair.open(server.serverPort()));

    const QByteArray pasted(kPasted, 'p');
    pair.transmit.write("\x01" + pasted + "\x02" + "\x01tail");
    QTRY_VERIFY_WITH_TIMEOUT(server.queue() == "tail", kWaitMs);
    QCOMPARE(aborted.count(), 1);
    QVERIFY(server.transmitting());
    QCOMPARE(longest, kBound);
    QCOMPARE(server.transmitBytesRead(), kPasted + 7);

    const QByteArray told = QStringLiteral(
                                "[sondrel: queue full (%1 characters): %2 characters refused, "
                                "from \"pppppppppppppppppppppppp...\"]")
                                .arg(kBound)
                                .arg(kPasted - kBound)
                                .toUtf8();
    QByteArray heard;
    QTRY_VERIFY_WITH_TIMEOUT((heard += pair.receive.readAll()).contains(told), kWaitMs);
}

void TestLinkServer::endingPairAbortsTransmissionFirst_data()
{
    QTest::addColumn<bool>("closeReceive");
    QTest::newRow("receive link closes") << true;
    QTest::newRow("transmit link closes") << false;
}

void TestLinkServer::endingPairAbortsTransmissionFirst()
{
    QFETCH(bool, closeReceive);
    LinkServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QStringList order;
    connect(&server, &LinkServer::transmissionAborted, this, [&] { order << "aborted"; });
    connect(&server, &LinkServer::pairEnded, this, [&] { order << "ended"; });
    Pair pair;
    QVERIFY(pair.open(server.serverPort()));
    pair.transmit.write("\x01queued");
    QTRY_VERIFY_WITH_TIMEOUT(server.transmitting() && server.queue() == "queued", kWaitMs);

    (closeReceive ? pair.receive : pair.transmit).disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(order, QStringList({"aborted", "ended"}), kWaitMs);
    QVERIFY(!server.transmitting());
    QVERIFY(server.queue().isEmpty());
}

void TestLinkServer::loneConnectionIsClosed()
{
    LinkServer server;
    server.setPairingTimeout(100);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QTcpSocket lone;
    lone.connectToHost(QHostAddress::LocalHost, server.serverPort());
    QVERIFY(lone.waitForConnected(kWaitMs));
    QTRY_COMPARE_WITH_TIMEOUT(lone.state(), QAbstractSocket::UnconnectedState, kWaitMs);

    // The next terminal's first connection is its receive link again.
    Pair pair;
    QVERIFY(pair.open(server.serverPort()));
    pair.transmit.write("\x01on");
    QTRY_VERIFY_WITH_TIMEOUT(server.transmitting() && server.queue() == "on", kWaitMs);
    QTest::qWait(300);
    QVERIFY(server.hasPair());
}

VARKEL_TEST_MAIN(TestLinkServer, QCoreApplication)
#include "tst_linkserver.moc"
