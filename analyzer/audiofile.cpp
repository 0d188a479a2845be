#include "audiofile.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// More than any sound file has; a number beyond it is a typing error.
constexpr long kMostChannels = 1024;

// libsndfile reads a cut-off file as far as it goes and only says so in its
// log, on the data chunk's line: "data : 16000 (should be 8001)".
bool LogSaysCut(SNDFILE* file)
{
    char log[4096] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log - 1);
    for (const char* line = log; line && *line;) {
        const char* end = std::strchr(line, '\n');
        const std::string text(line, end ? size_t(end - line) : std::strlen(line));
        if (text.rfind("data", 0) == 0 && text.find("should be") != std::string::npos)
            return true;
        line = end ? end + 1 : nullptr;
    }
    return false;
}

} // namespace

AudioReader::~AudioReader()
{
    if (m_file)
        sf_close(m_file);
}

bool AudioReader::open(const std::string& path, Pick pick)
{
    SF_INFO info{};
    m_file = sf_open(path.c_str(), SFM_READ, &info);
    if (!m_file) {
        m_error = "cannot read " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    m_rate = info.samplerate;
    m_channels = info.channels;
    m_pick = pick;
    m_index = pick == Pick::Right ? 1 : 0;
    m_truncated = LogSaysCut(m_file);
    if (m_channels < 1) {
        m_error = "cannot read " + path + ": no audio channels";
        return false;
    }
    if (pick == Pick::Right && m_channels < 2) {
        m_error = path + " has no right channel";
        return false;
    }
    return true;
}

bool AudioReader::open(const std::string& path, const std::string& channel)
{
    if (channel == "left")
        return open(path, Pick::Left);
    if (channel == "right")
        return open(path, Pick::Right);
    if (channel == "mix")
        return open(path, Pick::Mix);
    char* end = nullptr;
    const long number = std::strtol(channel.c_str(), &end, 10);
    if (channel.empty() || *end != '\0' || number < 1 || number > kMostChannels) {
        m_error = "channel must be left, right, mix or a number from 1";
        return false;
    }
    return open(path, int(number - 1));
}

bool AudioReader::open(const std::string& path, int channel)
{
    if (!open(path, Pick::Left))
        return false;
    if (channel < 0 || channel >= m_channels) {
        m_error = path + " has no channel " + std::to_string(channel + 1) + " (it has "
            + std::to_string(m_channels) + ")";
        return false;
    }
    m_index = channel;
    return true;
}

bool AudioReader::read(std::vector<float>& out, size_t max)
{
    m_frames.resize(max * size_t(m_channels));
    const sf_count_t frames = sf_readf_float(m_file, m_frames.data(), sf_count_t(max));
    if (frames <= 0 && sf_error(m_file) != SF_ERR_NO_ERROR)
        m_truncated = true;
    out.resize(frames > 0 ? size_t(frames) : 0);
    const size_t stride = size_t(m_channels);
    for (size_t i = 0; i < out.size(); ++i) {
        const float* frame = &m_frames[i * stride];
        switch (m_pick) {
        case Pick::Left:
        case Pick::Right:
            out[i] = frame[m_index];
            break;
        case Pick::Mix: {
            float sum = 0;
            for (size_t c = 0; c < stride; ++c)
                sum += frame[c];
            out[i] = sum / float(stride);
            break;
        }
        }
    }
    return !out.empty();
}

bool writeWav(const std::string& path, const std::vector<float>& samples, int rate, int channels,
              int signalChannel, std::string& error)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        error = "cannot write " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    constexpr size_t kBlock = 8192;
    std::vector<float> frames;
    bool ok = true;
    for (size_t start = 0; start < samples.size() && ok; start += kBlock) {
        const size_t count = std::min(kBlock, samples.size() - start);
        frames.assign(count * size_t(channels), 0.0f);
        for (size_t i = 0; i < count; ++i)
            frames[i * size_t(channels) + size_t(signalChannel)] = samples[start + i];
        ok = sf_writef_float(file, frames.data(), sf_count_t(count)) == sf_count_t(count);
    }
    if (!ok)
        error = "cannot write " + path + ": " + sf_strerror(file);
    if (sf_close(file) != 0 && ok) {
        error = "cannot write " + path;
        ok = false;
    }
    return ok;
}
