// sondrel decode: the text of the BPSK31 signal in a sound file, written raw
// to standard output as it is decoded.

#include "audiofile.h"
#include "commands.h"
#include "decoding.h"
#include "options.h"
#include "psk31/demodulator.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr double kDefaultIf = 1000;
constexpr double kDefaultAfcRange = 100;
using decoding::Fail;
using decoding::kBlock;
using decoding::kHighestRate;
using decoding::kLowestRate;
using decoding::Warn;

bool Write(const std::string& text)
{
    if (text.empty())
        return true;
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}

} // namespace

int decodeCommand(const std::vector<std::string>& args)
{
    if (std::find(args.begin(), args.end(), "--all") != args.end())
        return decodeAllCommand(args);
    Options options(args, {"--if", "--afc-range", "--channel"});
    double carrier = 0, afcRange = 0;
    if (!options.error().empty() || !options.number("--if", kDefaultIf, carrier)
        || !options.number("--afc-range", kDefaultAfcRange, afcRange))
        return Fail(options.error());
    if (options.arguments().size() != 1)
        return Fail(options.arguments().empty() ? "no input file" : "more than one input file");
    if (afcRange < 0 || afcRange > psk31::Demodulator::kMaxAfcRangeHz)
        return Fail("AFC range must be from 0 to 150 Hz");

    AudioReader reader;
    const std::string& path = options.arguments().front();
    if (!reader.open(path, options.value("--channel").value_or("left")))
        return Fail(reader.error());
    const double rate = reader.sampleRate();
    if (rate < kLowestRate || rate > kHighestRate)
        return Fail("cannot use a sample rate of " + std::to_string(int(rate)) + " Hz (8000 to 96000 Hz)");
    const double lowest = psk31::Demodulator::lowestCarrier(afcRange);
    const double highest = psk31::Demodulator::highestCarrier(rate, afcRange);
    if (carrier < lowest || carrier > highest)
        return Fail("IF " + std::to_string(int(carrier)) + " Hz with AFC range " + std::to_string(int(afcRange))
                    + " Hz is outside the band of this " + std::to_string(int(rate)) + " Hz file ("
                    + std::to_string(int(lowest)) + " to " + std::to_string(int(highest)) + " Hz)");
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    try {
        psk31::Demodulator demodulator({rate, carrier, afcRange});
        std::vector<float> samples;
        std::string text;
        bool warned = false;
        while (reader.read(samples, kBlock)) {
            demodulator.process(samples.data(), samples.size(), text);
            if (!Write(text))
                return Fail("cannot write to standard output");
            text.clear();
            if (!warned && demodulator.badSamples() > 0) {
                // Decoding goes on: the receiver takes them as a short dropout.
                Warn("samples that are not numbers or far beyond full scale, treated as silence");
                warned = true;
            }
        }
        demodulator.flush(text);
        if (!Write(text))
            return Fail("cannot write to standard output");
        if (reader.truncated())
            Warn(path + " ends before its header says it does: decoded as far as it goes");
    } catch (const std::invalid_argument& e) {
        return Fail(e.what());
    }
    return 0;
}
