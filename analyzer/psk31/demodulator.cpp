#include "psk31/demodulator.h"

#include "psk31/acquisition.h"
#include "psk31/carriercanceller.h"
#include "psk31/carrierloop.h"
#include "psk31/liquid.h"
#include "psk31/sequencedecoder.h"
#include "psk31/squelch.h"
#include "psk31/symboltiming.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace psk31 {
namespace {

using Complex = std::complex<float>;

constexpr double kSupportedBaud = 31.25;
// The baseband runs at this many samples per symbol, whatever the baud rate.
constexpr int kSamplesPerSymbol = 16;
constexpr double kSignalHalfWidth = 50; // Hz each side of the carrier that matter
constexpr size_t kChunk = 4096;
constexpr double kTwoPi = 2 * std::numbers::pi;

// Symbols after a retune over which timing and carrier pull in.
constexpr int kPullInSymbols = 24;
// Noise is measured against a phase reference from this many symbols.
constexpr size_t kReferenceSymbols = 4;
constexpr float kReferenceCorrection = float(kReferenceSymbols) / (kReferenceSymbols - 1);
// Symbols over which the decoder's idea of the signal level is averaged:
// few, since in a fade the level changes from one symbol to the next.
constexpr float kMomentarySymbols = 2;
// The decoder weighs the symbol before as phase reference against the
// carrier loop's by how much the loop's frequency moves about (its spread,
// (radians per symbol)^2): all loop up to the first value, all symbol
// before from the second. A loop is the better reference in noise, but
// where fading turns the phase fast near each null it lags, and its own
// quick steps add phase noise between symbols. Gain swings of +-10 dB leave
// the spread near 0.0002, white noise and drift near 0.
constexpr double kCoherentSpread = 0.0005;
constexpr double kDifferentialSpread = 0.004;
// A loop that cannot follow at all (fading quick enough to make its SNR
// look poor, so it stays narrow) shows as symbols that keep their phase
// one to the next (the squelch's coherence) far better than against the
// loop (its quality): the symbol before takes over across this gap. White
// noise keeps the coherence below the quality.
constexpr double kCoherentGap = 0.15;
constexpr double kDifferentialGap = 0.35;
// Across the same gap the loop is widened as if the SNR were up to this
// many times higher: it was narrow only because the phase it did not
// follow looked like noise (1.5 Hz fading at 0 dB: 21 % to 11 %).
constexpr double kLaggingWidening = 10;

// Symbols over which text decided while the squelch is closed is judged.
constexpr int kRecentWindow = 8;
// Baseband kept to go through again when a signal is found: the
// acquisition's window and a preamble.
constexpr double kReplaySeconds = 3;
constexpr int kPendingSymbols = 64;
constexpr int kIdleReversals = 10;
constexpr int kPreambleReversals = 6; // enough to tell a preamble in replayed samples
// A line the acquisition found is taken to be there this long: a weak
// signal's line is not found in every estimate.
constexpr double kPlacedSeconds = 1;
// While the squelch stays closed on a line the acquisition keeps finding,
// every this many estimates the kept baseband goes through again: a
// preamble missed the first time may be in it now.
constexpr int kReplayEstimates = 4;
// Text decided while the newest symbols are this poor is noise's.
constexpr double kPoorQuality = 0.5;
// Symbols in the longest character with its zeros and the decision delay.
constexpr int kSettleSymbols = 14;
constexpr double kRetuneHz = 1.5;
// Around a signal held, a steady line is its own (the postamble).
constexpr double kKeepClearHz = 22;
constexpr double kHeldSeconds = 3;
// A held signal gives way to one this much nearer the tuned frequency, found
// in this many estimates in a row.
constexpr double kNearerHz = 8;
constexpr int kNearerEstimates = 3;
// A signal found in range is followed this far beyond it as it drifts.
constexpr double kTrackBeyondHz = 20;
// Halving the rate keeps the band when the band's edge is this far below the
// new Nyquist frequency (so what folds over is well in the filter's stop band).
constexpr double kHalvingMargin = 2.5;
constexpr double kHalverAttenuation = 60;
// After mixing down: decimation by a whole factor to about this rate, then an
// arbitrary resampler to the baseband rate (filter lengths in samples each side).
constexpr double kDecimatedRate = 1000;
constexpr unsigned kDecimatorLength = 10;
constexpr unsigned kResamplerLength = 20;
constexpr unsigned kResamplerFilters = 16;
constexpr double kAttenuation = 60;
// Far beyond the full scale of any sound card, even a float file written
// without normalising 16-bit values: such a sample is a fault, not signal.
constexpr float kAbsurdSample = 1e6f;
// Symbols over which the clock error is averaged.
constexpr double kClockSymbols = 2000;
// Symbols held before the clock error is worth reporting (about 16 s).
constexpr double kClockKnownSymbols = 500;

} // namespace

struct Demodulator::Private {
    Config config;
    double baud;
    double basebandRate;
    long long placedSamples;
    long long heldSamples;
    // The real input is halved in rate while the band of interest allows,
    // then mixed to baseband and resampled to the symbol-rate multiple.
    std::vector<LiquidHandle<resamp2_rrrf, resamp2_rrrf_destroy>> halvers;
    double mixRate = 0;
    std::vector<float> real;
    std::vector<bool> held;
    std::vector<float> heldSample;
    size_t bad = 0;
    double clockSymbols = 0;
    double clockError = 0; // relative: sound-card samples per symbol over nominal, less 1
    LiquidHandle<nco_crcf, nco_crcf_destroy> mixer;
    // Mixed down, then decimated by a whole factor to near 1000 Hz and
    // resampled to the baseband rate: filters short enough that making a
    // receiver costs little (a multi-stage resampler took 30 ms to design).
    LiquidHandle<firdecim_crcf, firdecim_crcf_destroy> decimator;
    unsigned decimation = 1;
    std::vector<Complex> undecimated; // samples waiting for a whole decimation block
    std::vector<Complex> decimated;
    LiquidHandle<resamp_crcf, resamp_crcf_destroy> resampler;
    LiquidHandle<firfilt_crcf, firfilt_crcf_destroy> matched;
    CarrierCanceller canceller;
    Acquisition acquisition;
    SequenceDecoder decoder;
    std::string decided;
    // Text decided while the squelch is closed, with the sample it came at:
    // given out if the squelch opens on the symbols it came from.
    std::deque<std::pair<long long, char>> pending;

    std::vector<Complex> chunk;
    std::vector<Complex> baseband;
    // The newest baseband samples, gone through again when a signal is found.
    std::vector<Complex> history;
    size_t historyNext = 0;
    size_t historyCount = 0;

    // Fine tuning in the baseband, Hz from the carrier setting.
    double fineHz = 0;
    double finePhase = 0;
    SymbolTiming timing{kSamplesPerSymbol};
    CarrierLoop loop;
    int symbolsSinceTune = 0;
    bool lineSeen = false; // the acquisition's last estimate found a signal
    double lineHz = 0;
    double placedHz = 0;  // the line the acquisition found last, and when
    long long placedAt = -(1LL << 40);
    int closedFound = 0;  // estimates since the retune that found a line while closed
    // Baseband samples: the newest one's index, the one going through the
    // receiver, the last one whose text went out.
    long long basebandIndex = 0;
    long long current = 0;
    long long emittedUpTo = -1;
    long long heldAt = -(1LL << 40); // the last sample at which the squelch was open
    long long poorAt = 0; // the last sample at which the newest symbols were poor
    int nearerSeen = 0;   // estimates in a row that found a signal nearer the tuning
    double nearerHz = 0;
    // Symbol statistics.
    float amplitude = 0;
    float momentary = 0;  // amplitude over the last few symbols
    float noise = 0;
    float previousReal = 0;
    // The symbol before, with only the loop's frequency taken out (not its
    // phase, whose quick steps are noise to a symbol-to-symbol product).
    Complex previousSymbol = 0;
    double loopFrequencyPhase = 0;
    int onesRun = 0;
    int reversalRun = 0;
    bool replaying = false;
    bool sawIdle = false; // since the last retune
    long long symbols = 0;
    std::array<Complex, kReferenceSymbols> recentSymbols{};
    Squelch squelch;

    explicit Private(const Config& c)
        : config(c)
        , baud(c.baud)
        , basebandRate(c.baud * kSamplesPerSymbol)
        , placedSamples(static_cast<long long>(kPlacedSeconds * basebandRate))
        , heldSamples(static_cast<long long>(kHeldSeconds * basebandRate))
        , canceller(basebandRate, c.afcRangeHz + kTrackBeyondHz + kSignalHalfWidth, c.baud)
        , acquisition(basebandRate, c.afcRangeHz)
        , decoder(c.decisionDelay)
        , chunk(kChunk)
        , baseband(size_t(std::ceil(kChunk * basebandRate / c.sampleRate)) + 64)
        , history(size_t(kReplaySeconds * basebandRate))
    {
        if (!c.basebandInput)
            MakeInputPath(c);
        // Each symbol is a cosine-shaped pulse two symbols long; so is the filter.
        std::vector<float> taps(2 * kSamplesPerSymbol + 1);
        float sum = 0;
        for (size_t i = 0; i < taps.size(); ++i) {
            taps[i] = float(0.5 + 0.5 * std::cos(std::numbers::pi * (double(i) - kSamplesPerSymbol) / kSamplesPerSymbol));
            sum += taps[i] * taps[i];
        }
        for (float& t : taps)
            t /= sum;
        matched.reset(firfilt_crcf_create(taps.data(), unsigned(taps.size())));
    }

    // From real sound to the baseband: halvers, mixer, decimator, resampler.
    void MakeInputPath(const Config& c)
    {
        const double band = c.carrierHz + c.afcRangeHz + kTrackBeyondHz + kSignalHalfWidth;
        mixRate = c.sampleRate;
        while (band * kHalvingMargin <= mixRate / 2 && mixRate / 2 >= 4 * basebandRate) {
            // Filter length from the transition band (Kaiser's estimate), in
            // units of four taps; early stages have room to spare and stay short.
            const double transition = (mixRate / 2 - 2 * band) / mixRate;
            const double taps = (kHalverAttenuation - 8) / (14.36 * transition);
            const unsigned semiLength = std::max(2u, unsigned(std::ceil(taps / 4)) + 1);
            halvers.emplace_back(resamp2_rrrf_create(semiLength, 0.0f, float(kHalverAttenuation)));
            mixRate /= 2;
        }
        held.assign(halvers.size(), false);
        heldSample.assign(halvers.size(), 0.0f);
        mixer.reset(nco_crcf_create(LIQUID_NCO));
        nco_crcf_set_frequency(mixer.get(), float(kTwoPi * c.carrierHz / mixRate));
        decimation = std::max(1u, unsigned(std::floor(mixRate / kDecimatedRate)));
        const double decimatedRate = mixRate / decimation;
        if (decimation > 1) {
            decimator.reset(firdecim_crcf_create_kaiser(decimation, kDecimatorLength, float(kAttenuation)));
            firdecim_crcf_set_scale(decimator.get(), 1.0f / float(decimation));
        }
        // Passes the band the receiver follows, stops what would fold into it.
        const double passHz = c.afcRangeHz + kTrackBeyondHz + kSignalHalfWidth;
        const double cutoff = 0.5 * (passHz + basebandRate / 2) / decimatedRate;
        resampler.reset(resamp_crcf_create(float(basebandRate / decimatedRate), kResamplerLength, float(cutoff),
                                           float(kAttenuation), kResamplerFilters));
    }

    // The input's 0 Hz moved by `hz`: the receiver's offsets move the other way.
    void MoveCarrier(double hz)
    {
        config.carrierHz += hz;
        fineHz -= hz;
        lineHz -= hz;
        nearerHz -= hz;
    }


    double OffsetHz() const { return fineHz + loop.step() * baud / kTwoPi; }

    // Starts the per-channel receiver afresh at `offsetHz`.
    void Retune(double offsetHz)
    {
        fineHz = offsetHz;
        firfilt_crcf_reset(matched.get());
        timing.reset();
        loop.reset();
        symbolsSinceTune = 0;
        amplitude = momentary = noise = 0;
        previousReal = 0;
        previousSymbol = 0;
        loopFrequencyPhase = 0;
        onesRun = reversalRun = 0;
        sawIdle = false;
        recentSymbols.fill(0);
        squelch.reset();
        nearerSeen = 0;
        closedFound = 0;
        decoder.reset();
        pending.clear();
    }

    // A new estimate of the signal nearest the tuned frequency; true when the
    // receiver should move to it. A signal held is left only for one nearer
    // the tuned frequency, found several times over: the station the
    // operator tuned to wins over a stronger one.
    bool Acquired()
    {
        if (!acquisition.found()) {
            nearerSeen = 0;
            lineSeen = false;
            return false;
        }
        const double found = acquisition.offsetHz();
        placedHz = found;
        placedAt = basebandIndex;
        const bool newLine = !lineSeen || std::abs(found - lineHz) > kRetuneHz;
        lineSeen = true;
        lineHz = found;
        // A signal that appears while the squelch is closed is taken from
        // its start, even at the frequency the receiver is on already.
        if (!squelch.open())
            return newLine || std::abs(found - OffsetHz()) > kRetuneHz || ++closedFound % kReplayEstimates == 0;
        // Symbols that keep no phase under an open squelch are no hold: the
        // carrier loop slips beside a signal an early estimate placed wrongly.
        if (squelch.phaseLost() && std::abs(found - OffsetHz()) > kRetuneHz)
            return true;
        const bool nearer = std::abs(found) + kNearerHz < std::abs(OffsetHz());
        nearerSeen = nearer && std::abs(found - nearerHz) < kRetuneHz ? nearerSeen + 1 : nearer ? 1 : 0;
        nearerHz = found;
        return nearerSeen >= kNearerEstimates;
    }

    void Baseband(Complex raw, std::string* out)
    {
        // Only a signal held (or just ended, its postamble) is kept clear
        // of: before that, a carrier where the receiver happens to sit must
        // go, or the search keeps finding it.
        if (squelch.open())
            heldAt = basebandIndex;
        const bool held = squelch.open() || basebandIndex - heldAt < heldSamples;
        canceller.keepClearOf(OffsetHz(), held ? kKeepClearHz : -1);
        const Complex x = canceller.process(raw);
        history[historyNext] = x;
        historyNext = (historyNext + 1) % history.size();
        historyCount = std::min(historyCount + 1, history.size());
        if (acquisition.push(x) && Acquired()) {
            // A signal is found only a while after it starts: its first
            // symbols, kept here, go through the receiver again at its
            // frequency, so the squelch can open on its preamble.
            Retune(acquisition.offsetHz());
            replaying = true;
            for (size_t i = historyCount; i > 0; --i) {
                current = basebandIndex - static_cast<long long>(i) + 1;
                Channel(history[(historyNext + history.size() - i) % history.size()], out);
            }
            replaying = false;
            ++basebandIndex;
            return;
        }
        current = basebandIndex++;
        Channel(x, out);
    }

    // The per-channel receiver: fine tuning, matched filter, symbol timing.
    void Channel(Complex x, std::string* out)
    {
        finePhase = std::fmod(finePhase + kTwoPi * fineHz / basebandRate, kTwoPi);
        const Complex tuned = x * std::polar(1.0f, float(-finePhase));
        Complex y;
        firfilt_crcf_push(matched.get(), tuned);
        firfilt_crcf_execute(matched.get(), &y);
        if (timing.push(y, symbolsSinceTune < kPullInSymbols))
            Symbol(timing.symbol(), out);
    }

    void Symbol(Complex y, std::string* out)
    {
        const double correction = timing.correction();
        // A sound card whose clock runs fast makes every symbol a little longer.
        // A plain mean at first, then one that forgets slowly.
        // Not while pulling in: those steps find the symbols, not the clock.
        if (squelch.open() && symbolsSinceTune >= kPullInSymbols) {
            clockSymbols = std::min(clockSymbols + 1, kClockSymbols);
            clockError += (correction / kSamplesPerSymbol - clockError) / clockSymbols;
        }

        const Complex u = loop.correct(y);
        loopFrequencyPhase = std::remainder(loopFrequencyPhase + loop.step(), kTwoPi);
        const Complex symbol = y * std::polar(1.0f, float(-loopFrequencyPhase));
        const float re = u.real();
        // Until the squelch opens the loop stays wide, so it pulls in on a
        // signal as soon as one starts. Symbols that lost their coherence
        // (the signal ended, or is deep in a fade) get the quiet loop, which
        // does not follow noise.
        ++symbolsSinceTune;
        const bool held = squelch.open() && symbolsSinceTune >= kPullInSymbols;
        const double snr = held && noise > 0 && squelch.coherent()
            ? double(amplitude) * amplitude / noise * (1 + kLaggingWidening * LoopLags())
            : 0.0;
        fineHz += loop.steer(u, held, snr) * baud / kTwoPi;
        // Forget a carrier that wandered out of range.
        if (std::abs(fineHz) > config.afcRangeHz + kTrackBeyondHz)
            Retune(0);

        amplitude += (std::abs(re) - amplitude) / 32;
        // The decoder weighs symbols by the level of the moment (it changes in fades).
        momentary += (std::abs(re) - momentary) / kMomentarySymbols;
        // Noise is measured against a quick phase reference from the last few
        // symbols, so that the loop's own tracking error does not count as noise.
        recentSymbols[size_t(symbols % recentSymbols.size())] = u;
        Complex squares = 0;
        for (const Complex& v : recentSymbols)
            squares += v * v;
        const Complex reference = std::polar(1.0f, -0.5f * std::arg(squares));
        const float off = (u * reference).imag();
        noise += (off * off * kReferenceCorrection - noise) / 32;
        ++symbols;
        onesRun = (re > 0) == (previousReal > 0) ? onesRun + 1 : 0;
        reversalRun = (re > 0) != (previousReal > 0) ? reversalRun + 1 : 0;
        sawIdle = sawIdle || reversalRun >= kPreambleReversals;
        previousReal = re;
        squelch.push(u, {onesRun, replaying, sawIdle, Placed()});
        const bool open = squelch.open();
        decided.clear();
        const double spread = std::clamp((loop.spread() - kCoherentSpread) / (kDifferentialSpread - kCoherentSpread), 0.0, 1.0);
        const double weight = std::max(spread, LoopLags());
        const float product = amplitude > 0 ? (symbol * std::conj(previousSymbol)).real() / amplitude : 0.0f;
        previousSymbol = symbol;
        decoder.push(re, momentary, std::max(noise, 1e-12f), &decided, product, float(weight));
        if (open) {
            // The symbols that opened the squelch carried text too: the
            // first characters of an over are its calls.
            // What went out before is not given again when the same
            // samples go through the receiver a second time.
            if (out) {
                for (const auto& [index, byte] : pending) {
                    if (index > emittedUpTo)
                        out->push_back(byte);
                }
                if (current > emittedUpTo)
                    out->append(decided);
            }
            emittedUpTo = std::max(emittedUpTo, current);
            pending.clear();
            return;
        }
        // A preamble or idle comes before an over's text: whatever was
        // decided before it came from noise or the signal's first edge. So
        // did a character decided soon after the symbols were last poor.
        if (squelch.quality(kRecentWindow) < kPoorQuality)
            poorAt = current;
        if (reversalRun >= kIdleReversals || current == poorAt)
            pending.clear();
        if (current - poorAt >= kSettleSymbols * kSamplesPerSymbol) {
            for (char byte : decided)
                pending.emplace_back(current, byte);
        }
        while (!pending.empty() && pending.front().first + kPendingSymbols * kSamplesPerSymbol < current)
            pending.pop_front();
    }

    // How far the symbols keep their phase one to the next better than
    // against the carrier loop, from 0 (no better) to 1: the loop does not
    // follow the signal.
    double LoopLags() const
    {
        const double gap = squelch.coherence() - squelch.quality(Squelch::kWindow);
        return std::clamp((gap - kCoherentGap) / (kDifferentialGap - kCoherentGap), 0.0, 1.0);
    }

    // Whether the acquisition's latest estimate has a signal where the
    // receiver sits. Until it has, the receiver may sit a few hertz beside a
    // signal that just started, out of reach of its carrier loop.
    bool Placed() const
    {
        return basebandIndex - placedAt < placedSamples && std::abs(placedHz - OffsetHz()) <= kRetuneHz;
    }

    void Process(const float* in, size_t n, std::string* out)
    {
        while (n > 0) {
            size_t count = std::min(n, kChunk);
            in += count;
            n -= count;
            real.assign(in - count, in);
            for (float& x : real) {
                if (!(std::abs(x) < kAbsurdSample)) {
                    x = 0;
                    ++bad;
                }
            }
            for (size_t h = 0; h < halvers.size(); ++h) {
                // An odd sample left over waits for the next block.
                if (held[h]) {
                    real.insert(real.begin(), heldSample[h]);
                    held[h] = false;
                }
                const size_t pairs = real.size() / 2;
                if (real.size() % 2) {
                    held[h] = true;
                    heldSample[h] = real.back();
                }
                for (size_t i = 0; i < pairs; ++i)
                    resamp2_rrrf_decim_execute(halvers[h].get(), &real[2 * i], &real[i]);
                real.resize(pairs);
            }
            count = real.size();
            for (size_t i = 0; i < count; ++i)
                chunk[i] = Complex(real[i], 0);
            nco_crcf_mix_block_down(mixer.get(), chunk.data(), chunk.data(), unsigned(count));
            Complex* resample = chunk.data();
            if (decimator) {
                undecimated.insert(undecimated.end(), chunk.begin(), chunk.begin() + long(count));
                const size_t blocks = undecimated.size() / decimation;
                decimated.resize(blocks);
                firdecim_crcf_execute_block(decimator.get(), undecimated.data(), unsigned(blocks), decimated.data());
                undecimated.erase(undecimated.begin(), undecimated.begin() + long(blocks * decimation));
                resample = decimated.data();
                count = blocks;
            }
            unsigned produced = 0;
            resamp_crcf_execute_block(resampler.get(), resample, unsigned(count), baseband.data(), &produced);
            for (unsigned i = 0; i < produced; ++i)
                Baseband(baseband[i], out);
        }
    }
};

double Demodulator::lowestCarrier(double afcRangeHz)
{
    return afcRangeHz + kTrackBeyondHz + kSignalHalfWidth;
}

double Demodulator::highestCarrier(double sampleRate, double afcRangeHz)
{
    return sampleRate / 2 - afcRangeHz - kTrackBeyondHz - kSignalHalfWidth;
}

Demodulator::Demodulator(const Config& config)
{
    // Other rates need the filters and limits in hertz (signal width, AFC
    // margins, the decoder's neighbour share) made for them first.
    if (config.baud != kSupportedBaud)
        throw std::invalid_argument("only 31.25 baud is supported");
    if (!(config.afcRangeHz >= 0 && config.afcRangeHz <= kMaxAfcRangeHz))
        throw std::invalid_argument("AFC range must be between 0 and 150 Hz");
    if (config.basebandInput) {
        d = std::make_unique<Private>(config);
        return;
    }
    if (!(config.sampleRate >= 4000 && config.sampleRate <= 384000))
        throw std::invalid_argument("sample rate must be between 4000 and 384000 Hz");
    if (!(config.carrierHz >= lowestCarrier(config.afcRangeHz)
          && config.carrierHz <= highestCarrier(config.sampleRate, config.afcRangeHz)))
        throw std::invalid_argument("carrier frequency outside the band of the sample rate");
    d = std::make_unique<Private>(config);
}

Demodulator::~Demodulator() = default;

void Demodulator::process(const float* in, size_t n, std::string& out)
{
    if (d->config.basebandInput)
        throw std::logic_error("a receiver for baseband input takes processBaseband()");
    d->Process(in, n, &out);
}

void Demodulator::processBaseband(const std::complex<float>* in, size_t n, std::string& out)
{
    if (!d->config.basebandInput)
        throw std::logic_error("a receiver for sound takes process()");
    for (size_t i = 0; i < n; ++i) {
        const bool good = std::abs(in[i].real()) < kAbsurdSample && std::abs(in[i].imag()) < kAbsurdSample;
        d->bad += good ? 0 : 1;
        d->Baseband(good ? in[i] : Complex(), &out);
    }
}

void Demodulator::moveCarrier(double carrierHz)
{
    d->MoveCarrier(carrierHz - d->config.carrierHz);
}

void Demodulator::flush(std::string& out)
{
    // Push the filters' contents through with silence, then decide the rest.
    if (d->config.basebandInput) {
        for (int i = 0; i < int(0.1 * d->basebandRate); ++i)
            d->Baseband(0, d->squelch.open() ? &out : nullptr);
    } else {
        std::vector<float> silence(size_t(d->config.sampleRate * 0.1), 0.0f);
        d->Process(silence.data(), silence.size(), d->squelch.open() ? &out : nullptr);
    }
    if (d->squelch.open())
        d->decoder.flush(&out);
}

double Demodulator::frequency() const
{
    return d->config.carrierHz + d->OffsetHz();
}

bool Demodulator::locked() const
{
    return d->squelch.open();
}

double Demodulator::clockErrorPpm() const
{
    return d->clockError * 1e6;
}

bool Demodulator::clockErrorKnown() const
{
    return d->clockSymbols >= kClockKnownSymbols;
}

size_t Demodulator::badSamples() const
{
    return d->bad;
}

} // namespace psk31
