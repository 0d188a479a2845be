#pragma once
// The signal path through a real sound card with Qt Multimedia: while
// transmitting, the output is kept up to 250 ms ahead with the
// signal in one channel (the other silent, a mono device gets it as it is);
// the input delivers one channel or both mixed.

#include "signalpath.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QElapsedTimer>
#include <QTimer>
#include <memory>

class QAudioSink;
class QAudioSource;
class QIODevice;

namespace sondrel {

enum class InputChannel { Left, Right, Mix };

class SoundCard : public SignalPath {
    Q_OBJECT
public:
    static constexpr double kRate = 48000;

    SoundCard(QAudioDevice input, QAudioDevice output, InputChannel inputChannel, QObject* parent = nullptr);
    ~SoundCard() override;

    // Which output channel carries the signal; may change between transmissions.
    void setRightOutput(bool right) { m_rightOutput = right; }

    bool start(Render render) override;
    void stop() override;
    void setTransmitting(bool on) override;
    void silence() override;
    double sampleRate() const override { return kRate; }
    qint64 renderedSamples() const override { return m_rendered; }
    qint64 playedSamples() const override;
    bool hearsItself() const override { return false; }
    QString errorString() const override { return m_error; }

    // "name" matched against the descriptions, case-insensitively, whole first
    // and then as a part; the default device for an empty name.
    static QAudioDevice findInput(const QString& name);
    static QAudioDevice findOutput(const QString& name);
    static QStringList describeDevices();
    // Whether a sound server answers: without one there are no devices at
    // all, while a running one always offers at least a stand-in output.
    static bool soundServerRunning();

private:
    bool openSink();
    void closeSink();
    void push();
    void onInput();
    void fail(const QString& why);

    QAudioDevice m_inputDevice;
    QAudioDevice m_outputDevice;
    InputChannel m_inputChannel;
    QAudioFormat m_outputFormat;
    QAudioFormat m_inputFormat;
    std::unique_ptr<QAudioSink> m_sink;
    std::unique_ptr<QAudioSource> m_source;
    QIODevice* m_outputStream = nullptr;
    QIODevice* m_inputStream = nullptr;
    QByteArray m_outputBlock;
    Render m_render;
    bool m_rightOutput = false;
    qint64 m_rendered = 0;
    std::vector<float> m_mono;
    std::vector<float> m_inputBlock;
    QElapsedTimer m_sinceProgress;
    int m_writes = 0;  // into the stream now open
    int m_reopens = 0; // of a stream that never started, this transmission
    QByteArray m_firstBlock; // what a new stream took first, for its replacement
    QByteArray m_unwritten;  // rendered, not yet taken by the stream
    qint64 m_streamStart = 0; // the rendered sample the open stream plays first
    bool m_silenced = false;
    QElapsedTimer m_silentClock;
    qint64 m_silentStart = 0;
    QTimer m_pushTimer;
    QString m_error;
};

} // namespace sondrel
