#pragma once
// Where the transmitted signal goes and the received one comes from: a sound
// card, or the channel simulator in loopback. The path pulls the transmitted
// signal through a render function at its own pace, knows how much of it the
// listener has heard, and hands over what the receiver is to hear.

#include <QObject>
#include <QString>
#include <cstddef>
#include <functional>
#include <vector>

namespace sondrel {

class SignalPath : public QObject {
    Q_OBJECT
public:
    // Fills `n` samples of the transmitted signal, one channel.
    using Render = std::function<void(float* out, std::size_t n)>;

    using QObject::QObject;

    virtual bool start(Render render) = 0;
    // The output runs only while transmitting, so listening costs little.
    virtual void setTransmitting(bool on) = 0;
    // Drops what is rendered but not yet heard and keeps the output silent
    // until transmitting ends: an abort is not held up by the output's buffer.
    virtual void silence() {}
    virtual void stop() = 0;
    virtual double sampleRate() const = 0;
    // Samples handed to the render function so far.
    virtual qint64 renderedSamples() const = 0;
    // Samples of those that have been played, as well as the path can tell.
    virtual qint64 playedSamples() const = 0;
    // True when the receiver hears the transmitted signal through the path
    // itself, so the transmitter need not echo what it sends.
    virtual bool hearsItself() const = 0;
    virtual QString errorString() const = 0;

signals:
    void received(const std::vector<float>& samples);
    // The output failed or stopped pulling: the transmitter must not stay keyed.
    void outputFailed(const QString& why);
};

} // namespace sondrel
