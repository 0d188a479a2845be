// How fast the panes show received text: one 4096-byte burst (the most one
// socket read delivers) at growing pane sizes and line lengths, the cost per
// character, memory after 10 MB, and how long a key typed during a flood of
// received text takes to reach the wire. Prints figures; asserts nothing.
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise; the
// pane is shown, so every figure includes laying out and painting the text.

#include "hints.h"
#include "prompter.h"
#include "receiveview.h"
#include "settingsstore.h"
#include "transmitview.h"
#include "varkeldoc.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QMutex>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <time.h>
#include <vector>

namespace {

constexpr int kBurst = 4096;
constexpr int kSamples = 200;

// Answers nothing: the benchmark never asks the operator anything.
class SilentPrompter : public fw::Prompter {
public:
    fw::MsgAnswer MessageBox(const QString&, fw::MsgButtons, fw::MsgIcon) override { return fw::MsgAnswer::No; }
    std::optional<QString> PromptOpenFile() override { return std::nullopt; }
    std::optional<QString> PromptSaveFile() override { return std::nullopt; }
};

qint64 NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Time this thread ran: what the panes cost, whatever else the machine does.
qint64 ThreadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

long ResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

long PeakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Received text: words, with a line end every `lineLength` characters (0: none).
QByteArray Text(int size, int lineLength, int phase = 0)
{
    QByteArray text;
    text.reserve(size);
    for (int i = 0; text.size() < size; ++i) {
        const int at = phase + i;
        if (lineLength > 0 && at % (lineLength + 2) == lineLength)
            text += "\r\n";
        else
            text += (at % 6 == 5) ? ' ' : char('a' + at % 26);
    }
    text.truncate(size);
    return text;
}

struct Figures {
    double median = 0;
    double p99 = 0;
    double max = 0;
};

// One burst: wall-clock and thread CPU milliseconds.
struct Sample {
    double wall = 0;
    double cpu = 0;
};

Figures Summarise(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    Figures f;
    f.median = ms[ms.size() / 2];
    f.p99 = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
    f.max = ms.back();
    return f;
}

class Bench {
public:
    Bench() : m_doc(m_prompter), m_receive(&m_doc, nullptr), m_transmit(&m_doc, nullptr)
    {
        m_doc.SetCloseWaitMs(0);
        m_receive.resize(800, 400);
        m_receive.show();
        m_transmit.resize(800, 200);
        m_transmit.show();
        QCoreApplication::processEvents();
    }

    // One drain's worth of hints, as the document sends them; milliseconds
    // until the pane has been painted.
    Sample ShowBurst(const QByteArray& bytes, quint32 kind = hint::kReceived)
    {
        const qint64 cpu = ThreadCpuNs();
        QElapsedTimer timer;
        timer.start();
        {
            fw::CDocument::UpdateBatch batch(m_doc);
            for (char c : bytes)
                m_doc.UpdateAllViews(nullptr, hint::Make(kind, static_cast<unsigned char>(c)));
        }
        Pane(kind).viewport()->repaint();
        const Sample sample{timer.nsecsElapsed() / 1e6, (ThreadCpuNs() - cpu) / 1e6};
        QCoreApplication::processEvents();
        return sample;
    }

    // The same bytes as separate hints, each its own edit.
    Sample ShowOneByOne(const QByteArray& bytes)
    {
        const qint64 cpu = ThreadCpuNs();
        QElapsedTimer timer;
        timer.start();
        for (char c : bytes)
            m_doc.UpdateAllViews(nullptr, hint::Make(hint::kReceived, static_cast<unsigned char>(c)));
        m_receive.viewport()->repaint();
        const Sample sample{timer.nsecsElapsed() / 1e6, (ThreadCpuNs() - cpu) / 1e6};
        QCoreApplication::processEvents();
        return sample;
    }

    void Fill(qint64 size, int lineLength)
    {
        constexpr int kChunk = 1 << 16;
        for (qint64 done = 0; done < size; done += kChunk) {
            fw::CDocument::UpdateBatch batch(m_doc);
            for (char c : Text(kChunk, lineLength, int(done % 997)))
                m_doc.UpdateAllViews(nullptr, hint::Make(hint::kReceived, static_cast<unsigned char>(c)));
        }
        m_receive.viewport()->repaint();
        QCoreApplication::processEvents();
    }

    void Clear() { m_doc.OnClearWindows(); }

    CPaneView& Pane(quint32 kind)
    {
        return kind == hint::kReceived ? static_cast<CPaneView&>(m_receive) : m_transmit;
    }

    CVarkelDoc& Doc() { return m_doc; }
    CTransmitView& Transmit() { return m_transmit; }
    CReceiveView& Receive() { return m_receive; }

private:
    SilentPrompter m_prompter;
    CVarkelDoc m_doc;
    CReceiveView m_receive;
    CTransmitView m_transmit;
};

void PrintRow(const char* what, const std::vector<Sample>& samples, int bytes = kBurst)
{
    std::vector<double> wall;
    std::vector<double> cpu;
    for (const Sample& s : samples) {
        wall.push_back(s.wall);
        cpu.push_back(s.cpu);
    }
    const Figures w = Summarise(wall);
    const Figures c = Summarise(cpu);
    std::printf("  %-34s %6.3f %6.3f %7.3f | %6.3f %6.3f %7.3f | %6.2f\n", what, w.median, w.p99, w.max, c.median,
                c.p99, c.max, c.median * 1000.0 / bytes);
}

void PrintHeading(const char* title)
{
    std::printf("\n%s\n  %-34s %-22s | %-22s | %s\n", title, "", "wall ms: median p99 max",
                "CPU ms: median p99 max", "CPU us/char");
}

// Bursts at a pane that already holds `size` bytes of 60-character lines.
void AtPaneSize(Bench& bench, const char* label, qint64 size)
{
    bench.Clear();
    bench.Fill(size, 60);
    std::vector<Sample> samples;
    for (int i = 0; i < kSamples; ++i)
        samples.push_back(bench.ShowBurst(Text(kBurst, 60, i * 7)));
    PrintRow(label, samples);
}

// Each burst continues a line that holds `lineSoFar` characters.
void AtLineLength(Bench& bench, const char* label, int lineLength, int lineSoFar)
{
    std::vector<Sample> samples;
    for (int i = 0; i < kSamples / 4; ++i) {
        bench.Clear();
        bench.Fill(0, 0);
        {
            fw::CDocument::UpdateBatch batch(bench.Doc());
            for (char c : Text(lineSoFar, lineLength))
                bench.Doc().UpdateAllViews(nullptr, hint::Make(hint::kReceived, static_cast<unsigned char>(c)));
        }
        bench.Receive().viewport()->repaint();
        QCoreApplication::processEvents();
        samples.push_back(bench.ShowBurst(Text(kBurst, lineLength, lineSoFar)));
    }
    PrintRow(label, samples);
}

// A stand-in server on its own thread: floods the first connection with
// received text and notes when each byte arrives on the second.
class FloodServer : public QObject {
    Q_OBJECT
public:
    quint16 Start()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, &FloodServer::OnConnection);
        return m_server.serverPort();
    }
    std::vector<qint64> Arrivals()
    {
        QMutexLocker lock(&m_mutex);
        return m_arrivals;
    }
    std::atomic<qint64> floodBytes{0};

private:
    void OnConnection()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            if (m_connections++ == 0) {
                m_flood = socket;
                auto* pace = new QTimer(this);
                connect(pace, &QTimer::timeout, this, &FloodServer::Refill);
                pace->start(4);
            } else {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                    const qint64 now = NowNs();
                    const QByteArray bytes = socket->readAll();
                    QMutexLocker lock(&m_mutex);
                    m_arrivals.insert(m_arrivals.end(), bytes.size(), now);
                });
            }
        }
    }
    // 16 KB every 4 ms: 4 MB/s, more than a pane can show, so the terminal
    // always has received text waiting, while this thread stays free to
    // note each typed byte the moment it arrives.
    void Refill()
    {
        static const QByteArray chunk = Text(1 << 14, 60);
        if (!m_flood)
            return;
        m_flood->write(chunk);
        floodBytes += chunk.size();
    }

    QTcpServer m_server{this};   // a child, so that it moves to the server's thread
    QTcpSocket* m_flood = nullptr;
    int m_connections = 0;
    QMutex m_mutex;
    std::vector<qint64> m_arrivals;
};

// Counts the received characters the document hands out and times each
// burst from its first hint until every pane has shown it.
class BurstClock : public fw::CView {
public:
    void OnUpdate(fw::CView*, quint32 h) override
    {
        if (hint::Kind(h) == hint::kReceived)
            ++received;
    }
    void OnBeginUpdateBatch() override { m_start = NowNs(); }
    void OnEndUpdateBatch() override { bursts.push_back({(NowNs() - m_start) / 1e6, received}); }

    struct Burst {
        double ms;
        qint64 receivedSoFar;
    };
    std::vector<Burst> bursts;
    qint64 received = 0;

private:
    qint64 m_start = 0;
};

// Notes when each key press reaches the pane.
class KeyClock : public QObject {
public:
    std::vector<qint64> handled;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress)
            handled.push_back(NowNs());
        return false;
    }
};

// A stream of `pattern` repeated, `total` bytes in 4096-byte bursts at the
// default limits: throughput, the bursts' cost, and what the pane then holds.
void Storm(Bench& bench, const char* label, const QByteArray& pattern, qint64 total)
{
    bench.Clear();
    QByteArray burst;
    while (burst.size() < kBurst)
        burst += pattern;
    burst.truncate(pattern.size() >= kBurst ? kBurst : kBurst - kBurst % pattern.size());
    std::vector<Sample> samples;
    QElapsedTimer run;
    run.start();
    for (qint64 fed = 0; fed < total; fed += burst.size())
        samples.push_back(bench.ShowBurst(burst));
    const double seconds = run.nsecsElapsed() / 1e9;
    PrintRow(label, samples, int(burst.size()));
    const QTextDocument* pane = bench.Receive().document();
    std::printf("  %-34s %.1f MB in %.1f s: %.2f MB/s; pane holds %d lines in %d blocks, %d characters; resident %.1f MB\n",
                "", total / 1e6, seconds, total / 1e6 / seconds, bench.Receive().LineCount(), pane->blockCount(),
                pane->characterCount() - 1, ResidentKiB() / 1024.0);
}

void TypingDuringFlood(Bench& bench)
{
    QThread thread;
    auto* server = new FloodServer;
    server->moveToThread(&thread);
    QObject::connect(&thread, &QThread::finished, server, &QObject::deleteLater);
    thread.start();
    quint16 port = 0;
    QMetaObject::invokeMethod(server, [&] { port = server->Start(); }, Qt::BlockingQueuedConnection);

    const fw::SettingsStore store(QStringLiteral("Varkel"));
    store.WriteProfileString(QStringLiteral("Setup"), QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
    store.WriteProfileInt(QStringLiteral("Setup"), QStringLiteral("Port"), port);
    bench.Clear();
    bench.Doc().OnConnect();
    if (!bench.Doc().IsConnected()) {
        std::printf("  (no connection to the flood server)\n");
        thread.quit();
        thread.wait();
        return;
    }

    // A key press queued every 37 ms, as the window system would deliver it.
    std::vector<qint64> pressed;
    QTimer typist;
    QObject::connect(&typist, &QTimer::timeout, &bench.Transmit(), [&] {
        pressed.push_back(NowNs());
        QCoreApplication::postEvent(&bench.Transmit(),
                                    new QKeyEvent(QEvent::KeyPress, Qt::Key_K, Qt::NoModifier, QStringLiteral("k")));
    });
    KeyClock keyClock;
    bench.Transmit().installEventFilter(&keyClock);
    BurstClock burstClock;
    bench.Doc().AddView(&burstClock);
    QElapsedTimer run;
    run.start();
    typist.start(37);
    while (run.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    typist.stop();
    const double seconds = run.nsecsElapsed() / 1e9;
    QElapsedTimer settle;
    settle.start();
    while (server->Arrivals().size() < pressed.size() && settle.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);

    bench.Transmit().removeEventFilter(&keyClock);
    bench.Doc().RemoveView(&burstClock);
    const std::vector<qint64> arrived = server->Arrivals();
    std::vector<double> waited;
    for (size_t i = 0; i < std::min(pressed.size(), keyClock.handled.size()); ++i)
        waited.push_back((keyClock.handled[i] - pressed[i]) / 1e6);
    std::vector<double> latency;
    for (size_t i = 0; i < std::min(pressed.size(), arrived.size()); ++i)
        latency.push_back((arrived[i] - pressed[i]) / 1e6);
    const qint64 shown = burstClock.received;
    std::printf("  flood shown: %.1f MB in %.1f s (%.1f MB/s); receive pane now %.1f MB\n", shown / 1e6, seconds,
                shown / 1e6 / seconds, bench.Receive().document()->characterCount() / 1e6);
    {
        std::vector<double> ms;
        for (const auto& burst : burstClock.bursts)
            ms.push_back(burst.ms);
        const Figures f = Summarise(ms);
        std::printf("  bursts during the flood: %zu, median %.2f ms  p99 %.2f ms  max %.2f ms\n", ms.size(), f.median,
                    f.p99, f.max);
        std::vector<BurstClock::Burst> longest = burstClock.bursts;
        std::sort(longest.begin(), longest.end(), [](auto& a, auto& b) { return a.ms > b.ms; });
        for (size_t i = 0; i < std::min<size_t>(5, longest.size()); ++i)
            std::printf("    %.2f ms with %.2f MB received\n", longest[i].ms, longest[i].receivedSoFar / 1e6);
    }
    if (!waited.empty()) {
        const Figures f = Summarise(waited);
        std::printf("  key press to pane:  median %.2f ms  p99 %.2f ms  max %.2f ms\n", f.median, f.p99, f.max);
    }
    if (!latency.empty()) {
        const Figures f = Summarise(latency);
        std::printf("  typed byte to wire: %zu keys, median %.2f ms  p99 %.2f ms  max %.2f ms\n", latency.size(),
                    f.median, f.p99, f.max);
    }
    std::printf("  keys typed %zu, bytes on the wire %zu; server sent %.1f MB\n", pressed.size(), arrived.size(),
                server->floodBytes / 1e6);

    bench.Doc().CloseSession();
    thread.quit();
    thread.wait();
}

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The flood run writes host and port: into a store of its own.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    QApplication app(argc, argv);

    const long startKiB = ResidentKiB();
    Bench bench;
    // Warm the font and glyph caches, so the first row does not pay for them.
    bench.ShowBurst(Text(1 << 16, 60));

    // "storms" runs only the streams heavy in line ends and backspaces.
    const bool stormsOnly = argc > 1 && qstrcmp(argv[1], "storms") == 0;
    if (!stormsOnly) {
        // Room for 10 MB: the default limit would drop text before that.
        bench.Receive().SetMaxCharacters(16 << 20);
        PrintHeading("Burst of 4096 bytes shown (hints in, pane painted), 60-character lines, by pane size:");
        AtPaneSize(bench, "empty pane", 0);
        AtPaneSize(bench, "pane holding 1 MB", 1 << 20);
        AtPaneSize(bench, "pane holding 10 MB", 10 << 20);
        std::printf("  resident memory with 10 MB shown: %.1f MB (%.1f MB at start)\n", ResidentKiB() / 1024.0,
                    startKiB / 1024.0);
        bench.Receive().SetMaxCharacters(CPaneView::kDefaultMaxCharacters);

        PrintHeading("Burst of 4096 bytes at the default limit, oldest lines dropped as new ones come:");
        {
            const int limit = CPaneView::kDefaultMaxCharacters;
            bench.Clear();
            bench.Fill(limit, 60);
            std::vector<Sample> samples;
            for (qint64 fed = 0; fed < 2LL * limit; fed += kBurst)
                samples.push_back(bench.ShowBurst(Text(kBurst, 60, int(fed % 991))));
            const QString label = QStringLiteral("%1 characters fed").arg(2LL * limit);
            PrintRow(qPrintable(label), samples);
            std::printf("  resident memory: %.1f MB\n", ResidentKiB() / 1024.0);
        }

        PrintHeading("Burst of 4096 bytes by line length (pane nearly empty):");
        AtLineLength(bench, "60-character lines", 60, 20000);
        AtLineLength(bench, "one 20,000-character line", 0, 20000);
        AtLineLength(bench, "one 200,000-character line", 0, 200000);

        PrintHeading("The same 4096 bytes as single hints, each its own edit:");
        for (const auto& [label, lineLength] : {std::pair{"60-character lines", 60}, std::pair{"one long line", 0}}) {
            bench.Clear();
            bench.ShowBurst(Text(20000, lineLength));
            std::vector<Sample> samples;
            for (int i = 0; i < 5; ++i)
                samples.push_back(bench.ShowOneByOne(Text(kBurst, lineLength, 20000 + i * kBurst)));
            PrintRow(label, samples);
        }

        PrintHeading("Transmit pane, a 1000-byte text file as one burst:");
        {
            std::vector<Sample> samples;
            for (int i = 0; i < 50; ++i)
                samples.push_back(bench.ShowBurst(Text(1000, i % 2 ? 60 : 0), hint::kTransmitted));
            PrintRow("1000 bytes", samples, 1000);
        }
    }

    PrintHeading("Streams heavy in line ends and backspaces, 12 MB each at the default limits:");
    {
        constexpr qint64 kStorm = 12'000'000;
        Storm(bench, "ordinary text, 60-character lines", Text(6200, 60), kStorm);
        Storm(bench, "\"a\\r\" repeated", QByteArrayLiteral("a\r"), kStorm);
        Storm(bench, "\"\\r\\n\" repeated", QByteArrayLiteral("\r\n"), kStorm);
        Storm(bench, "\"ab\\b\" repeated", QByteArrayLiteral("ab\b"), kStorm);
        Storm(bench, "\"a\\r\\b\\b\" repeated", QByteArrayLiteral("a\r\b\b"), kStorm);
        std::printf("  peak resident memory so far: %.1f MB\n", PeakResidentKiB() / 1024.0);
    }

    if (stormsOnly)
        return 0;

    std::printf("\nKeys typed during a flood of received text (5 s):\n");
    TypingDuringFlood(bench);
    std::printf("  resident memory at the end: %.1f MB; pane limit %d characters\n", ResidentKiB() / 1024.0,
                CPaneView::kDefaultMaxCharacters);
    return 0;
}

#include "bench_panes.moc"
