// Figures of the analyzer server, the real program throughout:
// - through a private PulseAudio server, with the sink's monitor recorded
//   here: 0x01 to the first sample heard (PTT delay 0), 0x02 to silence and
//   to the "PTT off" report, and the last sample heard to the "PTT off"
//   report; again with 70 KB of text queued, and keying through rigctld
//   behind a proxy here that holds every answer back 1 s (with the time the
//   daemon itself reports PTT off);
// - dropouts of the transmitted signal while 8 busy loops load the machine;
// - CPU time to listening, CPU and resident memory while listening;
// - character errors of text sent through --loopback at -8 dB.
// The recording adds its own latency to the first two figures and takes it
// off the last; its buffer is printed with them.

#include "privatepulse.h"
#include "psk31/textmatch.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMediaDevices>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <signal.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWaitMs = 10000;
constexpr int kRecordBufferMs = 10;
constexpr float kHeard = 0.02f;  // a sample above this is signal (peak 0.5, -28 dB)
constexpr int kRounds = 5;

qint64 cpuTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = stat.readAll().split(')').last().split(' ');
    // After the command: state is field 1; utime and stime are fields 12 and 13.
    return fields.value(12).toLongLong() + fields.value(13).toLongLong();
}

// One sondrel on a port of its own, with its log lines as they come.
class Server {
public:
    ~Server()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(kWaitMs))
            m_process.kill();
    }
    bool start(const QStringList& arguments, const QProcessEnvironment& environment)
    {
        m_process.setProcessEnvironment(environment);
        m_process.start(QStringLiteral(SONDREL_EXE), QStringList{"--port", "0", "--console-port", "0"} + arguments);
        const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < kWaitMs && m_process.state() != QProcess::NotRunning) {
            m_process.waitForReadyRead(20);
            m_log += QString::fromUtf8(m_process.readAllStandardError());
            const auto match = listening.match(m_log);
            if (match.hasMatch()) {
                m_ticksToListening = cpuTicks(m_process.processId());
                m_port = match.captured(1).toUShort();
                m_receive.connectToHost(QHostAddress::LocalHost, m_port);
                m_transmit.connectToHost(QHostAddress::LocalHost, m_port);
                return m_receive.waitForConnected(kWaitMs) && m_transmit.waitForConnected(kWaitMs);
            }
        }
        std::fprintf(stderr, "%s", qPrintable(m_log));
        return false;
    }
    void send(const QByteArray& bytes)
    {
        m_transmit.write(bytes);
        m_transmit.flush();
    }
    // New log text since the last call.
    QString newLog()
    {
        const QString fresh = QString::fromUtf8(m_process.readAllStandardError());
        m_log += fresh;
        return fresh;
    }
    QByteArray received()
    {
        m_received += m_receive.readAll();
        return m_received;
    }
    qint64 pid() const { return m_process.processId(); }
    qint64 ticksToListening() const { return m_ticksToListening; }

private:
    qint64 m_ticksToListening = -1;
    QProcess m_process;
    QString m_log;
    quint16 m_port = 0;
    QTcpSocket m_receive;
    QTcpSocket m_transmit;
    QByteArray m_received;
};

// The sink's monitor, sample by sample with the time each block arrived.
class Recorder {
public:
    bool start()
    {
        QAudioDevice device;
        for (const QAudioDevice& candidate : QMediaDevices::audioInputs()) {
            if (candidate.description() == QLatin1String("RadioIn"))
                device = candidate;
        }
        if (device.isNull())
            return false;
        QAudioFormat format;
        format.setSampleRate(48000);
        format.setChannelCount(2);
        format.setSampleFormat(QAudioFormat::Float);
        m_source = std::make_unique<QAudioSource>(device, format);
        m_source->setBufferSize(format.bytesForDuration(kRecordBufferMs * 1000));
        m_stream = m_source->start();
        m_clock.start();
        return m_stream != nullptr;
    }
    // Waits until a block's loudness says `loud` (or not), and returns when its
    // block arrived, in ms on this clock; nothing on timeout.
    std::optional<double> waitFor(bool loud, double* lastLoudMs = nullptr)
    {
        const qint64 until = m_clock.elapsed() + kWaitMs;
        while (m_clock.elapsed() < until) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            const QByteArray bytes = m_stream->readAll();
            if (bytes.isEmpty()) {
                QThread::usleep(500);
                continue;
            }
            const double now = nowMs();
            const auto* samples = reinterpret_cast<const float*>(bytes.constData());
            const qsizetype count = bytes.size() / qsizetype(sizeof(float));
            float peak = 0;
            for (qsizetype i = 0; i < count; ++i)
                peak = std::max(peak, std::abs(samples[i]));
            if (peak > kHeard && lastLoudMs)
                *lastLoudMs = now;
            if ((peak > kHeard) == loud)
                return now;
        }
        return std::nullopt;
    }
    // Counts runs of `gapMs` or more of silence in the next `forMs` of recording.
    int countDropouts(int forMs, double gapMs)
    {
        const double rate = 48000;
        const qint64 until = m_clock.elapsed() + forMs;
        qint64 quiet = 0;
        int dropouts = 0;
        while (m_clock.elapsed() < until) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            const QByteArray bytes = m_stream->readAll();
            const auto* samples = reinterpret_cast<const float*>(bytes.constData());
            for (qsizetype frame = 0; frame + 1 < bytes.size() / qsizetype(sizeof(float)); frame += 2) {
                const float level = std::max(std::abs(samples[frame]), std::abs(samples[frame + 1]));
                if (level > kHeard) {
                    if (double(quiet) * 1000 / rate >= gapMs)
                        ++dropouts;
                    quiet = 0;
                } else {
                    ++quiet;
                }
            }
            if (bytes.isEmpty())
                QThread::usleep(500);
        }
        return dropouts;
    }
    void drain()
    {
        QCoreApplication::processEvents();
        m_stream->readAll();
    }
    double nowMs() const { return double(m_clock.nsecsElapsed()) / 1e6; }

private:
    std::unique_ptr<QAudioSource> m_source;
    QIODevice* m_stream = nullptr;
    QElapsedTimer m_clock;
};

struct Figures {
    std::vector<double> values;
    void add(std::optional<double> value)
    {
        if (value)
            values.push_back(*value);
    }
    void print(const char* what) const
    {
        if (values.empty()) {
            std::printf("%-44s no figure\n", what);
            return;
        }
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        std::printf("%-44s median %6.1f ms, worst %6.1f ms (%zu rounds)\n", what, sorted[sorted.size() / 2],
                    sorted.back(), sorted.size());
    }
};

// Forwards a client to rigctld, holding each answer back `delayMs`.
class DelayingProxy : public QObject {
public:
    DelayingProxy(quint16 target) : m_target(target)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* client = m_server.nextPendingConnection()) {
                auto* daemon = new QTcpSocket(client);
                daemon->connectToHost(QHostAddress::LocalHost, m_target);
                connect(client, &QTcpSocket::readyRead, daemon, [client, daemon] { daemon->write(client->readAll()); });
                connect(daemon, &QTcpSocket::readyRead, client, [this, client, daemon] {
                    const QByteArray answer = daemon->readAll();
                    QTimer::singleShot(m_delayMs, client, [client, answer] { client->write(answer); });
                });
                connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
            }
        });
    }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort()); }
    void setDelay(int ms) { m_delayMs = ms; }

private:
    QTcpServer m_server;
    quint16 m_target;
    int m_delayMs = 0;
};

// rigctld with the dummy rig, asked for its PTT over one connection.
class Rigctld {
public:
    ~Rigctld()
    {
        m_daemon.terminate();
        m_daemon.waitForFinished(kWaitMs);
    }
    bool start()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
        probe.close();
        m_daemon.start(QStringLiteral("rigctld"),
                       {"-m", "1", "-P", "RIG", "-T", "127.0.0.1", "-t", QString::number(m_port)});
        if (!m_daemon.waitForStarted(kWaitMs))
            return false;
        for (int tries = 0; tries < 100 && m_asker.state() != QAbstractSocket::ConnectedState; ++tries) {
            m_asker.connectToHost(QHostAddress::LocalHost, m_port);
            if (!m_asker.waitForConnected(100))
                QThread::msleep(50);
        }
        return m_asker.state() == QAbstractSocket::ConnectedState;
    }
    quint16 port() const { return m_port; }
    bool keyed()
    {
        m_asker.write("t\n");
        m_asker.waitForBytesWritten(kWaitMs);
        QByteArray line;
        while (!line.endsWith('\n') && m_asker.waitForReadyRead(kWaitMs))
            line += m_asker.readAll();
        return line.trimmed() == "1";
    }

private:
    QProcess m_daemon;
    QTcpSocket m_asker;
    quint16 m_port = 0;
};

// Waits for a log line containing `what`; the time it was read, in ms on the
// recorder's clock.
std::optional<double> waitForLog(Server& server, Recorder& recorder, const QString& what)
{
    QString log;
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < kWaitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        log += server.newLog();
        if (log.contains(what))
            return recorder.nowMs();
        QThread::usleep(500);
    }
    return std::nullopt;
}

// `queued`: text sent with the 0x01, so that the 0x02 comes behind it.
// `rig`/`proxy`: keying through rigctld behind the proxy, slowed once open.
void keyingFigures(const QProcessEnvironment& environment, const char* title, int queued, Rigctld* rig = nullptr)
{
    QStringList arguments{"--ptt-delay", "0", "--input", "RadioIn", "--output", "Radio"};
    std::unique_ptr<DelayingProxy> proxy;
    if (rig) {
        proxy = std::make_unique<DelayingProxy>(rig->port());
        arguments << "--rigctld" << proxy->address();
    }
    Server server;
    if (!server.start(arguments, environment))
        return;
    Recorder recorder;
    if (!recorder.start()) {
        std::printf("no recording device\n");
        return;
    }
    if (proxy) {
        waitForLog(server, recorder, QStringLiteral("PTT: rigctld"));
        proxy->setDelay(1000);
    }
    const QByteArray text(queued, 'e');
    const int rounds = queued > 0 ? 3 : kRounds;
    Figures keyToSound;
    Figures abortToSilence;
    Figures abortToRelease;
    Figures abortToDaemonRelease;
    Figures lastSampleToRelease;
    for (int round = 0; round < rounds; ++round) {
        recorder.waitFor(false);
        recorder.drain();
        double sent = recorder.nowMs();
        server.newLog();
        server.send("\x01" + text);
        if (const auto heard = recorder.waitFor(true))
            keyToSound.add(*heard - sent);
        QThread::msleep(300);
        recorder.drain();
        server.newLog();
        sent = recorder.nowMs();
        server.send("\x02");
        if (const auto silent = recorder.waitFor(false))
            abortToSilence.add(*silent - sent);
        if (const auto released = waitForLog(server, recorder, QStringLiteral("PTT off")))
            abortToRelease.add(*released - sent);
        if (rig) {
            while (rig->keyed() && recorder.nowMs() - sent < kWaitMs)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            abortToDaemonRelease.add(recorder.nowMs() - sent);
        }
        server.newLog();

        // A short transmission that ends by itself: idle, then the postamble.
        server.send("\x01" "e\x01");
        recorder.waitFor(true);
        double lastLoud = 0;
        recorder.waitFor(false, &lastLoud);
        QElapsedTimer wait;
        wait.start();
        QString log;
        while (!log.contains(QStringLiteral("PTT off")) && wait.elapsed() < kWaitMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            log += server.newLog();
            if (log.contains(QStringLiteral("PTT off")))
                lastSampleToRelease.add(recorder.nowMs() - lastLoud);
            QThread::usleep(500);
        }
    }
    std::printf("%s (recording buffer %d ms):\n", title, kRecordBufferMs);
    keyToSound.print("  0x01 to first sample heard (PTT delay 0)");
    abortToSilence.print("  0x02 to silence");
    abortToRelease.print("  0x02 to PTT off asked");
    if (rig)
        abortToDaemonRelease.print("  0x02 to PTT off at rigctld (1 s behind)");
    lastSampleToRelease.print("  last sample heard to PTT off asked");
}

// Runs of at least this much silence inside a transmission are dropouts; the
// signal's own dips at phase reversals last under a millisecond.
constexpr double kDropoutMs = 5;

void dropoutFigures(const QProcessEnvironment& environment)
{
    constexpr int kLoops = 8;
    constexpr int kSeconds = 60;
    Server server;
    if (!server.start({"--input", "RadioIn", "--output", "Radio", "--ptt-delay", "0"}, environment))
        return;
    Recorder recorder;
    if (!recorder.start())
        return;
    // Busy loops that end by themselves even if this program does not, each a
    // single process (killing `timeout` would leave its child running).
    std::vector<std::unique_ptr<QProcess>> loops;
    for (int i = 0; i < kLoops; ++i) {
        loops.push_back(std::make_unique<QProcess>());
        loops.back()->start(QStringLiteral("bash"),
                            {"-c", QStringLiteral("while [ $SECONDS -lt %1 ]; do :; done").arg(kSeconds + 30)});
    }
    QThread::sleep(2);
    // Text for longer than the measurement at 5 characters a second.
    server.send("\x01" + QByteArray(kSeconds * 6, 'e'));
    recorder.waitFor(true);
    const int dropouts = recorder.countDropouts(kSeconds * 1000, kDropoutMs);
    server.send("\x02");
    for (auto& loop : loops) {
        loop->kill();
        loop->waitForFinished(kWaitMs);
    }
    std::printf("transmitting for %d s with %d busy loops on %d cores:\n", kSeconds, kLoops,
                int(sysconf(_SC_NPROCESSORS_ONLN)));
    std::printf("  dropouts of %.0f ms or more                  %d (%.1f a minute)\n", kDropoutMs, dropouts,
                dropouts * 60.0 / kSeconds);
}

QString residentMemory(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return QString();
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return QString::fromLatin1(line.mid(6).trimmed());
    }
    return QString();
}

void listeningFigures(const QProcessEnvironment& environment)
{
    Server server;
    if (!server.start({"--input", "RadioIn", "--output", "Radio"}, environment))
        return;
    QThread::sleep(2);
    constexpr int kSeconds = 10;
    const qint64 before = cpuTicks(server.pid());
    QElapsedTimer clock;
    clock.start();
    QThread::sleep(kSeconds);
    const qint64 after = cpuTicks(server.pid());
    const double seconds = double(clock.elapsed()) / 1000;
    const double ticks = double(sysconf(_SC_CLK_TCK));
    std::printf("listening to PulseAudio for %d s:\n", kSeconds);
    std::printf("  CPU time to listening                      %.2f s\n",
                double(server.ticksToListening()) / ticks);
    std::printf("  CPU                                        %.2f %% of one core\n",
                100.0 * double(after - before) / ticks / seconds);
    std::printf("  resident memory                            %s\n", qPrintable(residentMemory(server.pid())));
}

void loopbackFigures()
{
    const QByteArray text =
        "cq cq de dl1abc dl1abc pse k. thanks for the call, name is hans, qth near hamburg. "
        "rig is 50 watts into a dipole, the weather is cold and wet today. "
        "how copy? hw? dl1abc de g4xyz: fb hans, ur rst 599, name here is john. "
        "QTH is Leeds, rig an old transceiver at 30 W, antenna a G5RV up 10 m. "
        "WX sunny but cold, 4 degrees C. Many thanks for the QSO, 73 and gl, "
        "QSL via the bureau. dl1abc de g4xyz sk";
    Server server;
    if (!server.start({"--loopback", "--snr", "-8"}, QProcessEnvironment::systemEnvironment()))
        return;
    server.send("\x01" + text + "\x01");
    QElapsedTimer clock;
    clock.start();
    const qint64 onAirMs = 1000 + text.size() * 400 + 3000;
    while (clock.elapsed() < onAirMs && !server.newLog().contains(QStringLiteral("PTT off"))) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(50);
    }
    QThread::msleep(1500);
    QCoreApplication::processEvents();
    const QByteArray decoded = server.received();
    const size_t errors = psk31::characterErrors(std::string_view(text.constData(), size_t(text.size())),
                                                 std::string_view(decoded.constData(), size_t(decoded.size())));
    std::printf("loopback at -8 dB: %zu errors in %lld characters, %.2f %% CER\n", errors,
                static_cast<long long>(text.size()), 100.0 * double(errors) / double(text.size()));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    PrivatePulse pulse;
    QString why;
    if (pulse.start(&why)) {
        // This process records through the same server.
        const QProcessEnvironment environment = pulse.environment();
        for (const char* name : {"XDG_RUNTIME_DIR", "PULSE_SERVER", "HOME"})
            qputenv(name, environment.value(QString::fromLatin1(name)).toUtf8());
        keyingFigures(environment, "through PulseAudio", 0);
        keyingFigures(environment, "with 70 KB queued", 70 * 1000);
        Rigctld rig;
        if (rig.start())
            keyingFigures(environment, "keying through rigctld behind a 1 s delay", 0, &rig);
        else
            std::printf("no rigctld\n");
        listeningFigures(environment);
        if (QCoreApplication::arguments().contains(QStringLiteral("--no-load")))
            std::printf("dropouts under load: left out\n");
        else
            dropoutFigures(environment);
    } else {
        std::printf("no sound server: %s\n", qPrintable(why));
    }
    loopbackFigures();
    return 0;
}
