// The station console's API against the real sondrel playing a recording of
// two stations 50 Hz apart: both are listed, a tune moves the receiver (and
// the transmitter unless locked) and the terminal then copies the station
// tuned to, the stream carries rows, bad requests get a reason and change
// nothing, the token rule holds and a tune holds until Pelorin's IF changes.

#include "driverkeys.h"
#include "settingsstore.h"
#include "sondrelprocess.h"
#include "testenv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebSocket>
#include <QtTest>

namespace keys = pelorin::keys;

namespace {

constexpr int kWaitMs = 10000;
// The finder needs a few seconds of a station before it lists it.
constexpr int kFindMs = 25000;

// A sondrel with its console on a free port of its own.
class Sondrel : public SondrelProcess {
public:
    bool start(const QStringList& arguments)
    {
        m_consolePort = freePort();
        return SondrelProcess::start(arguments, QProcessEnvironment::systemEnvironment(), m_consolePort);
    }
    quint16 linkPort() const { return port(); }
    QString url(const QString& path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_consolePort).arg(path);
    }

private:
    quint16 m_consolePort = 0;
};

struct Reply {
    int status = 0;
    QJsonDocument json;
};

class Client {
public:
    Reply request(const QString& url, const QByteArray& method = "GET",
                  const QByteArray& body = QByteArray(),
                  const QByteArray& contentType = "application/json",
                  const QByteArray& bearer = QByteArray())
    {
        QNetworkRequest request{QUrl(url)};
        if (!body.isEmpty() || method == "POST")
            request.setRawHeader("Content-Type", contentType);
        if (!bearer.isEmpty())
            request.setRawHeader("Authorization", "Bearer " + bearer);
        QNetworkReply* reply = m_manager.sendCustomRequest(request, method, body);
        QSignalSpy finished(reply, &QNetworkReply::finished);
        finished.wait(kWaitMs);
        Reply result{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                     QJsonDocument::fromJson(reply->readAll())};
        reply->deleteLater();
        return result;
    }
    QJsonObject status(const Sondrel& sondrel)
    {
        return request(sondrel.url("/api/status")).json.object();
    }
    QJsonArray signalList(const Sondrel& sondrel)
    {
        return request(sondrel.url("/api/signals")).json.array();
    }
    Reply post(const Sondrel& sondrel, const QString& path, const QJsonObject& body)
    {
        return request(sondrel.url(path), "POST", QJsonDocument(body).toJson());
    }

private:
    QNetworkAccessManager m_manager;
};

// The listed station nearest `hz`, or an empty object.
QJsonObject signalNear(const QJsonArray& list, double hz)
{
    for (const QJsonValue& value : list) {
        if (std::abs(value[QStringLiteral("hz")].toDouble() - hz) < 5)
            return value.toObject();
    }
    return QJsonObject();
}

} // namespace

class TestConsole : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void listsTunesAndCopiesTheWeakerStation();
    void badRequestsGetAReasonAndChangeNothing_data();
    void badRequestsGetAReasonAndChangeNothing();
    void tokenRule();
    void transmitterMovesOnlyAfterItsTransmission();
    void tuneHoldsUntilPelorinsIfChanges();

private:
    QTemporaryDir m_dir;
    QString m_recording;
    Client m_client;
};

void TestConsole::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_recording = m_dir.filePath(QStringLiteral("band.wav"));
    QCOMPARE(QProcess::execute(QStringLiteral(MAKE_BAND_EXE), {m_recording, "60"}), 0);
}

void TestConsole::listsTunesAndCopiesTheWeakerStation()
{
    Sondrel sondrel;
    QVERIFY2(sondrel.start({"--rx-file", m_recording}), qPrintable(sondrel.log()));
    Terminal terminal;
    QVERIFY(terminal.open(sondrel.linkPort()));

    QWebSocket stream;
    QSignalSpy texts(&stream, &QWebSocket::textMessageReceived);
    QSignalSpy rows(&stream, &QWebSocket::binaryMessageReceived);
    stream.open(QUrl(sondrel.url("/ws").replace(QStringLiteral("http:"), QStringLiteral("ws:"))));

    QJsonArray list;
    QTRY_VERIFY_WITH_TIMEOUT(!signalNear(list = m_client.signalList(sondrel), 1000).isEmpty()
                                 && !signalNear(list, 1050).isEmpty(),
                             kFindMs);
    const QJsonObject strong = signalNear(list, 1000);
    const QJsonObject weak = signalNear(list, 1050);
    QVERIFY(strong[QStringLiteral("snr_db")].toDouble()
            > weak[QStringLiteral("snr_db")].toDouble() + 5);
    auto copies = [&](double hz, const char* call) {
        return signalNear(m_client.signalList(sondrel), hz)[QStringLiteral("text")]
            .toString()
            .contains(call);
    };
    QTRY_VERIFY_WITH_TIMEOUT(copies(1050, "W1AW") && copies(1000, "DL2ABC"), kWaitMs);

    // The stream: a hello naming the bins, then rows of one byte a bin.
    QVERIFY(!texts.isEmpty());
    const QJsonObject hello = QJsonDocument::fromJson(texts.first().first().toString().toUtf8())
                                  .object();
    QCOMPARE(hello[QStringLiteral("type")].toString(), QStringLiteral("hello"));
    const double binHz = hello[QStringLiteral("bin_hz")].toDouble();
    QVERIFY(binHz > 0 && binHz <= 4);
    QVERIFY(rows.size() >= 10);
    const QByteArray row = rows.last().first().toByteArray();
    QVERIFY(row.size() * binHz > 3500);
    // The strong station's carrier stands well above the band's noise.
    QVERIFY(quint8(row[qsizetype(1000 / binHz)]) > quint8(row[qsizetype(2500 / binHz)]) + 10);

    const double weakHz = weak[QStringLiteral("hz")].toDouble();
    const Reply tuned = m_client.post(sondrel, QStringLiteral("/api/tune"), {{"hz", weakHz}});
    QCOMPARE(tuned.status, 200);
    QCOMPARE(tuned.json[QStringLiteral("rx_hz")].toDouble(), std::round(weakHz * 10) / 10);
    QCOMPARE(tuned.json[QStringLiteral("tx_hz")].toDouble(),
             tuned.json[QStringLiteral("rx_hz")].toDouble());
    QTest::qWait(300); // what the old receiver had on its way
    terminal.heard().clear();
    QTRY_VERIFY_WITH_TIMEOUT(terminal.heard().count("W1AW") >= 3, kFindMs);
    const QByteArray copied = terminal.heard().mid(terminal.heard().indexOf("W1AW"));
    QVERIFY2(!copied.contains("DL2ABC"), copied.constData());
    QTRY_VERIFY_WITH_TIMEOUT(texts.size() > 1
                                 && texts.last().first().toString().contains("\"type\":\"status\""),
                             kWaitMs);

    // A squelch above the station's S/N holds its text back from the terminal.
    QCOMPARE(m_client.post(sondrel, QStringLiteral("/api/settings"), {{"squelch", 20}}).status,
             200);
    QTest::qWait(300); // what was on its way before
    terminal.heard().clear();
    QTest::qWait(3000);
    QVERIFY2(terminal.heard().isEmpty(), terminal.heard().constData());
    QCOMPARE(
        m_client.post(sondrel, QStringLiteral("/api/settings"), {{"squelch", QJsonValue()}}).status,
        200);
    QTRY_VERIFY_WITH_TIMEOUT(!terminal.heard().isEmpty(), kWaitMs);

    // With the transmitter locked only the receiver moves.
    QCOMPARE(m_client.post(sondrel, QStringLiteral("/api/settings"), {{"tx_lock", true}}).status,
             200);
    const QJsonObject locked = m_client.post(sondrel, QStringLiteral("/api/tune"), {{"hz", 1000}})
                                   .json.object();
    QCOMPARE(locked[QStringLiteral("rx_hz")].toDouble(), 1000.0);
    QCOMPARE(locked[QStringLiteral("tx_hz")].toDouble(), std::round(weakHz * 10) / 10);
}

void TestConsole::badRequestsGetAReasonAndChangeNothing_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    const QByteArray json("application/json");
    QTest::newRow("tune by GET") << "/api/tune" << QByteArray("GET") << json << QByteArray() << 405;
    QTest::newRow("status by POST")
        << "/api/status" << QByteArray("POST") << json << QByteArray("{}") << 405;
    QTest::newRow("not JSON") << "/api/tune" << QByteArray("POST") << json
                              << QByteArray("{\"hz\": 12") << 400;
    QTest::newRow("an array") << "/api/tune" << QByteArray("POST") << json << QByteArray("[1250]")
                              << 400;
    QTest::newRow("hz a string") << "/api/tune" << QByteArray("POST") << json
                                 << QByteArray("{\"hz\": \"1250\"}") << 400;
    QTest::newRow("hz too high") << "/api/tune" << QByteArray("POST") << json
                                 << QByteArray("{\"hz\": 9000}") << 400;
    QTest::newRow("hz below 0") << "/api/tune" << QByteArray("POST") << json
                                << QByteArray("{\"hz\": -5}") << 400;
    QTest::newRow("extra field") << "/api/tune" << QByteArray("POST") << json
                                 << QByteArray("{\"hz\": 1250, \"x\": 1}") << 400;
    QTest::newRow("plain text") << "/api/tune" << QByteArray("POST") << QByteArray("text/plain")
                                << QByteArray("{\"hz\": 1250}") << 415;
    QTest::newRow("huge") << "/api/tune" << QByteArray("POST") << json
                          << QByteArray("{\"hz\": 1250, \"pad\": \"" + QByteArray(100000, 'x')
                                        + "\"}")
                          << 413;
    QTest::newRow("no setting") << "/api/settings" << QByteArray("POST") << json << QByteArray("{}")
                                << 400;
    QTest::newRow("afc a number") << "/api/settings" << QByteArray("POST") << json
                                  << QByteArray("{\"afc\": 1}") << 400;
    // The good field of a request with a bad one is not taken either.
    QTest::newRow("one bad of two") << "/api/settings" << QByteArray("POST") << json
                                    << QByteArray("{\"tx_lock\": true, \"squelch\": 99}") << 400;
    QTest::newRow("level above 0") << "/api/settings" << QByteArray("POST") << json
                                   << QByteArray("{\"tx_level_db\": 3}") << 400;
    QTest::newRow("unknown setting")
        << "/api/settings" << QByteArray("POST") << json << QByteArray("{\"ptt\": true}") << 400;
}

void TestConsole::badRequestsGetAReasonAndChangeNothing()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    Sondrel sondrel;
    QVERIFY2(sondrel.start({"--rx-file", m_recording}), qPrintable(sondrel.log()));
    QJsonObject before = m_client.status(sondrel);
    const Reply reply = m_client.request(sondrel.url(path), method, body, contentType);
    QCOMPARE(reply.status, status);
    QVERIFY(!reply.json[QStringLiteral("error")].toString().isEmpty());
    QJsonObject after = m_client.status(sondrel);
    for (const char* measured : {"input_dbfs", "overload", "rx_carrier_hz", "snr_db", "imd_db"}) {
        before.remove(QLatin1String(measured));
        after.remove(QLatin1String(measured));
    }
    QCOMPARE(after, before);
    QCOMPARE(sondrel.process().state(), QProcess::Running);
}

void TestConsole::tokenRule()
{
    {
        QProcess refused;
        refused.start(QStringLiteral(SONDREL_EXE),
                      {"--rx-file", m_recording, "--console-host", "0.0.0.0"});
        QVERIFY(refused.waitForFinished(kWaitMs));
        QCOMPARE(refused.exitCode(), 2);
        QVERIFY(refused.readAllStandardError().contains("--console-token"));
    }
    Sondrel sondrel;
    QVERIFY2(sondrel.start({"--rx-file", m_recording, "--console-token", "s3cret"}),
             qPrintable(sondrel.log()));
    QCOMPARE(m_client.request(sondrel.url("/api/status")).status, 401);
    QCOMPARE(m_client.request(sondrel.url("/")).status, 401);
    QCOMPARE(m_client.request(sondrel.url("/api/status?token=wrong")).status, 401);
    QCOMPARE(m_client.request(sondrel.url("/api/status"), "GET", {}, {}, "s3cre").status, 401);
    QCOMPARE(m_client.request(sondrel.url("/api/tune"), "POST", "{\"hz\": 1200}").status, 401);
    QCOMPARE(m_client.request(sondrel.url("/api/status?token=s3cret")).status, 200);
    QCOMPARE(m_client.request(sondrel.url("/?token=s3cret")).status, 200);
    QCOMPARE(m_client
                 .request(sondrel.url("/api/tune"), "POST", "{\"hz\": 1200}", "application/json",
                          "s3cret")
                 .status,
             200);

    // The stream without the token is closed before it says anything.
    const QString ws = sondrel.url("/ws").replace(QStringLiteral("http:"), QStringLiteral("ws:"));
    QWebSocket stranger;
    QSignalSpy strangerClosed(&stranger, &QWebSocket::disconnected);
    QSignalSpy strangerTexts(&stranger, &QWebSocket::textMessageReceived);
    stranger.open(QUrl(ws));
    QVERIFY(strangerClosed.wait(kWaitMs));
    QVERIFY(strangerTexts.isEmpty());
    QWebSocket viewer;
    QSignalSpy viewerTexts(&viewer, &QWebSocket::textMessageReceived);
    viewer.open(QUrl(ws + QStringLiteral("?token=s3cret")));
    QVERIFY(viewerTexts.wait(kWaitMs));
}

void TestConsole::tuneHoldsUntilPelorinsIfChanges()
{
    const fw::SettingsStore pelorin(keys::kClassicProfile, keys::kOrganisation);
    QVERIFY(pelorin.WriteProfileString(keys::kSection, keys::kIf, QStringLiteral("1500.00000")));
    Sondrel sondrel;
    QVERIFY2(sondrel.start({"--rx-file", m_recording}), qPrintable(sondrel.log()));
    QCOMPARE(m_client.status(sondrel)[QStringLiteral("rx_hz")].toDouble(), 1500.0);
    QCOMPARE(m_client.post(sondrel, QStringLiteral("/api/tune"), {{"hz", 1050}}).status, 200);

    auto pairIs = [&](bool on) {
        return m_client.status(sondrel)[QStringLiteral("pair")].toBool() == on;
    };
    {
        Terminal first;
        QVERIFY(first.open(sondrel.linkPort()));
        QTRY_VERIFY_WITH_TIMEOUT(pairIs(true), kWaitMs);
    }
    QTRY_VERIFY_WITH_TIMEOUT(pairIs(false), kWaitMs);
    {
        Terminal second;
        QVERIFY(second.open(sondrel.linkPort()));
        QTRY_VERIFY_WITH_TIMEOUT(pairIs(true), kWaitMs);
        QCOMPARE(m_client.status(sondrel)[QStringLiteral("rx_hz")].toDouble(), 1050.0);
        QCOMPARE(m_client.status(sondrel)[QStringLiteral("tx_hz")].toDouble(), 1050.0);
    }
    QTRY_VERIFY_WITH_TIMEOUT(pairIs(false), kWaitMs);

    QVERIFY(pelorin.WriteProfileString(keys::kSection, keys::kIf, QStringLiteral("1200.00000")));
    Terminal third;
    QVERIFY(third.open(sondrel.linkPort()));
    QTRY_VERIFY_WITH_TIMEOUT(pairIs(true), kWaitMs);
    QCOMPARE(m_client.status(sondrel)[QStringLiteral("rx_hz")].toDouble(), 1200.0);
    QCOMPARE(m_client.status(sondrel)[QStringLiteral("tx_hz")].toDouble(), 1200.0);
}

void TestConsole::transmitterMovesOnlyAfterItsTransmission()
{
    Sondrel sondrel;
    QVERIFY2(sondrel.start({"--loopback"}), qPrintable(sondrel.log()));
    Terminal terminal;
    QVERIFY(terminal.open(sondrel.linkPort()));
    auto status = [&](const char* field) { return m_client.status(sondrel)[QLatin1String(field)]; };
    const double before = status("tx_hz").toDouble();
    terminal.transmit.write("\x01tune test");
    terminal.transmit.flush();
    QTRY_VERIFY_WITH_TIMEOUT(status("transmitting").toBool(), kWaitMs);
    const QJsonObject tuned = m_client.post(sondrel, QStringLiteral("/api/tune"), {{"hz", 1500}})
                                  .json.object();
    QCOMPARE(tuned[QStringLiteral("rx_hz")].toDouble(), 1500.0);
    QCOMPARE(tuned[QStringLiteral("tx_hz")].toDouble(), before);
    QVERIFY(tuned[QStringLiteral("transmitting")].toBool());
    terminal.transmit.write("\x01");
    terminal.transmit.flush();
    QTRY_VERIFY_WITH_TIMEOUT(!status("transmitting").toBool(), kFindMs);
    QCOMPARE(status("tx_hz").toDouble(), 1500.0);
}

VARKEL_TEST_MAIN(TestConsole, QCoreApplication)
#include "tst_console.moc"
