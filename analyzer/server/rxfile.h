#pragma once
// The signal path for trying the receiver on a recording: the file is played
// into the receiver in real time, and what is transmitted goes nowhere (but is
// still paced and echoed as if a sound card played it).

#include "signalpath.h"

#include <QElapsedTimer>
#include <QTimer>
#include <memory>

class AudioReader;

namespace sondrel {

enum class InputChannel;

class RxFile : public SignalPath {
    Q_OBJECT
public:
    RxFile(QString path, InputChannel channel, QObject* parent = nullptr);
    ~RxFile() override;

    // Opens the file, so the rate is known before the modem is built.
    bool open();
    bool start(Render render) override;
    void stop() override;
    void setTransmitting(bool) override {}
    double sampleRate() const override;
    qint64 renderedSamples() const override { return m_rendered; }
    qint64 playedSamples() const override { return m_rendered; }
    bool hearsItself() const override { return false; }
    QString errorString() const override { return m_error; }

signals:
    void ended();

private:
    void tick();

    QString m_path;
    InputChannel m_channel;
    std::unique_ptr<AudioReader> m_reader;
    Render m_render;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_rendered = 0;
    bool m_atEnd = false;
    std::vector<float> m_sent;
    std::vector<float> m_heard;
    QString m_error;
};

} // namespace sondrel
