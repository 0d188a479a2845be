// Sound files through libsndfile: one channel read out of any file it knows,
// and 16-bit WAV written.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct sf_private_tag;

class AudioReader {
public:
    enum class Pick { Left, Right, Mix };

    AudioReader() = default;
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    // False with error() set when the file cannot be read.
    bool open(const std::string& path, Pick pick);
    double sampleRate() const { return m_rate; }
    int channels() const { return m_channels; }
    // Up to `max` samples of the picked channel; an empty result at the end.
    bool read(std::vector<float>& out, size_t max);
    const std::string& error() const { return m_error; }

private:
    sf_private_tag* m_file = nullptr;
    double m_rate = 0;
    int m_channels = 0;
    Pick m_pick = Pick::Left;
    std::vector<float> m_frames;
    std::string m_error;
};

// Writes `samples` (one channel) as a 16-bit WAV with `channels` channels,
// the signal in channel `signalChannel` and silence in the others.
bool writeWav(const std::string& path, const std::vector<float>& samples, int rate, int channels,
              int signalChannel, std::string& error);
