// The analyzer's link pair over real loopback sockets: the bound on queued
// text holds the terminal back instead of dropping its bytes, and a pair that
// ends while transmitting is aborted before it goes.

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
    void fullQueueLeavesTheLinkUnread();
    void endingPairAbortsTransmissionFirst_data();
    void endingPairAbortsTransmissionFirst();
};

void TestLinkServer::fullQueueLeavesTheLinkUnread()
{
    constexpr qsizetype kBound = 16;
    LinkServer server(kBound);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QSignalSpy switched(&server, &LinkServer::transmissionSwitched);
    Pair pair;
    QVERIFY(pair.open(server.serverPort()));

    QByteArray typed;
    for (int i = 0; i < 100; ++i)
        typed += char('a' + i % 26);
    pair.transmit.write(typed + LinkServer::kToggle);
    QTRY_COMPARE_WITH_TIMEOUT(server.queue().size(), kBound, kWaitMs);
    QTest::qWait(100);
    QCOMPARE(server.queue(), typed.first(kBound));
    QCOMPARE(switched.count(), 0);  // the toggle waits behind the text

    QByteArray taken;
    QTRY_VERIFY_WITH_TIMEOUT((taken += server.takeQueued(kBound), switched.count() == 1), kWaitMs);
    taken += server.takeQueued(kBound);
    QCOMPARE(taken, typed);
    QVERIFY(server.transmitting());
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

VARKEL_TEST_MAIN(TestLinkServer, QCoreApplication)
#include "tst_linkserver.moc"
