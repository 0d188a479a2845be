#pragma once
// The whole receive passband as the console shows it: the input level, the
// spectrum rows a waterfall draws and every station the multi-channel
// receiver copies, each with its frequency, S/N, IMD and latest text.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace psk31 {
class MultiReceiver;
}

namespace sondrel {

struct BandSignal {
    double hz = 0;
    std::optional<double> snrDb;
    std::optional<double> imdDb;
    QString text; // the latest of its text, as Windows-1252 characters
};

class Band : public QObject {
    Q_OBJECT
public:
    // The carriers looked for; what the waterfall shows reaches a little above.
    static constexpr double kLowHz = 150;
    static constexpr double kHighHz = 3500;

    explicit Band(QObject* parent = nullptr);
    ~Band() override;

    // A new sample rate starts afresh; false (and no band) when it cannot work.
    bool setSampleRate(double rate);
    void process(const float* samples, std::size_t n);

    // The latest spectrum row from 0 Hz up to the top of the passband, linear
    // power per bin of binHz() (a full-scale sine sums to 0.5).
    const std::vector<float>& row() const { return m_row; }
    double binHz() const { return m_binHz; }
    double rowsPerSecond() const { return m_rowsPerSecond; }
    // The stations being copied, lowest first.
    QList<BandSignal> signalList() const;
    // The station copied within `withinHz` of `hz`, nearest first.
    std::optional<BandSignal> signalNear(double hz, double withinHz) const;
    // Peak input over the last row, dBFS; overload: a sample at full scale
    // within the last second.
    double inputDbfs() const { return m_inputDbfs; }
    bool overload() const { return m_overloadSamples > 0; }

signals:
    void rowReady();

private:
    std::unique_ptr<psk31::MultiReceiver> m_receiver;
    double m_rate = 0;
    double m_binHz = 0;
    double m_rowsPerSecond = 0;
    quint64 m_rows = 0;
    std::vector<float> m_row;
    float m_peak = 0;
    double m_inputDbfs = -150;
    qint64 m_overloadSamples = 0; // samples left until the overload warning clears
};

} // namespace sondrel
