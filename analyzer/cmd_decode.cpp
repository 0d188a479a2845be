// sondrel decode: the text of the BPSK31 signal in a sound file, written raw
// to standard output as it is decoded.

#include "audiofile.h"
#include "commands.h"
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
constexpr double kLowestRate = 8000;
constexpr double kHighestRate = 96000;
constexpr size_t kBlock = 4096;

int Fail(const std::string& message)
{
    std::fprintf(stderr, "sondrel decode: %s\n", message.c_str());
    return 1;
}

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
    const std::string channel = options.value("--channel").value_or("left");
    AudioReader::Pick pick = AudioReader::Pick::Left;
    if (channel == "right")
        pick = AudioReader::Pick::Right;
    else if (channel == "mix")
        pick = AudioReader::Pick::Mix;
    else if (channel != "left")
        return Fail("channel must be left, right or mix");
    if (afcRange < 0 || afcRange > psk31::Demodulator::kMaxAfcRangeHz)
        return Fail("AFC range must be from 0 to 150 Hz");

    AudioReader reader;
    if (!reader.open(options.arguments().front(), pick))
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
        while (reader.read(samples, kBlock)) {
            demodulator.process(samples.data(), samples.size(), text);
            if (!Write(text))
                return Fail("cannot write to standard output");
            text.clear();
        }
        demodulator.flush(text);
        if (!Write(text))
            return Fail("cannot write to standard output");
    } catch (const std::invalid_argument& e) {
        return Fail(e.what());
    }
    return 0;
}
