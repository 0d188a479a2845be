// Whole-program figures of the terminal, measured from the outside the way an
// operator feels them: start-up until the window is up and both links are
// connected, resident memory idle and after a long QSO, the delay from a key
// press to its byte on the wire (idle and while received text pours in), and
// how fast received text is taken in once the pane is already large.
//
// The terminal runs on a private Xvfb display and gets real key events (XTEST,
// either straight from this process or through xdotool); the analyzer is a
// WireServer in this process, so every byte is timed where it arrives.
// Figures are printed, never judged.
//
// Environment knobs, for quick runs: E2E_BENCH_STARTS (10), E2E_BENCH_KEYS
// (100), E2E_BENCH_FILL_MB (10), E2E_BENCH_MORE_MB (4), E2E_BENCH_PACED_KBPS
// (2048, the paced flood).

#include "program.h"
#include "wireserver.h"
#include "xsession.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <dlfcn.h>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

using namespace e2e;

namespace {

const QString kVarkel = QStringLiteral(VARKEL_EXE);

const QString kConnectedTitle = QStringLiteral("Connected to Sondrel - Varkel");
constexpr int kStartMs = 30000;

int EnvInt(const char* name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

void Print(const QString& line)
{
    std::fputs(qUtf8Printable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

struct Summary {
    double median = 0;
    double p99 = 0;
    double min = 0;
    double max = 0;
    int count = 0;
};

Summary Summarise(std::vector<double> values)
{
    Summary s;
    s.count = int(values.size());
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    s.p99 = values[std::min(n - 1, size_t(std::ceil(0.99 * double(n))) - 1)];
    s.min = values.front();
    s.max = values.back();
    return s;
}

QString Ms(double ms)
{
    return QString::number(ms, 'f', ms < 10 ? 2 : 1) + QStringLiteral(" ms");
}

// VmRSS of a process, in kB; -1 when it cannot be read.
long ResidentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

QString Mb(long kb)
{
    return kb < 0 ? QStringLiteral("(unknown)") : QString::number(double(kb) / 1024.0, 'f', 1) + QStringLiteral(" MB");
}

// Keeps the event loop turning with a finer grain than SpinUntil, for timing.
template <typename Pred>
bool PollUntil(Pred pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::usleep(100);
    }
    return true;
}

// Real key events straight from this process through the XTEST extension,
// so the figure does not include starting a helper program. The libraries
// are loaded at run time: they come with xdotool, and the build needs no X
// headers.
class XTestKeys {
public:
    ~XTestKeys()
    {
        if (m_display && m_close)
            m_close(m_display);
        if (m_xtst)
            dlclose(m_xtst);
        if (m_x11)
            dlclose(m_x11);
    }

    bool Open(const QString& display)
    {
        m_x11 = dlopen("libX11.so.6", RTLD_NOW);
        m_xtst = dlopen("libXtst.so.6", RTLD_NOW);
        if (!m_x11 || !m_xtst)
            return false;
        auto open = reinterpret_cast<void* (*)(const char*)>(dlsym(m_x11, "XOpenDisplay"));
        m_close = reinterpret_cast<int (*)(void*)>(dlsym(m_x11, "XCloseDisplay"));
        m_keysym = reinterpret_cast<unsigned long (*)(const char*)>(dlsym(m_x11, "XStringToKeysym"));
        m_keycode = reinterpret_cast<unsigned char (*)(void*, unsigned long)>(dlsym(m_x11, "XKeysymToKeycode"));
        m_sync = reinterpret_cast<int (*)(void*, int)>(dlsym(m_x11, "XSync"));
        m_fake = reinterpret_cast<int (*)(void*, unsigned, int, unsigned long)>(dlsym(m_xtst, "XTestFakeKeyEvent"));
        if (!open || !m_close || !m_keysym || !m_keycode || !m_sync || !m_fake)
            return false;
        m_display = open(display.toLocal8Bit().constData());
        return m_display != nullptr;
    }

    // Presses and releases the key for `keysym` (e.g. "a"); returns at once
    // after the server has the events.
    bool Tap(const char* keysym)
    {
        const unsigned char code = m_keycode(m_display, m_keysym(keysym));
        if (code == 0)
            return false;
        m_fake(m_display, code, 1, 0);
        m_fake(m_display, code, 0, 0);
        m_sync(m_display, 0);
        return true;
    }

private:
    void* m_x11 = nullptr;
    void* m_xtst = nullptr;
    void* m_display = nullptr;
    int (*m_close)(void*) = nullptr;
    unsigned long (*m_keysym)(const char*) = nullptr;
    unsigned char (*m_keycode)(void*, unsigned long) = nullptr;
    int (*m_sync)(void*, int) = nullptr;
    int (*m_fake)(void*, unsigned, int, unsigned long) = nullptr;
};

// Received text as an analyzer decodes it: printable lines with CR LF ends.
QByteArray ReceivedText(qsizetype bytes)
{
    static const QByteArray line = QByteArrayLiteral(
        "CQ CQ de BENCH BENCH the quick brown fox jumps over 0123456789 k\r\n");
    QByteArray text;
    text.reserve(bytes);
    while (text.size() + line.size() <= bytes)
        text += line;
    text += line.left(bytes - text.size());
    return text;
}

// Received text pouring in on the receive link. Unpaced, the socket is kept
// topped up whenever Qt has handed most of what it holds to the system, so
// the terminal gets text as fast as it can take it (and faster). Paced, a
// fixed number of bytes goes out every 10 ms.
class Flood : public QObject {
public:
    Flood(QTcpSocket* socket, qint64 bytesPerSecond)
        : m_socket(socket), m_chunk(ReceivedText(64 * 1024)), m_rate(bytesPerSecond)
    {
        if (m_rate > 0) {
            m_clock.start();
            connect(&m_timer, &QTimer::timeout, this, [this] { Pace(); });
            m_timer.start(10);
            return;
        }
        connect(socket, &QTcpSocket::bytesWritten, this, [this] { TopUp(); });
        TopUp();
    }
    ~Flood() override { disconnect(m_socket, nullptr, this, nullptr); }

private:
    void TopUp()
    {
        while (m_socket->bytesToWrite() < 256 * 1024)
            m_socket->write(m_chunk);
    }
    void Pace()
    {
        const qint64 due = m_rate * m_clock.elapsed() / 1000 - m_sent;
        for (qint64 left = due; left > 0;) {
            const qint64 n = std::min<qint64>(left, m_chunk.size() - m_offset);
            m_socket->write(m_chunk.constData() + m_offset, n);
            m_offset = (m_offset + n) % m_chunk.size();
            left -= n;
        }
        m_sent += std::max<qint64>(due, 0);
        m_socket->flush();
    }
    QTcpSocket* m_socket;
    QByteArray m_chunk;
    qint64 m_rate;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_sent = 0;
    qint64 m_offset = 0;
};

class Bench {
public:
    int Run();

private:
    struct Session {
        std::unique_ptr<WireServer> server;
        std::unique_ptr<Program> program;
        QString window;
    };
    std::optional<Session> StartTerminal(QString* why);
    QString LogPath(const Program& program) const
    {
        return QDir(program.LogDirectory()).filePath(QStringLiteral("PSK310000.txt"));
    }

    void StartUp(int starts);
    void KeyToWire(int keys);
    void Receive(int fillMb, int moreMb);

    // One measurement series of key-to-wire delays; `press` sends one key.
    std::vector<double> KeySeries(WireServer& server, int keys, const std::function<bool(const char*)>& press,
                                  int* lost);

    XSession m_x;
};

std::optional<Bench::Session> Bench::StartTerminal(QString* why)
{
    Session s;
    s.server = std::make_unique<WireServer>();
    if (!s.server->Listen()) {
        *why = QStringLiteral("the analyzer stand-in could not listen");
        return std::nullopt;
    }
    s.program = std::make_unique<Program>(m_x);
    s.program->WriteSetting(QStringLiteral("Varkel"), QStringLiteral("Setup/Host"), QStringLiteral("127.0.0.1"));
    s.program->WriteSetting(QStringLiteral("Varkel"), QStringLiteral("Setup/Port"), int(s.server->Port()));
    s.program->WriteSetting(QStringLiteral("Varkel"), QStringLiteral("Settings/Log directory"),
                            s.program->LogDirectory());
    if (!s.program->Start(kVarkel, {}, why))
        return std::nullopt;
    s.window = m_x.WaitForWindow(kConnectedTitle, kStartMs, why);
    if (s.window.isEmpty())
        return std::nullopt;
    if (!s.server->WaitForConnections(2, kStartMs)) {
        *why = QStringLiteral("the links did not connect");
        return std::nullopt;
    }
    return s;
}

void Bench::StartUp(int starts)
{
    std::vector<double> window;
    std::vector<double> links;
    std::vector<double> both;
    for (int i = 0; i < starts; ++i) {
        WireServer server;
        if (!server.Listen())
            continue;
        Program program(m_x);
        program.WriteSetting(QStringLiteral("Varkel"), QStringLiteral("Setup/Host"), QStringLiteral("127.0.0.1"));
        program.WriteSetting(QStringLiteral("Varkel"), QStringLiteral("Setup/Port"), int(server.Port()));
        QElapsedTimer clock;
        clock.start();
        QString why;
        if (!program.Start(kVarkel, {}, &why)) {
            Print(QStringLiteral("  start %1 failed: %2").arg(i + 1).arg(why));
            continue;
        }
        double windowAt = -1;
        double linksAt = -1;
        const bool up = PollUntil(
            [&] {
                if (linksAt < 0 && server.ConnectionCount() >= 2)
                    linksAt = double(clock.nsecsElapsed()) / 1e6;
                if (windowAt < 0
                    && m_x.Xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                    QStringLiteral("--name"), QStringLiteral("^Connected to Sondrel - Varkel$")})
                           .Ok())
                    windowAt = double(clock.nsecsElapsed()) / 1e6;
                return windowAt >= 0 && linksAt >= 0;
            },
            kStartMs);
        if (!up) {
            Print(QStringLiteral("  start %1: not up within %2 ms").arg(i + 1).arg(kStartMs));
            continue;
        }
        window.push_back(windowAt);
        links.push_back(linksAt);
        both.push_back(std::max(windowAt, linksAt));
        program.Kill();
        // Let the display forget the window before the next start looks for one.
        SpinUntil([&] { return !m_x.Xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                             QStringLiteral("--name"), QStringLiteral("Varkel")})
                                    .Ok(); },
                  5000);
    }
    const Summary b = Summarise(both);
    const Summary w = Summarise(window);
    const Summary l = Summarise(links);
    Print(QStringLiteral("start-up, exec to window shown and both links connected (%1 cold starts): "
                         "median %2, min %3, max %4")
              .arg(b.count).arg(Ms(b.median), Ms(b.min), Ms(b.max)));
    Print(QStringLiteral("  of which: both links connected at median %1; window found at median %2 "
                         "(window polling adds a few ms)")
              .arg(Ms(l.median), Ms(w.median)));
}

std::vector<double> Bench::KeySeries(WireServer& server, int keys,
                                     const std::function<bool(const char*)>& press, int* lost)
{
    static const char* const letters[] = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m",
                                          "n", "o", "p", "q", "r", "s", "t", "u", "v", "w", "x", "y", "z"};
    std::vector<double> delays;
    *lost = 0;
    for (int i = 0; i < keys; ++i) {
        const qsizetype before = server.Received(1).size();
        QElapsedTimer clock;
        clock.start();
        if (!press(letters[i % 26])) {
            ++*lost;
            continue;
        }
        if (!PollUntil([&] { return server.Received(1).size() > before; }, 10000)) {
            ++*lost;
            continue;
        }
        delays.push_back(double(clock.nsecsElapsed()) / 1e6);
        Settle(10);
    }
    return delays;
}

void Bench::KeyToWire(int keys)
{
    QString why;
    auto session = StartTerminal(&why);
    if (!session) {
        Print(QStringLiteral("key to wire: the terminal did not come up: ") + why);
        return;
    }
    WireServer& server = *session->server;
    // The QSO log counts what the terminal takes in while the flood runs.
    if (!m_x.MenuCommand(session->window, QStringLiteral("f"), QStringLiteral("r"), &why)) {
        Print(QStringLiteral("key to wire: Record QSO could not be switched on: ") + why);
        return;
    }
    const QString log = LogPath(*session->program);
    if (!m_x.Focus(session->window, &why) || !m_x.Key({QStringLiteral("F6")}, &why)) {
        Print(QStringLiteral("key to wire: ") + why);
        return;
    }
    Settle(300);

    XTestKeys xtest;
    const bool haveXTest = xtest.Open(m_x.Display());
    auto viaXTest = [&](const char* key) { return xtest.Tap(key); };
    auto viaXdotool = [&](const char* key) { return m_x.Xdotool({QStringLiteral("key"), QLatin1String(key)}).Ok(); };

    auto report = [&](const QString& what, const std::vector<double>& delays, int lost) {
        const Summary s = Summarise(delays);
        Print(QStringLiteral("key to wire, %1 (%2 keys): median %3, p99 %4, max %5%6")
                  .arg(what)
                  .arg(s.count)
                  .arg(Ms(s.median), Ms(s.p99), Ms(s.max),
                       lost ? QStringLiteral(", %1 keys lost").arg(lost) : QString()));
    };

    int lost = 0;
    if (haveXTest)
        report(QStringLiteral("idle, XTEST from the bench"), KeySeries(server, keys, viaXTest, &lost), lost);
    else
        Print(QStringLiteral("key to wire: libX11/libXtst could not be loaded; only the xdotool series runs"));
    report(QStringLiteral("idle, one xdotool run per key (includes its start-up)"),
           KeySeries(server, keys, viaXdotool, &lost), lost);

    // A paced flood the terminal can keep up with, then one it cannot.
    const qint64 paced = qint64(EnvInt("E2E_BENCH_PACED_KBPS", 2048)) * 1024;
    for (const qint64 rate : {paced, qint64(0)}) {
        const QString what = rate > 0 ? QStringLiteral("during a flood of %1 kB/s").arg(rate / 1024)
                                      : QStringLiteral("during an unpaced flood");
        Flood flood(server.Connection(0), rate);
        Settle(1000);  // let the flood reach its steady state
        QElapsedTimer clock;
        clock.start();
        const qint64 loggedBefore = QFileInfo(log).size();
        if (haveXTest)
            report(what + QStringLiteral(", XTEST"), KeySeries(server, keys, viaXTest, &lost), lost);
        report(what + QStringLiteral(", xdotool"), KeySeries(server, keys, viaXdotool, &lost), lost);
        const double seconds = double(clock.elapsed()) / 1000.0;
        const qint64 taken = QFileInfo(log).size() - loggedBefore;
        Print(QStringLiteral("  meanwhile the terminal took in %1 kB/s of received text (%2 MB in %3 s); "
                             "resident memory then %4")
                  .arg(double(taken) / 1024.0 / seconds, 0, 'f', 0)
                  .arg(double(taken) / 1048576.0, 0, 'f', 1)
                  .arg(seconds, 0, 'f', 1)
                  .arg(Mb(ResidentKb(session->program->Pid()))));
    }
    session->program->Kill();
}

void Bench::Receive(int fillMb, int moreMb)
{
    QString why;
    auto session = StartTerminal(&why);
    if (!session) {
        Print(QStringLiteral("receive: the terminal did not come up: ") + why);
        return;
    }
    Program& program = *session->program;
    WireServer& server = *session->server;
    Settle(1000);
    Print(QStringLiteral("resident memory, idle after start-up: %1").arg(Mb(ResidentKb(program.Pid()))));

    // The QSO log tells, byte for byte, how much the terminal has taken in.
    if (!m_x.MenuCommand(session->window, QStringLiteral("f"), QStringLiteral("r"), &why)) {
        Print(QStringLiteral("receive: Record QSO could not be switched on: ") + why);
        return;
    }
    const QString log = LogPath(program);
    if (!SpinUntil([&] { return QFileInfo::exists(log); }, 5000)) {
        Print(QStringLiteral("receive: Record QSO made no log"));
        return;
    }
    auto logged = [&] { return QFileInfo(log).size(); };

    // Generous deadlines: the pace is what is being measured.
    auto drain = [&](qint64 bytes, const QString& what) -> double {
        const qint64 start = logged();
        server.Send(0, ReceivedText(bytes));
        QElapsedTimer clock;
        clock.start();
        const int deadlineMs = 60000 + int(bytes / 1024) * 50;
        if (!SpinUntil([&] { return logged() - start >= bytes; }, deadlineMs)) {
            Print(QStringLiteral("  %1: only %2 of %3 bytes taken in after %4 s")
                      .arg(what)
                      .arg(logged() - start)
                      .arg(bytes)
                      .arg(deadlineMs / 1000));
            return -1;
        }
        return double(clock.nsecsElapsed()) / 1e9;
    };

    const qint64 fill = qint64(fillMb) * 1024 * 1024;
    const double fillSeconds = drain(fill, QStringLiteral("filling the pane"));
    if (fillSeconds > 0)
        Print(QStringLiteral("receive, first %1 MB into an empty pane: %2 s, %3 kB/s")
                  .arg(fillMb)
                  .arg(fillSeconds, 0, 'f', 2)
                  .arg(double(fill) / 1024.0 / fillSeconds, 0, 'f', 0));
    Settle(1000);
    Print(QStringLiteral("resident memory after %1 MB received: %2").arg(fillMb).arg(Mb(ResidentKb(program.Pid()))));

    const qint64 more = qint64(moreMb) * 1024 * 1024;
    const double moreSeconds = drain(more, QStringLiteral("receiving more"));
    if (moreSeconds > 0)
        Print(QStringLiteral("receive throughput once %1 MB have been shown: %2 kB/s (%3 MB more in %4 s)")
                  .arg(fillMb)
                  .arg(double(more) / 1024.0 / moreSeconds, 0, 'f', 0)
                  .arg(moreMb)
                  .arg(moreSeconds, 0, 'f', 2));
    Print(QStringLiteral("resident memory after %1 MB received: %2")
              .arg(fillMb + moreMb)
              .arg(Mb(ResidentKb(program.Pid()))));
    program.Kill();
}

int Bench::Run()
{
    const QStringList missing = MissingTools({QStringLiteral("Xvfb"), QStringLiteral("xdotool"), QStringLiteral("xwininfo")});
    if (!missing.isEmpty()) {
        Print(QStringLiteral("bench_e2e: needs %1").arg(missing.join(QStringLiteral(", "))));
        return 1;
    }
    QString why;
    if (!m_x.Start(&why)) {
        Print(QStringLiteral("bench_e2e: ") + why);
        return 1;
    }
    Print(QStringLiteral("bench_e2e: %1 on Xvfb %2").arg(kVarkel, m_x.Display()));
    StartUp(EnvInt("E2E_BENCH_STARTS", 10));
    KeyToWire(EnvInt("E2E_BENCH_KEYS", 100));
    Receive(EnvInt("E2E_BENCH_FILL_MB", 10), EnvInt("E2E_BENCH_MORE_MB", 4));
    m_x.Stop();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Bench bench;
    return bench.Run();
}
