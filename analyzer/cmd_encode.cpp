// sondrel encode: the bytes on standard input as one BPSK31 transmission in a
// WAV file.

#include "audiofile.h"
#include "commands.h"
#include "options.h"
#include "psk31/modulator.h"

#include <cmath>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr double kDefaultIf = 1000;
constexpr double kDefaultRate = 48000;
constexpr double kDefaultLevel = -6;
constexpr double kLowestRate = 8000;
constexpr double kHighestRate = 96000;
constexpr double kEdgeHz = 50; // room the signal needs on each side of the carrier

int Fail(const std::string& message)
{
    std::fprintf(stderr, "sondrel encode: %s\n", message.c_str());
    return 1;
}

std::string ReadAll(std::FILE* in)
{
#ifdef _WIN32
    _setmode(_fileno(in), _O_BINARY);
#endif
    std::string bytes;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0)
        bytes.append(buffer, got);
    return bytes;
}

} // namespace

int encodeCommand(const std::vector<std::string>& args)
{
    Options options(args, {"--if", "--rate", "--channel", "--level", "-o"});
    double carrier = 0, rate = 0, level = 0;
    if (!options.error().empty() || !options.number("--if", kDefaultIf, carrier)
        || !options.number("--rate", kDefaultRate, rate) || !options.number("--level", kDefaultLevel, level))
        return Fail(options.error());
    if (!options.arguments().empty())
        return Fail("unexpected argument \"" + options.arguments().front() + "\"");
    const auto path = options.value("-o");
    if (!path || path->empty())
        return Fail("no output file: give -o FILE.wav");
    if (rate != std::floor(rate) || rate < kLowestRate || rate > kHighestRate)
        return Fail("sample rate must be a whole number of Hz from 8000 to 96000");
    if (carrier < kEdgeHz || carrier > rate / 2 - kEdgeHz)
        return Fail("IF " + std::to_string(carrier) + " Hz is outside the band of a " + std::to_string(int(rate))
                    + " Hz file");
    if (level > 0)
        return Fail("level must be at most 0 dBFS");
    const std::string channel = options.value("--channel").value_or("mono");
    int channels = 1, signalChannel = 0;
    if (channel == "left") {
        channels = 2;
    } else if (channel == "right") {
        channels = 2;
        signalChannel = 1;
    } else if (channel != "mono") {
        return Fail("channel must be mono, left or right");
    }

    psk31::Modulator modulator({rate, carrier, std::pow(10.0, level / 20)});
    modulator.start();
    for (unsigned char byte : ReadAll(stdin))
        modulator.send(byte);
    modulator.stop();
    std::vector<float> samples;
    std::vector<float> block(4096);
    while (!modulator.finished()) {
        modulator.render(block.data(), block.size());
        samples.insert(samples.end(), block.begin(), block.end());
    }
    std::string error;
    if (!writeWav(*path, samples, int(rate), channels, signalChannel, error))
        return Fail(error);
    return 0;
}
