// sondrel decode --all: every BPSK31 station in a sound file. Each channel's
// text, carrier, S/N and IMD is written when the channel ends and, for those
// still open, at the end of the file: as text, or with --json as one JSON
// object per line.

#include "audiofile.h"
#include "codepage.h"
#include "commands.h"
#include "decoding.h"
#include "options.h"
#include "psk31/multireceiver.h"

#include <QString>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

using decoding::Fail;
using decoding::kBlock;
using decoding::kHighestRate;
using decoding::kLowestRate;

std::string Number(std::optional<double> value)
{
    if (!value)
        return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", *value);
    return text;
}

// The bytes as Windows-1252 characters in a JSON string: quote, backslash and
// every control character escaped, the rest UTF-8.
std::string JsonString(const std::string& bytes)
{
    std::string json = "\"";
    for (const char byte : bytes) {
        const QChar ch = fw::codepage::ToChar(static_cast<unsigned char>(byte));
        if (ch == u'"' || ch == u'\\') {
            json += '\\';
            json += char(ch.unicode());
        } else if (ch.category() == QChar::Other_Control) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(ch.unicode()));
            json += escape;
        } else {
            json += QString(ch).toStdString();
        }
    }
    return json + '"';
}

bool Report(const psk31::BandChannel& channel, bool json)
{
    // A channel that copied nothing was a signal too weak to read.
    if (channel.text().empty())
        return true;
    std::string out;
    const std::string hz = Number(channel.frequency());
    const std::string start = Number(channel.startSeconds());
    const std::string end = Number(channel.heardSeconds());
    if (json) {
        out = "{\"hz\": " + hz + ", \"snr_db\": " + Number(channel.snrDb())
            + ", \"imd_db\": " + Number(channel.imdDb())
            + ", \"ppm\": " + Number(channel.clockPpm()) + ", \"start_s\": " + start
            + ", \"end_s\": " + end + ", \"text\": " + JsonString(channel.text()) + "}\n";
    } else {
        out = hz + " Hz, S/N " + Number(channel.snrDb()) + " dB, IMD "
            + (channel.imdDb() ? Number(channel.imdDb()) + " dB" : "not measured") + ", " + start
            + " to " + end + " s\n" + channel.text()
            + (channel.text().back() == '\n' ? "\n" : "\n\n");
    }
    return std::fwrite(out.data(), 1, out.size(), stdout) == out.size() && std::fflush(stdout) == 0;
}

} // namespace

int decodeAllCommand(const std::vector<std::string>& args)
{
    bool json = false;
    std::vector<std::string> rest;
    for (const std::string& arg : args) {
        if (arg == "--json")
            json = true;
        else if (arg != "--all")
            rest.push_back(arg);
    }
    Options options(rest, {"--channel"});
    if (!options.error().empty())
        return Fail(options.error());
    if (options.arguments().size() != 1)
        return Fail(options.arguments().empty() ? "no input file" : "more than one input file");
    AudioReader reader;
    if (!reader.open(options.arguments().front(), options.value("--channel").value_or("left")))
        return Fail(reader.error());
    const double rate = reader.sampleRate();
    if (rate < kLowestRate || rate > kHighestRate)
        return Fail("cannot use a sample rate of " + std::to_string(int(rate))
                    + " Hz (8000 to 96000 Hz)");
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    try {
        psk31::MultiReceiver receiver({rate});
        std::vector<float> samples;
        while (reader.read(samples, kBlock)) {
            receiver.process(samples.data(), samples.size());
            for (const auto& ended : receiver.takeEnded()) {
                if (!Report(*ended, json))
                    return Fail("cannot write to standard output");
            }
        }
        receiver.flush();
        if (receiver.badSamples() > 0)
            decoding::Warn(std::to_string(receiver.badSamples())
                           + " samples were not numbers or far beyond full scale; taken as silence");
        if (reader.truncated())
            decoding::Warn(options.arguments().front()
                           + " ends before its header says it does: decoded as far as it goes");
        std::vector<const psk31::BandChannel*> open;
        for (const auto& c : receiver.channels())
            open.push_back(c.get());
        std::sort(open.begin(), open.end(),
                  [](auto a, auto b) { return a->frequency() < b->frequency(); });
        for (const psk31::BandChannel* c : open) {
            if (!Report(*c, json))
                return Fail("cannot write to standard output");
        }
    } catch (const std::invalid_argument& e) {
        return Fail(e.what());
    }
    return 0;
}
