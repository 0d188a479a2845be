#include "psk31/multireceiver.h"

#include "psk31/channelfinder.h"
#include "psk31/demodulator.h"
#include "psk31/passbanddecimator.h"
#include "psk31/powerrows.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace psk31 {
namespace {

// Room a channel needs beside its carrier: its AFC range, what the receiver
// follows beyond it and the signal's own width.
constexpr double kChannelRoomHz = 20 + 50;
constexpr double kSpectrumBinHz = 4;
constexpr double kRowsPerSecond = 16;
constexpr int kFindEveryRows = 4;
// A new channel copies from this far back, so the finder's delay costs no text.
constexpr double kHistorySeconds = 3;
// Two channels this close hold the same station; the younger one goes.
constexpr double kDuplicateHz = 10;
// Full scale is 1; far beyond it a sample is a fault, not sound.
constexpr float kLargestSample = 1e3f;

} // namespace

BandChannel::BandChannel(int id, double carrierHz, double afcRangeHz, double sampleRate,
                         double binHz, double rowsPerSecond, double startSeconds)
    : m_id(id),
      m_isolator(sampleRate, carrierHz),
      m_demodulator(std::make_unique<Demodulator>(
          Demodulator::Config{ChannelIsolator::kOutputRate, ChannelIsolator::kIfHz, afcRangeHz})),
      m_meter(binHz, rowsPerSecond),
      m_startSeconds(startSeconds),
      m_heardSeconds(startSeconds)
{
}

BandChannel::~BandChannel() = default;

double BandChannel::frequency() const
{
    return m_meter.frequency().value_or(Carrier());
}

double BandChannel::Carrier() const
{
    return m_isolator.centreHz() + m_demodulator->frequency() - ChannelIsolator::kIfHz;
}

void BandChannel::Process(const float* in, size_t n)
{
    m_isolator.process(in, n, m_isolated);
    m_demodulator->process(m_isolated.data(), m_isolated.size(), m_text);
}

void BandChannel::Flush()
{
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
    PassbandDecimator decimator;
    double rate;
    PowerRows spectrum;
    ChannelFinder finder;
    std::vector<float> input;
    std::vector<float> work;
    uint64_t badSamples = 0;
    std::vector<float> history;
    size_t historyNext = 0;
    bool historyFull = false;
    uint64_t inputSamples = 0;
    uint64_t samples = 0; // at the front end's rate
    int rowsSinceFind = 0;
    int nextId = 1;

    explicit Private(const Config& c)
        : config(c),
          decimator(c.sampleRate, c.highHz + c.channelAfcHz + kChannelRoomHz),
          rate(decimator.outputRate()),
          spectrum(rate, kSpectrumBinHz, kRowsPerSecond),
          finder({spectrum.binHz(), spectrum.rowsPerSecond(), c.lowHz, c.highHz}),
          history(size_t(kHistorySeconds * rate))
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
    d->decimator.process(d->input.data(), n, d->work);
    const std::vector<float>& work = d->work;
    // The channels take the sound up to each spectrum row before the row is
    // measured, so that a row and a receiver's state belong together.
    auto feed = [this, &work](size_t from, size_t to) {
        for (const auto& channel : m_channels)
            channel->Process(work.data() + from, to - from);
    };
    size_t fed = 0;
    for (size_t i = 0; i < work.size(); ++i) {
        d->history[d->historyNext] = work[i];
        if (++d->historyNext == d->history.size()) {
            d->historyNext = 0;
            d->historyFull = true;
        }
        ++d->samples;
        if (!d->spectrum.push(work[i]))
            continue;
        feed(fed, i + 1);
        fed = i + 1;
        Row();
    }
    feed(fed, work.size());
}

void MultiReceiver::Row()
{
    const std::vector<float>& row = d->spectrum.row();
    std::vector<double> open;
    for (const auto& channel : m_channels)
        open.push_back(channel->Carrier());
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
        open.push_back(channel->Carrier());
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
        / d->rate;
    auto channel = std::make_unique<BandChannel>(d->nextId++, hz, d->config.channelAfcHz, d->rate,
                                                 d->spectrum.binHz(), d->spectrum.rowsPerSecond(),
                                                 d->Now() - historySeconds);
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
