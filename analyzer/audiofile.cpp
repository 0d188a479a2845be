#include "audiofile.h"

#include <sndfile.h>

#include <algorithm>

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

bool AudioReader::read(std::vector<float>& out, size_t max)
{
    m_frames.resize(max * size_t(m_channels));
    const sf_count_t frames = sf_readf_float(m_file, m_frames.data(), sf_count_t(max));
    out.resize(frames > 0 ? size_t(frames) : 0);
    const size_t stride = size_t(m_channels);
    for (size_t i = 0; i < out.size(); ++i) {
        const float* frame = &m_frames[i * stride];
        switch (m_pick) {
        case Pick::Left:
            out[i] = frame[0];
            break;
        case Pick::Right:
            out[i] = frame[1];
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
