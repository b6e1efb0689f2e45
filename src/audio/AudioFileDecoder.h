#pragma once

#include <chrono>
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

    // For files whose time stamps or seek tables are not to be believed (chained
    // OGG, whose time starts again with every part; a header with a wrong
    // length): a seek starts again from the beginning when it goes back and
    // decodes its way to the frame, dropping what lies before it. The work is
    // done by the following decodeMore() calls, a piece at a time.
    void setSeekByDecoding(bool byDecoding);

    // How long the rest of the file plays: it is decoded without being converted
    // and the frames counted at each part's own rate. When `deadline` passes
    // first, the rest is estimated from the share of the input read so far.
    struct Measure
    {
        double seconds = 0;
        bool complete = false; // false: estimated after the deadline
    };
    Measure measureRest(std::chrono::steady_clock::time_point deadline);

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
