#include "soundcard.h"

#include <QAudioSink>
#include <QAudioSource>
#include <QMediaDevices>
#include <algorithm>
#include <cstring>

namespace sondrel {
namespace {

// Long enough that a busy machine (load 8 on two cores) does not starve the
// card; an abort does not wait for it, since silence() drops what it holds.
constexpr int kOutputBufferMs = 250;
constexpr int kPushMs = 5;
// A new output stream sometimes takes its first block and then nothing, the
// sound server never starting it (PulseAudio, as on a suspended sink). It is
// reopened and given that block again, so nothing is lost; a few times, then
// the stall detector decides.
constexpr int kNeverStartedMs = 300;
constexpr int kMaxReopens = 3;
// An output that has taken nothing for this long is taken as stalled.
constexpr int kStallMs = 1000;
// Listening needs no hurry: fewer, larger reads.
constexpr int kInputBufferMs = 100;

QAudioFormat formatFor(const QAudioDevice& device)
{
    QAudioFormat format;
    format.setSampleRate(int(SoundCard::kRate));
    format.setChannelCount(std::clamp(device.maximumChannelCount(), 1, 2));
    format.setSampleFormat(QAudioFormat::Float);
    if (!device.isFormatSupported(format))
        format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

float sampleAt(const char* data, QAudioFormat::SampleFormat format)
{
    if (format == QAudioFormat::Float) {
        float value;
        std::memcpy(&value, data, sizeof value);
        return value;
    }
    qint16 value;
    std::memcpy(&value, data, sizeof value);
    return float(value) / 32768.0f;
}

void putSample(char* data, QAudioFormat::SampleFormat format, float value)
{
    if (format == QAudioFormat::Float) {
        std::memcpy(data, &value, sizeof value);
        return;
    }
    const auto scaled = qint16(std::clamp(value, -1.0f, 1.0f) * 32767.0f);
    std::memcpy(data, &scaled, sizeof scaled);
}

QAudioDevice find(const QList<QAudioDevice>& devices, const QAudioDevice& fallback, const QString& name)
{
    if (name.isEmpty())
        return fallback;
    for (const QAudioDevice& device : devices) {
        if (device.description().compare(name, Qt::CaseInsensitive) == 0)
            return device;
    }
    for (const QAudioDevice& device : devices) {
        if (device.description().contains(name, Qt::CaseInsensitive))
            return device;
    }
    return QAudioDevice();
}

} // namespace

SoundCard::SoundCard(QAudioDevice input, QAudioDevice output, InputChannel inputChannel, QObject* parent)
    : SignalPath(parent),
      m_inputDevice(std::move(input)),
      m_outputDevice(std::move(output)),
      m_inputChannel(inputChannel)
{
    m_pushTimer.setInterval(kPushMs);
    m_pushTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_pushTimer, &QTimer::timeout, this, &SoundCard::push);
}

SoundCard::~SoundCard()
{
    stop();
}

QAudioDevice SoundCard::findInput(const QString& name)
{
    return find(QMediaDevices::audioInputs(), QMediaDevices::defaultAudioInput(), name);
}

QAudioDevice SoundCard::findOutput(const QString& name)
{
    return find(QMediaDevices::audioOutputs(), QMediaDevices::defaultAudioOutput(), name);
}

QStringList SoundCard::describeDevices()
{
    QStringList lines;
    auto list = [&lines](const QString& kind, const QList<QAudioDevice>& devices, const QAudioDevice& preferred) {
        lines << kind;
        for (const QAudioDevice& device : devices) {
            lines << QStringLiteral("  %1%2 (%3 channels)")
                         .arg(device == preferred ? QStringLiteral("* ") : QStringLiteral("  "),
                              device.description())
                         .arg(device.maximumChannelCount());
        }
    };
    list(QStringLiteral("input devices (--input):"), QMediaDevices::audioInputs(), QMediaDevices::defaultAudioInput());
    list(QStringLiteral("output devices (--output):"), QMediaDevices::audioOutputs(),
         QMediaDevices::defaultAudioOutput());
    return lines;
}

bool SoundCard::soundServerRunning()
{
    return !QMediaDevices::audioOutputs().isEmpty() || !QMediaDevices::audioInputs().isEmpty();
}

bool SoundCard::start(Render render)
{
    if (m_outputDevice.isNull() || m_inputDevice.isNull()) {
        m_error = m_outputDevice.isNull() ? QStringLiteral("no such output device")
                                          : QStringLiteral("no such input device");
        return false;
    }
    m_render = std::move(render);
    m_outputFormat = formatFor(m_outputDevice);
    m_inputFormat = formatFor(m_inputDevice);
    m_source = std::make_unique<QAudioSource>(m_inputDevice, m_inputFormat);
    m_source->setBufferSize(m_inputFormat.bytesForDuration(kInputBufferMs * 1000));
    m_inputStream = m_source->start();
    if (!m_inputStream || m_source->error() != QAudio::NoError) {
        m_error = QStringLiteral("cannot open the input \"%1\"").arg(m_inputDevice.description());
        return false;
    }
    connect(m_inputStream, &QIODevice::readyRead, this, &SoundCard::onInput);
    return true;
}

void SoundCard::stop()
{
    setTransmitting(false);
    if (m_source)
        m_source->stop();
}

void SoundCard::setTransmitting(bool on)
{
    if (on == m_pushTimer.isActive())
        return;
    if (!on) {
        m_pushTimer.stop();
        closeSink();
        return;
    }
    m_reopens = 0;
    m_silenced = false;
    m_streamStart = m_rendered;
    m_firstBlock.clear();
    m_unwritten.clear();
    if (!openSink())
        return;
    m_pushTimer.start();
    push();
}

void SoundCard::silence()
{
    if (!m_sink)
        return;
    // Stopping drops what the stream holds; the rest of the transmission is
    // rendered in real time and thrown away, so its end is still known.
    // Silenced first: closing may run the push timer (see closeSink()).
    m_silenced = true;
    m_silentClock.start();
    m_silentStart = m_rendered;
    closeSink();
}

void SoundCard::closeSink()
{
    // Stopping and deleting a sink runs the event loop while the sound server
    // answers (PulseAudio), so push() may run in between: it must find no
    // sink at all, not one half taken down.
    std::unique_ptr<QAudioSink> sink = std::move(m_sink);
    m_outputStream = nullptr;
    m_unwritten.clear();
    if (!sink)
        return;
    sink->stop();
    sink.reset();
}

bool SoundCard::openSink()
{
    // A stream that never started is replaced in this order (made, old one
    // deleted, started), or the new one did not start either. The deletion may
    // run push(): without a stream it waits.
    m_outputStream = nullptr;
    m_sink = std::make_unique<QAudioSink>(m_outputDevice, m_outputFormat);
    m_sink->setBufferSize(m_outputFormat.bytesForDuration(kOutputBufferMs * 1000));
    m_outputStream = m_sink->start();
    m_writes = 0;
    m_sinceProgress.start();
    if (!m_outputStream || m_sink->error() != QAudio::NoError) {
        fail(QStringLiteral("cannot open the output \"%1\"").arg(m_outputDevice.description()));
        return false;
    }
    return true;
}

qint64 SoundCard::playedSamples() const
{
    if (!m_sink)
        return m_rendered;
    // What the stream holds, or is still to be given, has not been played.
    const qint64 held = std::max<qint64>(0, m_sink->bufferSize() - m_sink->bytesFree()) + m_unwritten.size();
    const qint64 handedOver = m_rendered - held / m_outputFormat.bytesPerFrame();
    // Nor has what the sound server took and the card has yet to play (its
    // latency, some 100 ms on PulseAudio): the stream's own count of what
    // was played says how far it got, bounded by the buffer should it lag.
    const qint64 counted = m_streamStart + m_sink->processedUSecs() * qint64(kRate) / 1000000;
    const qint64 bufferFrames = qint64(kOutputBufferMs) * qint64(kRate) / 1000;
    return std::clamp(counted, std::max(m_streamStart, handedOver - bufferFrames), std::max<qint64>(handedOver, m_streamStart));
}

void SoundCard::push()
{
    if (m_silenced) {
        const qint64 due = m_silentStart + m_silentClock.elapsed() * qint64(kRate) / 1000 - m_rendered;
        if (due > 0) {
            m_mono.assign(size_t(due), 0.0f);
            if (m_render)
                m_render(m_mono.data(), m_mono.size());
            m_rendered += due;
        }
        return;
    }
    if (!m_sink || !m_outputStream)
        return; // being closed or opened
    if (m_sink->error() != QAudio::NoError && m_sink->error() != QAudio::UnderrunError) {
        fail(QStringLiteral("the output device failed"));
        return;
    }
    const int frameBytes = m_outputFormat.bytesPerFrame();
    qint64 free = m_sink->bytesFree() / frameBytes * frameBytes;
    if (free <= 0) {
        // The first write fills the buffer; a second shows the stream runs.
        if (m_writes < 2 && m_reopens < kMaxReopens && m_sinceProgress.elapsed() > kNeverStartedMs) {
            ++m_reopens;
            m_sink->stop();
            if (openSink()) {
                // The dead stream played none of its first block: the new one gets it.
                m_unwritten.prepend(m_firstBlock);
                m_firstBlock.clear();
                m_streamStart = m_rendered - m_unwritten.size() / m_outputFormat.bytesPerFrame();
                push();
            }
        } else if (m_sinceProgress.elapsed() > kStallMs) {
            fail(QStringLiteral("the output device stalled for %1 ms").arg(m_sinceProgress.elapsed()));
        }
        return;
    }
    ++m_writes;
    m_sinceProgress.restart();
    if (!m_unwritten.isEmpty()) {
        const qint64 written = std::max<qint64>(0, m_outputStream->write(m_unwritten.constData(),
                                                                         std::min<qint64>(free, m_unwritten.size())));
        if (m_writes == 1)
            m_firstBlock.append(m_unwritten.constData(), written);
        m_unwritten.remove(0, written);
        free -= written;
        if (!m_unwritten.isEmpty() || free < frameBytes)
            return;
    }
    const qint64 frames = free / frameBytes;
    m_mono.assign(size_t(frames), 0.0f);
    if (m_render)
        m_render(m_mono.data(), m_mono.size());
    m_rendered += frames;
    const int channels = m_outputFormat.channelCount();
    const int signalChannel = channels > 1 && m_rightOutput ? 1 : 0;
    const int sampleBytes = m_outputFormat.bytesPerSample();
    const QAudioFormat::SampleFormat format = m_outputFormat.sampleFormat();
    m_outputBlock.resize(frames * frameBytes);
    for (qint64 frame = 0; frame < frames; ++frame) {
        char* out = m_outputBlock.data() + frame * frameBytes;
        for (int channel = 0; channel < channels; ++channel)
            putSample(out + channel * sampleBytes, format, channel == signalChannel ? m_mono[size_t(frame)] : 0.0f);
    }
    const qint64 written = std::max<qint64>(0, m_outputStream->write(m_outputBlock));
    // A stream that takes less than it offered keeps the rest for the next round.
    if (written < m_outputBlock.size())
        m_unwritten.append(m_outputBlock.constData() + written, m_outputBlock.size() - written);
    if (m_writes == 1)
        m_firstBlock.append(m_outputBlock.constData(), written);
}

void SoundCard::onInput()
{
    const QByteArray bytes = m_inputStream->readAll();
    const int frameBytes = m_inputFormat.bytesPerFrame();
    const int sampleBytes = m_inputFormat.bytesPerSample();
    const bool stereo = m_inputFormat.channelCount() > 1;
    const QAudioFormat::SampleFormat format = m_inputFormat.sampleFormat();
    const qsizetype frames = bytes.size() / frameBytes;
    m_inputBlock.resize(size_t(frames));
    for (qsizetype frame = 0; frame < frames; ++frame) {
        const char* in = bytes.constData() + frame * frameBytes;
        const float left = sampleAt(in, format);
        const float right = stereo ? sampleAt(in + sampleBytes, format) : left;
        m_inputBlock[size_t(frame)] = m_inputChannel == InputChannel::Left    ? left
                                      : m_inputChannel == InputChannel::Right ? right
                                                                              : 0.5f * (left + right);
    }
    if (frames > 0)
        emit received(m_inputBlock);
}

void SoundCard::fail(const QString& why)
{
    m_error = why;
    m_pushTimer.stop();
    closeSink();
    emit outputFailed(why);
}

} // namespace sondrel
