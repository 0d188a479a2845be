#include "rxfile.h"

#include "audiofile.h"
#include "soundcard.h"

#include <QFile>

namespace sondrel {
namespace {

constexpr int kTickMs = 20;

AudioReader::Pick pickFor(InputChannel channel)
{
    switch (channel) {
    case InputChannel::Left:
        return AudioReader::Pick::Left;
    case InputChannel::Right:
        return AudioReader::Pick::Right;
    case InputChannel::Mix:
        return AudioReader::Pick::Mix;
    }
    return AudioReader::Pick::Left;
}

} // namespace

RxFile::RxFile(QString path, InputChannel channel, QObject* parent)
    : SignalPath(parent), m_path(std::move(path)), m_channel(channel), m_reader(std::make_unique<AudioReader>())
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &RxFile::tick);
}

RxFile::~RxFile() = default;

bool RxFile::open()
{
    if (!m_reader->open(QFile::encodeName(m_path).toStdString(), pickFor(m_channel))) {
        m_error = QString::fromStdString(m_reader->error());
        return false;
    }
    return true;
}

double RxFile::sampleRate() const
{
    return m_reader->sampleRate();
}

bool RxFile::start(Render render)
{
    m_render = std::move(render);
    m_clock.start();
    m_timer.start();
    return true;
}

void RxFile::stop()
{
    m_timer.stop();
}

void RxFile::tick()
{
    const qint64 due = qint64(double(m_clock.nsecsElapsed()) * sampleRate() / 1e9) - m_rendered;
    if (due <= 0)
        return;
    m_sent.assign(size_t(due), 0.0f);
    m_render(m_sent.data(), m_sent.size());
    m_rendered += due;
    if (m_atEnd)
        return;
    m_heard.clear();
    if (!m_reader->read(m_heard, size_t(due)) || m_heard.empty()) {
        m_atEnd = true;
        emit ended();
        return;
    }
    emit received(m_heard);
}

} // namespace sondrel
