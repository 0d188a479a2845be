// The programs as an operator meets them: the terminal and the driver
// settings program run on a private X display and get real key events, real
// menu navigation and the real clipboard. The analyzer is a WireServer in this
// process, so every byte on each of the two connections can be checked; one
// case runs the terminal against the stand-in analyzer program instead.

#include "program.h"
#include "qsologfile.h"
#include "wireserver.h"
#include "xsession.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpServer>
#include <QtTest>
#include <csignal>

using namespace e2e;

namespace {

const QString kVarkel = QStringLiteral(VARKEL_EXE);
const QString kPelorin = QStringLiteral(PELORIN_EXE);
const QString kSim = QStringLiteral(SONDRELSIM_EXE);
const QString kSondrel = QStringLiteral(SONDREL_EXE);

const QString kVarkelApp = QStringLiteral("Varkel");
const QString kClassic = QStringLiteral("Sondrel Classic");
const QString kSummit = QStringLiteral("Sondrel Summit");

const QString kConnectedTitle = QStringLiteral("Connected to Sondrel - Varkel");
const QString kNewTitle = QStringLiteral("Disconnected - Varkel");
const QString kLostTitle = QStringLiteral("Varkel - Disconnected - Varkel");
const QString kBoxTitle = QStringLiteral("Varkel");
const QString kPelorinTitle = QStringLiteral("Pelorin");

// Generous: two cores are shared with compilers and other suites.
constexpr int kStartMs = 20000;
constexpr int kWireMs = 5000;
// The terminal waits a second after closing each link.
constexpr int kExitMs = 20000;
// How long a link must stay quiet before "nothing more was sent" is believed.
constexpr int kQuietMs = 400;

QString Show(const QByteArray& bytes)
{
    QString out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r')
            out += QStringLiteral("\\r");
        else if (c == '\n')
            out += QStringLiteral("\\n");
        else if (c == '\\')
            out += QStringLiteral("\\\\");
        else if (u < 0x20 || u >= 0x7f)
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            out += QLatin1Char(c);
    }
    return QLatin1Char('"') + out + QLatin1Char('"');
}

QString LinkName(int index)
{
    return index == 0 ? QStringLiteral("receive link") : QStringLiteral("transmit link");
}

// Waits until the connection has delivered exactly `expected`, then makes
// sure nothing follows for a moment.
bool WaitForWire(WireServer& server, int index, const QByteArray& expected, QString* why,
                 int timeoutMs = kWireMs)
{
    const bool arrived = WireServer::WaitUntil(
        [&] { return server.Received(index).size() >= expected.size(); }, timeoutMs);
    if (arrived)
        Settle(kQuietMs);
    const QByteArray got = server.Received(index);
    if (got == expected)
        return true;
    *why = QStringLiteral("%1: expected %2, got %3%4")
               .arg(LinkName(index), Show(expected), Show(got),
                    arrived ? QString() : QStringLiteral(" after waiting %1 ms").arg(timeoutMs));
    return false;
}

bool StaysSilent(WireServer& server, int index, QString* why)
{
    Settle(kQuietMs);
    const QByteArray got = server.Received(index);
    if (got.isEmpty())
        return true;
    *why = QStringLiteral("%1 should have carried nothing, got %2").arg(LinkName(index), Show(got));
    return false;
}

quint16 FreePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

QString LogPath(const Program& program, int index)
{
    return QDir(program.LogDirectory()).filePath(QStringLiteral("PSK31%1.txt").arg(index, 4, 10, QLatin1Char('0')));
}

// What most terminal cases start from: a stand-in server of their own and
// the terminal pointed at it, with a private log folder.
struct Terminal {
    explicit Terminal(XSession& x) : varkel(x) {}
    WireServer server;
    Program varkel;
    QString window;  // once connected
    QString why;     // what went wrong last
};

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();

    void firstStartConnectsBothLinks();
    void typedTextGoesOutOnTheTransmitLinkOnly();
    void transmissionKeyTwiceSendsToggleTwice();
    void macroKeysSendTheirTextAndLineEnd();
    void pasteSendsCrLfLineEnds();
    void receivedTextShowsInUpperPane();
    void sendTextfileSendsFirst1000Bytes();
    void setupChangesTakeEffectWithoutRestart();
    void recordQsoWritesMarkedLog();
    void serverClosingWhileTransmittingAbortsFirst();
    void exitStoresPlacementAndNextStartRestoresIt();
    void sigtermWhileTransmittingAbortsAndSaves();
    void displayLostWhileTransmittingAborts();
    void retryQuestionAnsweredNoLeavesWindowDisconnected();
    void retryQuestionAnsweredYesConnectsOnceServerListens();

    void pelorinEnterRewritesStoredProfile();
    void pelorinEscapeWritesNothing();
    void pelorinSummitProfileFromArgument();
    void pelorinTypedFrequencyIsStoredRounded();

    void echoFromStandInAnalyzerIsLogged();
    void callComesBackDecodedThroughLoopback();

private:
    // Host and port of `server` and a private log folder in the store.
    void PointAt(Program& program, quint16 port, bool withLogDirectory = true) const;
    // Starts the terminal and waits for its connected window and both links.
    bool StartConnected(Program& program, WireServer& server, QString* window, QString* why);
    // The same for the usual fixture: its server listens and the terminal is
    // pointed at it first.
    bool Start(Terminal& t, bool withLogDirectory = true);
    QString WithOutput(const QString& why, Program& program) const;

    XSession m_x;
};

void TestEndToEnd::initTestCase()
{
    const QStringList missing = MissingTools({QStringLiteral("Xvfb"), QStringLiteral("xdotool")});
    if (!missing.isEmpty())
        QSKIP(qPrintable(QStringLiteral("needs %1 to drive the programs on a virtual display "
                                        "(scripts/test.sh installs them)")
                             .arg(missing.join(QStringLiteral(" and ")))));
    QString why;
    QVERIFY2(m_x.Start(&why), qPrintable(why));
    qInfo("programs run on display %s", qPrintable(m_x.Display()));
}

// In a sanitizer build every run of a program is also a memory check.
void TestEndToEnd::cleanup()
{
    const QStringList reports = Program::TakeSanitizerReports();
    QVERIFY2(reports.isEmpty(), qPrintable(reports.join(QStringLiteral("\n\n"))));
}

void TestEndToEnd::cleanupTestCase()
{
    m_x.Stop();
}

void TestEndToEnd::PointAt(Program& program, quint16 port, bool withLogDirectory) const
{
    program.WriteSetting(kVarkelApp, QStringLiteral("Setup/Host"), QStringLiteral("127.0.0.1"));
    program.WriteSetting(kVarkelApp, QStringLiteral("Setup/Port"), int(port));
    if (withLogDirectory)
        program.WriteSetting(kVarkelApp, QStringLiteral("Settings/Log directory"), program.LogDirectory());
}

QString TestEndToEnd::WithOutput(const QString& why, Program& program) const
{
    const QByteArray output = program.Output().trimmed();
    if (output.isEmpty())
        return why;
    return why + QStringLiteral("\nprogram output:\n") + QString::fromLocal8Bit(output.right(2000));
}

bool TestEndToEnd::StartConnected(Program& program, WireServer& server, QString* window, QString* why)
{
    if (!program.Start(kVarkel, {}, why))
        return false;
    *window = m_x.WaitForWindow(kConnectedTitle, kStartMs, why);
    if (window->isEmpty()) {
        *why = WithOutput(*why, program);
        return false;
    }
    if (!server.WaitForConnections(2, kStartMs)) {
        *why = QStringLiteral("the window says connected, but the server saw %1 connection(s)")
                   .arg(server.ConnectionCount());
        return false;
    }
    return true;
}

bool TestEndToEnd::Start(Terminal& t, bool withLogDirectory)
{
    if (!t.server.Listen()) {
        t.why = QStringLiteral("the stand-in server could not listen");
        return false;
    }
    PointAt(t.varkel, t.server.Port(), withLogDirectory);
    return StartConnected(t.varkel, t.server, &t.window, &t.why);
}

// ---------------------------------------------------------------- terminal

void TestEndToEnd::firstStartConnectsBothLinks()
{
    WireServer server;
    QVERIFY(server.Listen());
    Program varkel(m_x);
    // Nothing in the store but where the server is.
    PointAt(varkel, server.Port(), false);

    QString why;
    QString window;
    QVERIFY2(StartConnected(varkel, server, &window, &why), qPrintable(why));
    QCOMPARE(m_x.WindowName(window), kConnectedTitle);
    Settle(kQuietMs);
    QCOMPARE(server.ConnectionCount(), 2);
    QVERIFY2(StaysSilent(server, 0, &why), qPrintable(why));
    QVERIFY2(StaysSilent(server, 1, &why), qPrintable(why));
    // An empty store places the window at the top left corner, 500 by 300.
    QVERIFY2(m_x.WaitForGeometry(window, Geometry{0, 0, 500, 300, true}, 3000, &why), qPrintable(why));
    QVERIFY(varkel.IsRunning());
}

void TestEndToEnd::typedTextGoesOutOnTheTransmitLinkOnly()
{
    Terminal t(m_x);
    auto& [server, varkel, window, why] = t;
    QVERIFY2(Start(t), qPrintable(why));
    QVERIFY2(m_x.Focus(window, &why), qPrintable(why));

    // The receive pane is active at start and takes no typing.
    QVERIFY2(m_x.Type(QStringLiteral("qrz"), &why), qPrintable(why));
    QVERIFY2(StaysSilent(server, 1, &why), qPrintable("typing into the receive pane: " + why));

    QVERIFY2(m_x.Key({QStringLiteral("F6")}, &why), qPrintable(why));
    QVERIFY2(m_x.Type(QStringLiteral("CQ de E2E 73!?"), &why), qPrintable(why));
    QVERIFY2(WaitForWire(server, 1, "CQ de E2E 73!?", &why), qPrintable(WithOutput(why, varkel)));
    // Enter goes out as a carriage return alone; backspace, tab and Ctrl
    // with a letter as their control codes, 0x01 included.
    QVERIFY2(m_x.Key({QStringLiteral("Return"), QStringLiteral("BackSpace"), QStringLiteral("Tab"),
                      QStringLiteral("ctrl+a")},
                     &why),
             qPrintable(why));
    QVERIFY2(WaitForWire(server, 1, "CQ de E2E 73!?\r\b\t\x01", &why), qPrintable(why));
    QVERIFY2(StaysSilent(server, 0, &why), qPrintable(why));
}

void TestEndToEnd::transmissionKeyTwiceSendsToggleTwice()
{
    Terminal t(m_x);
    auto& [server, varkel, window, why] = t;
    QVERIFY2(Start(t), qPrintable(why));
    QVERIFY2(m_x.Focus(window, &why), qPrintable(why));

    QVERIFY2(m_x.Key({QStringLiteral("F5")}, &why), qPrintable(why));
    QVERIFY2(WaitForWire(server, 1, "\x01", &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("F5")}, &why), qPrintable(why));
    QVERIFY2(WaitForWire(server, 1, "\x01\x01", &why), qPrintable(why));
    QVERIFY2(StaysSilent(server, 0, &why), qPrintable(why));
    QCOMPARE(m_x.WindowName(window), kConnectedTitle);
}

void TestEndToEnd::macroKeysSendTheirTextAndLineEnd()
{
    Terminal t(m_x);
    auto& [server, varkel, window, why] = t;
    varkel.WriteSetting(kVarkelApp, QStringLiteral("Setup/F9 Macro"), QStringLiteral("CQ CQ de E2E"));
    varkel.WriteSetting(kVarkelApp, QStringLiteral("Setup/F9 CR"), 1);
    varkel.WriteSetting(kVarkelApp, QStringLiteral("Setup/F10 Macro"), QStringLiteral("pse k"));
    varkel.WriteSetting(kVarkelApp, QStringLiteral("Setup/F10 CR"), 0);
    // The store holds the keys the way the program reads them.
    QVERIFY(varkel.SettingsText(kVarkelApp).contains("F9%20Macro=CQ CQ de E2E"));

    QVERIFY2(Start(t), qPrintable(why));
    QVERIFY2(m_x.Focus(window, &why), qPrintable(why));

    QVERIFY2(m_x.Key({QStringLiteral("F9")}, &why), qPrintable(why));
    QVERIFY2(WaitForWire(server, 1, "CQ CQ de E2E\r\n", &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("F10")}, &why), qPrintable(why));
    QVERIFY2(WaitForWire(server, 1, "CQ CQ de E2E\r\npse k", &why), qPrintable(why));
    QVERIFY2(StaysSilent(server, 0, &why), qPrintable(why));
}

void TestEndToEnd::pasteSendsCrLfLineEnds()
{
    Terminal t(m_x);
    auto& [server, varkel, window, why] = t;
    QVERIFY2(Start(t), qPrintable(why));

    QVERIFY2(m_x.SetClipboard("73 de E2E\nQRT\n", &why), qPrintable(why));
    QVERIFY2(m_x.Focus(window, &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("F6"), QStringLiteral("ctrl+v")}, &why), qPrintable(why));
    QVERIFY2(WaitForWire(server, 1, "73 de E2E\r\nQRT\r\n", &why), qPrintable(WithOutput(why, varkel)));
    QVERIFY2(StaysSilent(server, 0, &why), qPrintable(why));
}

void TestEndToEnd::receivedTextShowsInUpperPane()
{
    Terminal t(m_x);
    auto& [server, varkel, window, why] = t;
    QVERIFY2(Start(t), qPrintable(why));

    // A carriage return breaks the line, a line feed adds nothing, a
    // backspace takes back the last character, and bytes above 0x7F are
    // characters of the 8-bit code page. Half of it comes on the transmit link,
    // which is shown like the receive link.
    server.Send(0, "AB\r\nCD\bE");
    // The two links are read independently; the pause keeps the halves in order.
    Settle(500);
    server.Send(1, " caf\xE9 \x80");
    QVERIFY2(m_x.SetClipboard("nothing copied yet", &why), qPrintable(why));

    // Select the whole upper pane with the keyboard and copy it.
    QVERIFY2(m_x.Focus(window, &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("ctrl+Home"), QStringLiteral("ctrl+shift+End"), QStringLiteral("ctrl+c")}, &why),
             qPrintable(why));
    const QByteArray shown = QStringLiteral("AB\nCE caf\u00E9 \u20AC").toUtf8();
    QByteArray copied;
    QVERIFY2(SpinUntil([&] { return (copied = m_x.Clipboard()) == shown; }, kWireMs),
             qPrintable(QStringLiteral("the upper pane copied as %1, expected %2").arg(Show(copied), Show(shown))));
    QVERIFY2(StaysSilent(server, 1, &why), qPrintable(why));
}

void TestEndToEnd::sendTextfileSendsFirst1000Bytes()
{
    Terminal t(m_x);
    auto& [server, varkel, window, why] = t;
    QByteArray content;
    for (int i = 0; content.size() < 1500; ++i)
        content += QStringLiteral("line %1 of a long text file\r\n").arg(i).toLatin1();
    content.truncate(1500);
    const QString path = QDir(varkel.Home()).filePath(QStringLiteral("beacon.txt"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
    }
    QVERIFY2(Start(t), qPrintable(why));

    const QStringList before = m_x.MappedWindows();
    QVERIFY2(m_x.MenuCommand(window, QStringLiteral("f"), QStringLiteral("s"), &why), qPrintable(why));
    const QString dialog = m_x.WaitForNewWindow(before, kStartMs, &why);
    QVERIFY2(!dialog.isEmpty(), qPrintable("File > Send Textfile showed no file dialog: " + why));
    QVERIFY2(m_x.Focus(dialog, &why), qPrintable(why));
    QVERIFY2(m_x.Type(path, &why), qPrintable(why));
    // The first Enter may only take the name completion the dialog offers.
    for (int i = 0; i < 3 && m_x.MappedWindows().contains(dialog); ++i) {
        QVERIFY2(m_x.Key({QStringLiteral("Return")}, &why), qPrintable(why));
        SpinUntil([&] { return !m_x.MappedWindows().contains(dialog); }, 1000);
    }
    QVERIFY2(!m_x.MappedWindows().contains(dialog), "the file dialog did not take the typed path");

    QVERIFY2(WaitForWire(server, 1, content.left(1000), &why, kWireMs * 2), qPrintable(why));
    // The operator is told that the file was cut.
    const QString box = m_x.WaitForWindow(kBoxTitle, kWireMs, &why);
    QVERIFY2(!box.isEmpty(), qPrintable("no message about the cut file: " + why));
    QVERIFY2(m_x.Focus(box, &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("Return")}, &why), qPrintable(why));
    QVERIFY2(m_x.WaitForNoWindow(kBoxTitle, kWireMs, &why), qPrintable(why));
    QCOMPARE(server.Received(1).size(), 1000);
    QVERIFY2(StaysSilent(server, 0, &why), qPrintable(why));
}

void TestEndToEnd::setupChangesTakeEffectWithoutRestart()
{
    WireServer first;
    QVERIFY(first.Listen());
    WireServer second;
    QVERIFY(second.Listen());
    Program varkel(m_x);
    PointAt(varkel, first.Port());
    varkel.WriteSetting(kVarkelApp, QStringLiteral("Setup/F9 Macro"), QStringLiteral("old"));
    QString why;
    QString window;
    QVERIFY2(StartConnected(varkel, first, &window, &why), qPrintable(why));

    QVERIFY2(m_x.Focus(window, &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("alt+s")}, &why), qPrintable(why));
    const QString setup = m_x.WaitForWindow(QStringLiteral("Varkel Setup"), kWireMs, &why);
    QVERIFY2(!setup.isEmpty(), qPrintable("Alt+S: " + why));
    QVERIFY2(m_x.Focus(setup, &why), qPrintable(why));
    // OK has the focus; then come Cancel, Host, Port, the four macros and
    // the four line-end boxes.
    QVERIFY2(m_x.Key({QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("ctrl+a")}, &why),
             qPrintable(why));
    QVERIFY2(m_x.Type(QString::number(second.Port()), &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("Tab"), QStringLiteral("ctrl+a")}, &why), qPrintable(why));
    QVERIFY2(m_x.Type(QStringLiteral("QRL? de E2E"), &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Tab"),
                      QStringLiteral("space"), QStringLiteral("Return")},
                     &why),
             qPrintable(why));
    QVERIFY2(m_x.WaitForNoWindow(QStringLiteral("Varkel Setup"), kWireMs, &why), qPrintable(why));
    QCOMPARE(varkel.ReadSetting(kVarkelApp, QStringLiteral("Setup/Port")).toInt(), int(second.Port()));
    QCOMPARE(varkel.ReadSetting(kVarkelApp, QStringLiteral("Setup/F9 Macro")).toString(), QStringLiteral("QRL? de E2E"));
    QCOMPARE(varkel.ReadSetting(kVarkelApp, QStringLiteral("Setup/F9 CR")).toInt(), 1);

    // The macro key reads the store at every press.
    QVERIFY2(m_x.Focus(window, &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("F9")}, &why), qPrintable(why));
    QVERIFY2(WaitForWire(first, 1, "QRL? de E2E\r\n", &why), qPrintable(why));

    // The new port is used by the next Connect, once the old session is gone.
    first.Close(0);
    QVERIFY2(!m_x.WaitForWindow(kLostTitle, kExitMs, &why).isEmpty(), qPrintable(why));
    QVERIFY2(m_x.Focus(window, &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("alt+c")}, &why), qPrintable(why));
    QVERIFY2(!m_x.WaitForWindow(kConnectedTitle, kStartMs, &why).isEmpty(), qPrintable("after Connect: " + why));
    QVERIFY2(second.WaitForConnections(2, kWireMs), "Connect did not open both links to the new port");
    QCOMPARE(first.ConnectionCount(), 2);
}

void TestEndToEnd::recordQsoWritesMarkedLog()
{
    Terminal t(m_x);
    auto& [server, varkel, window, why] = t;
    QVERIFY2(Start(t), qPrintable(why));

    const QString log = LogPath(varkel, 0);
    QVERIFY2(m_x.MenuCommand(window, QStringLiteral("f"), QStringLiteral("r"), &why), qPrintable(why));
    QVERIFY2(SpinUntil([&] { return QFileInfo::exists(log); }, kWireMs),
             qPrintable(WithOutput(QStringLiteral("File > Record QSO made no %1").arg(log), varkel)));
    QCOMPARE(varkel.ReadSetting(kVarkelApp, QStringLiteral("Settings/LogfileIndex")).toInt(), 1);

    QVERIFY2(m_x.Focus(window, &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("F6")}, &why), qPrintable(why));
    QVERIFY2(m_x.Type(QStringLiteral("HI"), &why), qPrintable(why));
    QVERIFY2(WaitForWire(server, 1, "HI", &why), qPrintable(why));
    // The transmission toggle goes on the wire but not into the log.
    QVERIFY2(m_x.Key({QStringLiteral("F5")}, &why), qPrintable(why));
    QVERIFY2(WaitForWire(server, 1, "HI\x01", &why), qPrintable(why));

    server.Send(0, "OK\r\n");
    const QByteArray afterAnswer = "\r\n>>\r\nHI\r\n<<\r\nOK\r\n";
    // Wait for the answer to be taken in before typing again, so the order in
    // the log is the order on the wire.
    QVERIFY2(SpinUntil([&] { return ReadWholeFile(log) == afterAnswer; }, kWireMs),
             qPrintable(QStringLiteral("log after the answer: expected %1, got %2")
                            .arg(Show(afterAnswer), Show(ReadWholeFile(log)))));
    QVERIFY2(m_x.Type(QStringLiteral("73"), &why), qPrintable(why));
    QVERIFY2(WaitForWire(server, 1, "HI\x01" "73", &why), qPrintable(why));
    const QByteArray whole = afterAnswer + "\r\n>>\r\n73";
    QVERIFY2(SpinUntil([&] { return ReadWholeFile(log) == whole; }, kWireMs),
             qPrintable(QStringLiteral("log after the reply: expected %1, got %2")
                            .arg(Show(whole), Show(ReadWholeFile(log)))));

    // Stop recording; what follows stays out of the log.
    QVERIFY2(m_x.MenuCommand(window, QStringLiteral("f"), QStringLiteral("r"), &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("z")}, &why), qPrintable(why));
    QVERIFY2(WaitForWire(server, 1, "HI\x01" "73z", &why), qPrintable(why));
    server.Send(0, "late\r\n");
    Settle(500);
    QCOMPARE(Show(ReadWholeFile(log)), Show(whole));
    QVERIFY(!QFileInfo::exists(LogPath(varkel, 1)));
    QCOMPARE(varkel.ReadSetting(kVarkelApp, QStringLiteral("Settings/LogfileIndex")).toInt(), 1);
}

void TestEndToEnd::serverClosingWhileTransmittingAbortsFirst()
{
    Terminal t(m_x);
    auto& [server, varkel, window, why] = t;
    QVERIFY2(Start(t), qPrintable(why));
    QVERIFY2(m_x.Focus(window, &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("F5")}, &why), qPrintable(why));
    QVERIFY2(WaitForWire(server, 1, "\x01", &why), qPrintable(why));

    server.Close(0);
    QTcpSocket* transmit = server.Connection(1);
    QVERIFY(transmit);
    // The abort byte must be on the transmit connection by the time the
    // terminal closes it.
    QVERIFY2(WireServer::WaitUntil([&] { return transmit->state() == QAbstractSocket::UnconnectedState; },
                                   kExitMs),
             "the terminal did not close the transmit link after the server closed the receive link");
    QCOMPARE(Show(server.Received(1)), Show("\x01\x02"));
    const QString lost = m_x.WaitForWindow(kLostTitle, kWireMs, &why);
    QVERIFY2(!lost.isEmpty(), qPrintable(why));
    QVERIFY(m_x.FindWindows(kConnectedTitle).isEmpty());
    QVERIFY2(varkel.IsRunning(), "the terminal ended when the server closed a link");
}

void TestEndToEnd::exitStoresPlacementAndNextStartRestoresIt()
{
    const Geometry placed{40, 60, 640, 420, true};
    Program varkel(m_x);
    varkel.WriteSetting(kVarkelApp, QStringLiteral("Settings/Height1"), 137);
    QString why;
    {
        WireServer server;
        QVERIFY(server.Listen());
        PointAt(varkel, server.Port());
        QString window;
        QVERIFY2(StartConnected(varkel, server, &window, &why), qPrintable(why));
        QVERIFY2(m_x.MoveResize(window, placed, &why), qPrintable(why));
        QVERIFY2(m_x.MenuCommand(window, QStringLiteral("f"), QStringLiteral("x"), &why), qPrintable(why));
        QVERIFY2(varkel.WaitForExit(kExitMs, &why), qPrintable("after File > Exit: " + why));
        QCOMPARE(varkel.ExitStatus(), QProcess::NormalExit);
        QCOMPARE(varkel.ExitCode(), 0);
    }
    for (const char* key : {"x", "y", "cx", "cy", "Height1", "Height2"})
        QVERIFY2(varkel.HasSetting(kVarkelApp, QStringLiteral("Settings/") + QLatin1String(key)),
                 qPrintable(QStringLiteral("no %1 in [Settings] after File > Exit:\n%2")
                                .arg(QLatin1String(key), QString::fromUtf8(varkel.SettingsText(kVarkelApp)))));
    auto setting = [&](const char* key) {
        return varkel.ReadSetting(kVarkelApp, QStringLiteral("Settings/") + QLatin1String(key)).toInt();
    };
    QCOMPARE(setting("x"), placed.x);
    QCOMPARE(setting("y"), placed.y);
    QCOMPARE(setting("cx"), placed.width);
    QCOMPARE(setting("cy"), placed.height);
    // The lower pane takes what the window gains; the upper one keeps its height.
    QCOMPARE(setting("Height1"), 137);
    QVERIFY2(setting("Height2") > 0, "Height2 stored as no height at all");

    // The next start comes up where the last one ended.
    WireServer server;
    QVERIFY(server.Listen());
    PointAt(varkel, server.Port());
    QString window;
    QVERIFY2(StartConnected(varkel, server, &window, &why), qPrintable(why));
    QVERIFY2(m_x.WaitForGeometry(window, placed, 5000, &why), qPrintable(why));
    QVERIFY2(m_x.MenuCommand(window, QStringLiteral("f"), QStringLiteral("x"), &why), qPrintable(why));
    QVERIFY2(varkel.WaitForExit(kExitMs, &why), qPrintable("after File > Exit: " + why));
    QCOMPARE(setting("x"), placed.x);
    QCOMPARE(setting("y"), placed.y);
    QCOMPARE(setting("cx"), placed.width);
    QCOMPARE(setting("cy"), placed.height);
    QCOMPARE(setting("Height1"), 137);
}

void TestEndToEnd::sigtermWhileTransmittingAbortsAndSaves()
{
#ifndef Q_OS_UNIX
    QSKIP("signals are a Unix matter");
#else
    Terminal t(m_x);
    auto& [server, varkel, window, why] = t;
    QVERIFY2(Start(t), qPrintable(why));
    QVERIFY2(m_x.Focus(window, &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("F5")}, &why), qPrintable(why));
    QVERIFY2(WaitForWire(server, 1, "\x01", &why), qPrintable(why));
    QVERIFY(!varkel.HasSetting(kVarkelApp, QStringLiteral("Settings/cx")));

    QVERIFY(varkel.Signal(SIGTERM));
    QVERIFY2(WaitForWire(server, 1, "\x01\x02", &why, kExitMs),
             qPrintable(WithOutput("after SIGTERM: " + why, varkel)));
    QVERIFY2(varkel.WaitForExit(kExitMs, &why), qPrintable("after SIGTERM: " + why));
    QCOMPARE(varkel.ExitStatus(), QProcess::NormalExit);
    QCOMPARE(varkel.ExitCode(), 0);
    QVERIFY2(WireServer::WaitUntil(
                 [&] { return server.Connection(1)->state() == QAbstractSocket::UnconnectedState; }, kWireMs),
             "the transmit link stayed open after the terminal ended");
    QCOMPARE(Show(server.Received(1)), Show("\x01\x02"));

    auto setting = [&](const char* key) {
        return varkel.ReadSetting(kVarkelApp, QStringLiteral("Settings/") + QLatin1String(key));
    };
    for (const char* key : {"x", "y", "cx", "cy", "Height1", "Height2"})
        QVERIFY2(setting(key).isValid(),
                 qPrintable(QStringLiteral("no %1 in [Settings] after SIGTERM:\n%2")
                                .arg(QLatin1String(key), QString::fromUtf8(varkel.SettingsText(kVarkelApp)))));
    QCOMPARE(setting("x").toInt(), 0);
    QCOMPARE(setting("y").toInt(), 0);
    QCOMPARE(setting("cx").toInt(), 500);
    QCOMPARE(setting("cy").toInt(), 300);
    QCOMPARE(setting("Height1").toInt(), 100);
#endif
}

// The toolkit ends the program on its own when the display goes away (the X
// server ends, a forwarded display drops); no destructor runs then, and the
// transmitter must be unkeyed all the same.
void TestEndToEnd::displayLostWhileTransmittingAborts()
{
    XSession display;   // a display of its own, to be taken away
    QString why;
    QVERIFY2(display.Start(&why), qPrintable(why));
    WireServer server;
    QVERIFY(server.Listen());
    Program varkel(display);
    PointAt(varkel, server.Port());
    QVERIFY2(varkel.Start(kVarkel, {}, &why), qPrintable(why));
    const QString window = display.WaitForWindow(kConnectedTitle, kStartMs, &why);
    QVERIFY2(!window.isEmpty(), qPrintable(WithOutput(why, varkel)));
    QVERIFY(server.WaitForConnections(2, kStartMs));
    QVERIFY2(display.Focus(window, &why), qPrintable(why));
    QVERIFY2(display.Key({QStringLiteral("F5")}, &why), qPrintable(why));
    QVERIFY2(WaitForWire(server, 1, "\x01", &why), qPrintable(why));

    display.Stop();
    QVERIFY2(varkel.WaitForExit(kExitMs, &why), qPrintable("after losing the display: " + why));
    QVERIFY2(WaitForWire(server, 1, "\x01\x02", &why),
             qPrintable(WithOutput("after losing the display: " + why, varkel)));
}

void TestEndToEnd::retryQuestionAnsweredNoLeavesWindowDisconnected()
{
    const quint16 port = FreePort();
    QVERIFY(port != 0);
    Program varkel(m_x);
    PointAt(varkel, port);
    QString why;
    QVERIFY2(varkel.Start(kVarkel, {}, &why), qPrintable(why));

    const QString box = m_x.WaitForWindow(kBoxTitle, kStartMs, &why);
    QVERIFY2(!box.isEmpty(), qPrintable(WithOutput("no retry question: " + why, varkel)));
    QVERIFY2(m_x.Focus(box, &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("n")}, &why), qPrintable(why));

    const QString window = m_x.WaitForWindow(kNewTitle, kStartMs, &why);
    QVERIFY2(!window.isEmpty(), qPrintable(WithOutput(why, varkel)));
    QVERIFY2(m_x.WaitForNoWindow(kBoxTitle, kWireMs, &why), qPrintable(why));
    Settle(kQuietMs);
    // No is final: the question does not come back by itself.
    QVERIFY(m_x.FindWindows(kBoxTitle).isEmpty());
    QVERIFY(varkel.IsRunning());
    QCOMPARE(m_x.WindowName(window), kNewTitle);
}

void TestEndToEnd::retryQuestionAnsweredYesConnectsOnceServerListens()
{
    const quint16 port = FreePort();
    QVERIFY(port != 0);
    Program varkel(m_x);
    PointAt(varkel, port);
    QString why;
    QVERIFY2(varkel.Start(kVarkel, {}, &why), qPrintable(why));
    const QString box = m_x.WaitForWindow(kBoxTitle, kStartMs, &why);
    QVERIFY2(!box.isEmpty(), qPrintable(WithOutput("no retry question: " + why, varkel)));

    WireServer server;
    QVERIFY2(server.Listen(port), "the free port was taken in the meantime");
    QVERIFY2(m_x.Focus(box, &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("y")}, &why), qPrintable(why));
    const QString window = m_x.WaitForWindow(kConnectedTitle, kStartMs, &why);
    QVERIFY2(!window.isEmpty(), qPrintable(WithOutput(why, varkel)));
    QVERIFY2(server.WaitForConnections(2, kWireMs), "the retry did not open both links");
    QVERIFY(m_x.FindWindows(kBoxTitle).isEmpty());
}

// ---------------------------------------------------------------- driver settings

void TestEndToEnd::pelorinEnterRewritesStoredProfile()
{
    Program pelorin(m_x);
    pelorin.WriteSetting(kClassic, QStringLiteral("Quillet/PTT"), QStringLiteral("com3"));
    QString why;
    QVERIFY2(pelorin.Start(kPelorin, {}, &why), qPrintable(why));
    const QString dialog = m_x.WaitForWindow(kPelorinTitle, kStartMs, &why);
    QVERIFY2(!dialog.isEmpty(), qPrintable(WithOutput(why, pelorin)));
    QVERIFY2(m_x.Focus(dialog, &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("Return")}, &why), qPrintable(why));
    QVERIFY2(pelorin.WaitForExit(kWireMs, &why), qPrintable("after Enter: " + why));
    QCOMPARE(pelorin.ExitStatus(), QProcess::NormalExit);
    QCOMPARE(pelorin.ExitCode(), 0);

    const QByteArray text = pelorin.SettingsText(kClassic);
    QVERIFY2(text.contains("PTT=COM3\n"), text.constData());
    // A missing frequency shows as 0 and goes back with five decimals.
    QVERIFY2(text.contains("IF=0.00000\n"), text.constData());
    QCOMPARE(pelorin.ReadSetting(kClassic, QStringLiteral("Quillet/ReverseOutputChannel")).toString(),
             QStringLiteral("0"));
    QVERIFY(!QFileInfo::exists(pelorin.SettingsPath(kSummit)));
}

void TestEndToEnd::pelorinEscapeWritesNothing()
{
    Program pelorin(m_x);
    pelorin.WriteSetting(kClassic, QStringLiteral("Quillet/PTT"), QStringLiteral("com3"));
    const QByteArray before = pelorin.SettingsText(kClassic);
    QString why;
    QVERIFY2(pelorin.Start(kPelorin, {}, &why), qPrintable(why));
    const QString dialog = m_x.WaitForWindow(kPelorinTitle, kStartMs, &why);
    QVERIFY2(!dialog.isEmpty(), qPrintable(WithOutput(why, pelorin)));
    QVERIFY2(m_x.Focus(dialog, &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("Escape")}, &why), qPrintable(why));
    QVERIFY2(pelorin.WaitForExit(kWireMs, &why), qPrintable("after Escape: " + why));
    QCOMPARE(pelorin.ExitCode(), 0);
    QCOMPARE(pelorin.SettingsText(kClassic), before);
}

void TestEndToEnd::pelorinSummitProfileFromArgument()
{
    Program pelorin(m_x);
    pelorin.WriteSetting(kSummit, QStringLiteral("Quillet/PTT"), QStringLiteral("COM2"));
    pelorin.WriteSetting(kSummit, QStringLiteral("Quillet/IF"), QStringLiteral("1500.25"));
    pelorin.WriteSetting(kSummit, QStringLiteral("Quillet/ReverseOutputChannel"), 1);
    QString why;
    QVERIFY2(pelorin.Start(kPelorin, {QStringLiteral("ProSetup")}, &why), qPrintable(why));
    const QString dialog = m_x.WaitForWindow(kPelorinTitle, kStartMs, &why);
    QVERIFY2(!dialog.isEmpty(), qPrintable(WithOutput(why, pelorin)));
    QVERIFY2(m_x.Focus(dialog, &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("Return")}, &why), qPrintable(why));
    QVERIFY2(pelorin.WaitForExit(kWireMs, &why), qPrintable("after Enter: " + why));

    const QByteArray text = pelorin.SettingsText(kSummit);
    QVERIFY2(text.contains("PTT=COM2\n"), text.constData());
    QVERIFY2(text.contains("IF=1500.25000\n"), text.constData());
    QCOMPARE(pelorin.ReadSetting(kSummit, QStringLiteral("Quillet/ReverseOutputChannel")).toString(),
             QStringLiteral("1"));
    QVERIFY2(!QFileInfo::exists(pelorin.SettingsPath(kClassic)), "the Classic profile was written too");
}

void TestEndToEnd::pelorinTypedFrequencyIsStoredRounded()
{
    Program pelorin(m_x);
    QString why;
    QVERIFY2(pelorin.Start(kPelorin, {}, &why), qPrintable(why));
    const QString dialog = m_x.WaitForWindow(kPelorinTitle, kStartMs, &why);
    QVERIFY2(!dialog.isEmpty(), qPrintable(WithOutput(why, pelorin)));
    QVERIFY2(m_x.Focus(dialog, &why), qPrintable(why));
    // OK has the focus at first; the frequency field is two tab stops on.
    QVERIFY2(m_x.Key({QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("ctrl+a")}, &why),
             qPrintable(why));
    QVERIFY2(m_x.Type(QStringLiteral("1000.123456"), &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("Return")}, &why), qPrintable(why));
    QVERIFY2(pelorin.WaitForExit(kWireMs, &why), qPrintable("after Enter: " + why));

    const QByteArray text = pelorin.SettingsText(kClassic);
    QVERIFY2(text.contains("IF=1000.12346\n"), text.constData());
    QVERIFY2(text.contains("PTT=NONE\n"), text.constData());
}

// ---------------------------------------------------------------- with the stand-in analyzer

void TestEndToEnd::echoFromStandInAnalyzerIsLogged()
{
    Program sim(m_x);
    QString why;
    QVERIFY2(sim.Start(kSim, {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--fast")}, &why),
             qPrintable(why));
    static const QRegularExpression listening(QStringLiteral(R"(listening on [0-9.]+:(\d+))"));
    QRegularExpressionMatch match;
    QVERIFY2(SpinUntil([&] { return (match = listening.match(QString::fromLocal8Bit(sim.Output()))).hasMatch(); },
                       kStartMs),
             qPrintable(WithOutput("the stand-in analyzer never said where it listens", sim)));
    const quint16 port = quint16(match.captured(1).toUInt());

    Program varkel(m_x);
    PointAt(varkel, port);
    QVERIFY2(varkel.Start(kVarkel, {}, &why), qPrintable(why));
    const QString window = m_x.WaitForWindow(kConnectedTitle, kStartMs, &why);
    QVERIFY2(!window.isEmpty(), qPrintable(WithOutput(why, varkel) + "\n" + WithOutput("analyzer:", sim)));

    const QString log = LogPath(varkel, 0);
    QVERIFY2(m_x.MenuCommand(window, QStringLiteral("f"), QStringLiteral("r"), &why), qPrintable(why));
    QVERIFY2(SpinUntil([&] { return QFileInfo::exists(log); }, kWireMs), "Record QSO made no log");
    QVERIFY2(m_x.Focus(window, &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("F5"), QStringLiteral("F6")}, &why), qPrintable(why));
    const QByteArray typed = "hello sim";
    QVERIFY2(m_x.Type(QString::fromLatin1(typed), &why), qPrintable(why));

    // The analyzer sends the transmitted text back on the receive link.
    QsoLogContent content;
    const bool echoed = SpinUntil(
        [&] {
            content = ParseQsoLog(ReadWholeFile(log));
            return content.Received() == typed;
        },
        kWireMs * 2);
    QVERIFY2(echoed, qPrintable(WithOutput(QStringLiteral("log: sent %1, received %2")
                                               .arg(Show(content.Sent()), Show(content.Received())),
                                           sim)));
    QCOMPARE(Show(content.Sent()), Show(typed));
    QVERIFY(ReadWholeFile(log).startsWith(kSentMarker));
    QVERIFY(sim.Output().contains("transmission on"));
    QCOMPARE(m_x.WindowName(window), kConnectedTitle);

    varkel.Kill();
    sim.Signal(SIGTERM);
    QVERIFY2(sim.WaitForExit(kWireMs, &why), qPrintable("the stand-in analyzer after SIGTERM: " + why));
}

// ---------------------------------------------------------------- with the analyzer in loopback

void TestEndToEnd::callComesBackDecodedThroughLoopback()
{
    Program sondrel(m_x);
    QString why;
    QVERIFY2(sondrel.Start(kSondrel, {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--console-port"), QStringLiteral("0"), QStringLiteral("--loopback")},
                           &why),
             qPrintable(why));
    static const QRegularExpression listening(QStringLiteral(R"(listening on [0-9.]+:(\d+))"));
    QRegularExpressionMatch match;
    QVERIFY2(SpinUntil([&] { return (match = listening.match(QString::fromLocal8Bit(sondrel.Output()))).hasMatch(); },
                       kStartMs),
             qPrintable(WithOutput("the analyzer never said where it listens", sondrel)));
    Program varkel(m_x);
    PointAt(varkel, quint16(match.captured(1).toUInt()));
    QVERIFY2(varkel.Start(kVarkel, {}, &why), qPrintable(why));
    const QString window = m_x.WaitForWindow(kConnectedTitle, kStartMs, &why);
    QVERIFY2(!window.isEmpty(), qPrintable(WithOutput(why, varkel) + "\n" + WithOutput("analyzer:", sondrel)));

    const QString log = LogPath(varkel, 0);
    QVERIFY2(m_x.MenuCommand(window, QStringLiteral("f"), QStringLiteral("r"), &why), qPrintable(why));
    QVERIFY2(SpinUntil([&] { return QFileInfo::exists(log); }, kWireMs), "Record QSO made no log");
    QVERIFY2(m_x.Focus(window, &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("F6")}, &why), qPrintable(why));
    const QByteArray typed = "cq de dl1abc k";
    QVERIFY2(m_x.Type(QString::fromLatin1(typed), &why), qPrintable(why));
    QVERIFY2(m_x.Key({QStringLiteral("F5")}, &why), qPrintable(why));

    // Modulated, through the simulated channel and decoded: PSK31 takes a few seconds.
    QsoLogContent content;
    const bool decoded = SpinUntil(
        [&] {
            content = ParseQsoLog(ReadWholeFile(log));
            return content.Received().contains(typed);
        },
        kStartMs * 2);
    QVERIFY2(decoded, qPrintable(WithOutput(QStringLiteral("log: received %1").arg(Show(content.Received())),
                                            sondrel)));
    QVERIFY2(m_x.Key({QStringLiteral("shift+F6"), QStringLiteral("ctrl+Home"), QStringLiteral("ctrl+shift+End"),
                      QStringLiteral("ctrl+c")},
                     &why),
             qPrintable(why));
    QVERIFY2(SpinUntil([&] { return m_x.Clipboard().contains(typed); }, kWireMs),
             qPrintable(QStringLiteral("the upper pane copied as %1").arg(Show(m_x.Clipboard()))));
    QVERIFY(sondrel.Output().contains("PTT on"));

    varkel.Kill();
    sondrel.Signal(SIGTERM);
    QVERIFY2(sondrel.WaitForExit(kWireMs, &why), qPrintable("the analyzer after SIGTERM: " + why));
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
