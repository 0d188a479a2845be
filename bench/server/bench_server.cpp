// Figures of the analyzer server, the real program throughout:
// - through a private PulseAudio server, with the sink's monitor recorded
//   here: 0x01 to the first sample heard (PTT delay 0), 0x02 to silence, and
//   the last sample heard to the "PTT off" report;
// - CPU and resident memory while listening to the sound server;
// - character errors of text sent through --loopback at -8 dB.
// The recording adds its own latency to the first two figures and takes it
// off the third; its buffer is printed with them.

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
#include <QTcpSocket>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWaitMs = 10000;
constexpr int kRecordBufferMs = 10;
constexpr float kHeard = 0.02f;  // a sample above this is signal (peak 0.5, -28 dB)
constexpr int kRounds = 5;

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
        m_process.start(QStringLiteral(SONDREL_EXE), QStringList{"--port", "0"} + arguments);
        const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < kWaitMs && m_process.state() != QProcess::NotRunning) {
            m_process.waitForReadyRead(20);
            m_log += QString::fromUtf8(m_process.readAllStandardError());
            const auto match = listening.match(m_log);
            if (match.hasMatch()) {
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

private:
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

void soundServerFigures(const QProcessEnvironment& environment)
{
    Server server;
    if (!server.start({"--ptt-delay", "0", "--input", "RadioIn", "--output", "Radio"}, environment))
        return;
    Recorder recorder;
    if (!recorder.start()) {
        std::printf("no recording device\n");
        return;
    }
    Figures keyToSound;
    Figures abortToSilence;
    Figures lastSampleToRelease;
    for (int round = 0; round < kRounds; ++round) {
        recorder.waitFor(false);
        recorder.drain();
        double sent = recorder.nowMs();
        server.send("\x01");
        if (const auto heard = recorder.waitFor(true))
            keyToSound.add(*heard - sent);
        QThread::msleep(300);
        recorder.drain();
        sent = recorder.nowMs();
        server.send("\x02");
        if (const auto silent = recorder.waitFor(false))
            abortToSilence.add(*silent - sent);
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
    std::printf("through PulseAudio (recording buffer %d ms):\n", kRecordBufferMs);
    keyToSound.print("  0x01 to first sample heard (PTT delay 0)");
    abortToSilence.print("  0x02 to silence");
    lastSampleToRelease.print("  last sample heard to PTT off");
}

qint64 cpuTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = stat.readAll().split(')').last().split(' ');
    // After the command: state is field 1; utime and stime are fields 12 and 13.
    return fields.value(12).toLongLong() + fields.value(13).toLongLong();
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
        soundServerFigures(environment);
        listeningFigures(environment);
    } else {
        std::printf("no sound server: %s\n", qPrintable(why));
    }
    loopbackFigures();
    return 0;
}
