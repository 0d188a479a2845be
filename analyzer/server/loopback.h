#pragma once
// The signal path without a radio: the transmitted signal goes through the
// channel simulator (noise, offset) straight into the receiver, in real time.

#include "signalpath.h"

#include <QElapsedTimer>
#include <QTimer>
#include <memory>

namespace psk31 {
class Channel;
}

namespace sondrel {

struct LoopbackOptions {
    double snrDb = 20;
    double offsetHz = 0;
    bool noise = true;
    double peak = 0.5;  // the transmitter's, for the signal power the SNR refers to
};

class Loopback : public SignalPath {
    Q_OBJECT
public:
    static constexpr double kRate = 8000;

    explicit Loopback(LoopbackOptions options, QObject* parent = nullptr);
    ~Loopback() override;

    bool start(Render render) override;
    void stop() override;
    void setTransmitting(bool) override {}
    double sampleRate() const override { return kRate; }
    qint64 renderedSamples() const override { return m_rendered; }
    qint64 playedSamples() const override { return m_rendered; }
    bool hearsItself() const override { return true; }
    QString errorString() const override { return QString(); }

private:
    void tick();

    std::unique_ptr<psk31::Channel> m_channel;
    Render m_render;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_rendered = 0;
    std::vector<float> m_sent;
    std::vector<float> m_heard;
};

} // namespace sondrel
