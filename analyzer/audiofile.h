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
    // The same with the channel given by number, 0 for the first.
    bool open(const std::string& path, int channel);
    // The same with the channel as the command line names it: left, right,
    // mix, or a number from 1.
    bool open(const std::string& path, const std::string& channel);
    double sampleRate() const { return m_rate; }
    int channels() const { return m_channels; }
    // Up to `max` samples of the picked channel; an empty result at the end.
    bool read(std::vector<float>& out, size_t max);
    const std::string& error() const { return m_error; }
    // Whether the file holds less audio than its header announces (or could
    // not be read to its end); read() then ends early without an error.
    bool truncated() const { return m_truncated; }

private:
    sf_private_tag* m_file = nullptr;
    double m_rate = 0;
    int m_channels = 0;
    Pick m_pick = Pick::Left;
    int m_index = 0;   // the channel for Pick::Left and Pick::Right
    bool m_truncated = false;
    std::vector<float> m_frames;
    std::string m_error;
};

// Writes `samples` (one channel) as a 16-bit WAV with `channels` channels,
// the signal in channel `signalChannel` and silence in the others.
bool writeWav(const std::string& path, const std::vector<float>& samples, int rate, int channels,
              int signalChannel, std::string& error);
