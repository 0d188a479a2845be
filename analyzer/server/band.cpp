#include "band.h"

#include "codepage.h"
#include "psk31/multireceiver.h"
#include "psk31/powerrows.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace sondrel {
namespace {

// The waterfall shows the carriers looked for and the sidebands above the top one.
constexpr double kShownHz = Band::kHighHz + 100;
// A sample this close to full scale has probably been clipped.
constexpr float kClipLevel = 0.99f;
// Enough of a station's text for a line in the signal table.
constexpr int kLatestTextBytes = 80;

} // namespace

Band::Band(QObject* parent) : QObject(parent)
{
}

Band::~Band() = default;

bool Band::setSampleRate(double rate)
{
    m_receiver.reset();
    m_rate = rate;
    m_rows = 0;
    m_row.clear();
    psk31::MultiReceiver::Config config;
    config.sampleRate = rate;
    config.lowHz = kLowHz;
    config.highHz = kHighHz;
    try {
        m_receiver = std::make_unique<psk31::MultiReceiver>(config);
    } catch (const std::invalid_argument&) {
        return false;
    }
    m_binHz = m_receiver->spectrum().binHz();
    m_rowsPerSecond = m_receiver->spectrum().rowsPerSecond();
    return true;
}

void Band::process(const float* samples, std::size_t n)
{
    if (!m_receiver)
        return;
    for (std::size_t i = 0; i < n; ++i) {
        const float level = std::abs(samples[i]);
        m_peak = std::max(m_peak, level);
        if (level >= kClipLevel)
            m_overloadSamples = qint64(m_rate);
    }
    m_overloadSamples = std::max<qint64>(0, m_overloadSamples - qint64(n));
    m_receiver->process(samples, n);
    // Ended channels are not shown; dropping them keeps memory bounded.
    m_receiver->takeEnded();
    const psk31::PowerRows& spectrum = m_receiver->spectrum();
    if (spectrum.rows() == m_rows)
        return;
    m_rows = spectrum.rows();
    const std::size_t bins = std::min(spectrum.row().size(), std::size_t(kShownHz / m_binHz) + 1);
    m_row.assign(spectrum.row().begin(), spectrum.row().begin() + long(bins));
    m_inputDbfs = m_peak > 0 ? 20 * std::log10(m_peak) : -150;
    m_peak = 0;
    emit rowReady();
}

QList<BandSignal> Band::signalList() const
{
    QList<BandSignal> list;
    if (!m_receiver)
        return list;
    for (const auto& channel : m_receiver->channels()) {
        BandSignal signal;
        signal.hz = channel->frequency();
        signal.snrDb = channel->snrDb();
        signal.imdDb = channel->imdDb();
        const std::string& text = channel->text();
        const std::size_t from = text.size() > kLatestTextBytes ? text.size() - kLatestTextBytes
                                                                : 0;
        for (std::size_t i = from; i < text.size(); ++i)
            signal.text += fw::codepage::ToChar(static_cast<unsigned char>(text[i]));
        list.append(signal);
    }
    std::sort(list.begin(), list.end(),
              [](const BandSignal& a, const BandSignal& b) { return a.hz < b.hz; });
    return list;
}

std::optional<BandSignal> Band::signalNear(double hz, double withinHz) const
{
    std::optional<BandSignal> nearest;
    for (const BandSignal& signal : signalList()) {
        const double distance = std::abs(signal.hz - hz);
        if (distance <= withinHz && (!nearest || distance < std::abs(nearest->hz - hz)))
            nearest = signal;
    }
    return nearest;
}

} // namespace sondrel
