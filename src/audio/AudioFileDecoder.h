#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sonalto::audio {

// Decodes an audio file (any format FFmpeg reads) into 16-bit stereo 44100 Hz
// samples, in pieces, with seeking. Not thread-safe: one thread at a time.
class AudioFileDecoder
{
public:
    static constexpr int OutputRate = 44100;
    static constexpr int OutputChannels = 2;

    // Null with *error when the file cannot be opened or holds no audio.
    static std::unique_ptr<AudioFileDecoder> open(const std::string &path, std::string *error);
    ~AudioFileDecoder();

    // Length the container states, in output frames; 0 when it says nothing.
    uint64_t lengthFrames() const;
    // Replaces it with a length measured otherwise (where the container's is
    // only an estimate).
    void setLengthFrames(uint64_t frames);

    // Appends the next decoded piece (interleaved) to `out`. False once the end
    // of the file was reached and everything was delivered; damaged parts are
    // skipped.
    bool decodeMore(std::vector<int16_t> &out);

    // Continues decoding at this output frame. False when the file cannot seek.
    bool seekToFrame(uint64_t frame);

private:
    AudioFileDecoder();
    struct Private;
    std::unique_ptr<Private> d;
};

// Decodes a whole file, at most maxFrames frames. nullopt with *error when it
// cannot be opened.
std::optional<std::vector<int16_t>> decodeAudioFile(const std::string &path, std::string *error,
                                                    uint64_t maxFrames = UINT64_MAX);

} // namespace sonalto::audio
