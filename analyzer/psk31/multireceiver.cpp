#include "psk31/multireceiver.h"

#include "psk31/channelfinder.h"
#include "psk31/demodulator.h"
#include "psk31/basebandfrontend.h"
#include "psk31/powerrows.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace psk31 {
namespace {

// Room a channel needs beside its carrier: its AFC range, what the receiver
// follows beyond it and what its channel filter takes in.
constexpr double kChannelRoomHz = 20 + ChannelIsolator::kReachHz;
constexpr double kSpectrumBinHz = 4;
constexpr double kRowsPerSecond = 16;
constexpr int kFindEveryRows = 4;
// A new channel copies from this far back, so the finder's delay costs no text.
constexpr double kHistorySeconds = 3;
// Two channels this close hold the same station; the younger one goes.
constexpr double kDuplicateHz = 10;
// Full scale is 1; far beyond it a sample is a fault, not sound.
constexpr float kLargestSample = 1e3f;
// A channel moves its mixer onto its station once the receiver holds it this
// far off centre: the station stays in the middle of the channel filter and
// of the receiver's AFC range however far it drifts. It moves by at most
// that much twice a second, quicker than any station drifts but slower than
// a receiver wanders in the noise a moment after a signal ended abruptly.
constexpr double kFollowHz = 1;
constexpr uint64_t kFollowEvery = uint64_t(Demodulator::kBasebandInputRate / 2);

} // namespace

BandChannel::BandChannel(int id, double carrierHz, double afcRangeHz, double inputRate,
                         double inputCentreHz, double lowestHz, double highestHz, double binHz,
                         double rowsPerSecond, double startSeconds)
    : m_id(id),
      m_isolator(inputRate, inputCentreHz, Demodulator::kBasebandInputRate, carrierHz),
      m_lowestHz(lowestHz),
      m_highestHz(highestHz),
      m_meter(binHz, rowsPerSecond),
      m_startSeconds(startSeconds),
      m_heardSeconds(startSeconds)
{
    Demodulator::Config config;
    config.carrierHz = carrierHz;
    config.afcRangeHz = afcRangeHz;
    config.basebandInput = true;
    m_demodulator = std::make_unique<Demodulator>(config);
}

BandChannel::~BandChannel() = default;

double BandChannel::frequency() const
{
    return m_meter.frequency().value_or(Carrier());
}

double BandChannel::Carrier() const
{
    return m_demodulator->frequency();
}

void BandChannel::Process(const std::complex<float>* in, size_t n)
{
    m_isolator.process(in, n, m_isolated);
    size_t from = 0;
    // The receiver learns of a move of the mixer when the samples mixed
    // after it come out of the channel's filters.
    if (m_move && m_move->first < m_outputs + m_isolated.size()) {
        from = size_t(m_move->first - std::min(m_move->first, m_outputs));
        m_demodulator->processBaseband(m_isolated.data(), from, m_text);
        m_demodulator->moveCarrier(m_move->second);
        m_move.reset();
    }
    m_demodulator->processBaseband(m_isolated.data() + from, m_isolated.size() - from, m_text);
    m_outputs += m_isolated.size();
    Follow();
}

void BandChannel::Follow()
{
    if (m_move || !m_demodulator->locked() || m_outputs < m_movedAt + kFollowEvery)
        return;
    const double centre = m_isolator.centreHz();
    const double hz = std::clamp(
        std::clamp(m_demodulator->frequency(), centre - kFollowHz, centre + kFollowHz),
        m_lowestHz, m_highestHz);
    if (std::abs(hz - centre) < kFollowHz)
        return;
    m_isolator.moveTo(hz);
    m_movedAt = m_outputs;
    m_move = {m_outputs + ChannelIsolator::kDelay, hz};
}

void BandChannel::Flush()
{
    // What the channel's filters still hold goes through first.
    const std::vector<std::complex<float>> silence(2 * ChannelIsolator::kDelay
                                                   * m_isolator.factor());
    Process(silence.data(), silence.size());
    m_demodulator->flush(m_text);
}
std::optional<double> BandChannel::clockPpm() const
{
    // The channel's rate is an exact ratio of the sound card's, so its
    // clock error is the sound card's.
    if (!m_demodulator->clockErrorKnown())
        return std::nullopt;
    return m_demodulator->clockErrorPpm();
}

bool BandChannel::locked() const
{
    return m_demodulator->locked();
}

struct MultiReceiver::Private {
    Config config;
    BasebandFrontEnd frontEnd;
    double rate;     // the spectrum's, of the real passband
    double baseRate; // the channels', of the complex baseband
    PowerRows spectrum;
    ChannelFinder finder;
    std::vector<float> input;
    std::vector<float> work;
    std::vector<std::complex<float>> baseband;
    uint64_t badSamples = 0;
    std::vector<std::complex<float>> history;
    size_t historyNext = 0;
    bool historyFull = false;
    uint64_t inputSamples = 0;
    uint64_t samples = 0; // at the spectrum's rate
    uint64_t basebandSamples = 0;
    int rowsSinceFind = 0;
    int nextId = 1;

    explicit Private(const Config& c)
        : config(c),
          frontEnd(c.sampleRate, c.lowHz - c.channelAfcHz - kChannelRoomHz,
                   c.highHz + c.channelAfcHz + kChannelRoomHz, Demodulator::kBasebandInputRate),
          rate(frontEnd.realRate()),
          baseRate(frontEnd.rate()),
          spectrum(rate, kSpectrumBinHz, kRowsPerSecond),
          finder({spectrum.binHz(), spectrum.rowsPerSecond(), c.lowHz, c.highHz}),
          history(size_t(kHistorySeconds * baseRate))
    {
    }

    double Now() const { return double(samples) / rate; }
};

MultiReceiver::MultiReceiver(const Config& config)
{
    if (!(config.sampleRate >= 4000 && config.sampleRate <= 384000))
        throw std::invalid_argument("sample rate must be between 4000 and 384000 Hz");
    if (!(config.channelAfcHz >= 0 && config.channelAfcHz <= Demodulator::kMaxAfcRangeHz))
        throw std::invalid_argument("channel AFC range must be between 0 and 150 Hz");
    if (!(config.lowHz >= Demodulator::lowestCarrier(config.channelAfcHz)
          && config.lowHz < config.highHz
          && config.highHz <= Demodulator::highestCarrier(config.sampleRate, config.channelAfcHz)))
        throw std::invalid_argument("passband outside the band of the sample rate");
    if (config.maxChannels == 0 || !(config.silenceSeconds > 0))
        throw std::invalid_argument("need at least one channel and a silence limit");
    d = std::make_unique<Private>(config);
}

MultiReceiver::~MultiReceiver() = default;

void MultiReceiver::process(const float* in, size_t n)
{
    d->inputSamples += n;
    // One NaN would stay in every average for good: bad samples become silence.
    d->input.assign(in, in + n);
    for (float& x : d->input) {
        if (!(std::abs(x) <= kLargestSample)) {
            x = 0;
            ++d->badSamples;
        }
    }
    d->frontEnd.process(d->input.data(), n, d->work, d->baseband);
    const std::vector<float>& work = d->work;
    const std::vector<std::complex<float>>& baseband = d->baseband;
    // The channels take the baseband up to each spectrum row before the row
    // is measured, so that a row and a receiver's state belong together.
    const uint64_t basebandBefore = d->basebandSamples;
    d->basebandSamples += baseband.size();
    size_t fed = 0;
    auto feed = [this, &baseband, &fed](size_t to) {
        to = std::clamp(to, fed, baseband.size());
        for (size_t i = fed; i < to; ++i) {
            d->history[d->historyNext] = baseband[i];
            if (++d->historyNext == d->history.size()) {
                d->historyNext = 0;
                d->historyFull = true;
            }
        }
        for (const auto& channel : m_channels)
            channel->Process(baseband.data() + fed, to - fed);
        fed = to;
    };
    for (size_t i = 0; i < work.size(); ++i) {
        ++d->samples;
        if (!d->spectrum.push(work[i]))
            continue;
        const double due = std::floor(double(d->samples) * d->baseRate / d->rate);
        feed(size_t(std::max(0.0, due - double(basebandBefore))));
        Row();
    }
    feed(baseband.size());
}

void MultiReceiver::Row()
{
    const std::vector<float>& row = d->spectrum.row();
    // Where the channels are: their centres follow their stations slowly,
    // while a receiver may wander for a moment after its signal ended.
    std::vector<double> open;
    for (const auto& channel : m_channels)
        open.push_back(channel->m_isolator.centreHz());
    d->finder.addRow(row, open);
    const double now = d->Now();
    for (const auto& channel : m_channels) {
        const double hz = channel->Carrier();
        const bool locked = channel->locked();
        channel->m_meter.addRow(row, d->finder.noiseAt(hz), hz, locked);
        if (locked || d->finder.signalAt(hz))
            channel->m_heardSeconds = now;
    }
    // A channel that fell silent, or that came to hold an older channel's
    // station, ends.
    for (size_t i = 0; i < m_channels.size();) {
        BandChannel& channel = *m_channels[i];
        const bool silent = now - channel.m_heardSeconds >= d->config.silenceSeconds;
        const bool duplicate = std::any_of(
            m_channels.begin(), m_channels.begin() + long(i), [&](const auto& older) {
                return std::abs(older->Carrier() - channel.Carrier()) < kDuplicateHz;
            });
        if (silent || duplicate) {
            channel.Flush();
            m_ended.push_back(std::move(m_channels[i]));
            m_channels.erase(m_channels.begin() + long(i));
        } else {
            ++i;
        }
    }
    if (++d->rowsSinceFind < kFindEveryRows)
        return;
    d->rowsSinceFind = 0;
    open.clear();
    for (const auto& channel : m_channels)
        open.push_back(channel->m_isolator.centreHz());
    for (double hz : d->finder.find(open)) {
        if (m_channels.size() >= d->config.maxChannels)
            break;
        if (hz < d->config.lowHz || hz > d->config.highHz)
            continue;
        Start(std::round(hz * 10) / 10);
    }
}

void MultiReceiver::Start(double hz)
{
    const double historySeconds = double(d->historyFull ? d->history.size() : d->historyNext)
        / d->baseRate;
    const double lowest = d->config.lowHz - d->config.channelAfcHz;
    const double highest = d->config.highHz + d->config.channelAfcHz;
    auto channel = std::make_unique<BandChannel>(
        d->nextId++, hz, d->config.channelAfcHz, d->baseRate, d->frontEnd.centreHz(), lowest,
        highest, d->spectrum.binHz(), d->spectrum.rowsPerSecond(), d->Now() - historySeconds);
    if (d->historyFull)
        channel->Process(d->history.data() + d->historyNext, d->history.size() - d->historyNext);
    channel->Process(d->history.data(), d->historyNext);
    channel->m_heardSeconds = d->Now();
    m_channels.push_back(std::move(channel));
}

void MultiReceiver::flush()
{
    for (const auto& channel : m_channels)
        channel->Flush();
}

std::vector<std::unique_ptr<BandChannel>> MultiReceiver::takeEnded()
{
    return std::exchange(m_ended, {});
}

const PowerRows& MultiReceiver::spectrum() const
{
    return d->spectrum;
}

double MultiReceiver::seconds() const
{
    return double(d->inputSamples) / d->config.sampleRate;
}

uint64_t MultiReceiver::badSamples() const
{
    return d->badSamples;
}

void MultiReceiver::reset()
{
    m_channels.clear();
    m_ended.clear();
    d = std::make_unique<Private>(d->config);
}

} // namespace psk31
