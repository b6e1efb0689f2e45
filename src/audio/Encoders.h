#pragma once

#include "audio/AudioTypes.h"
#include "audio/Encoder.h"

#include <memory>
#include <optional>
#include <string>

namespace sonalto::audio {

// Starts a command-line encoder: the command line is split into arguments like a
// shell would (double quotes group, no other expansion) and the program started
// without a shell. A WAV header (data size 0) and the audio go to its standard
// input; its output is discarded. Null with *error when it cannot be started.
std::unique_ptr<Encoder> startCommandLineEncoder(const std::string &commandLine, PcmFormat format,
                                                 std::string *error);

// Writes a 16-bit PCM WAV file whose header stays valid while writing (a killed
// program leaves a readable file) and that continues as RF64 past 4 GiB.
std::unique_ptr<Encoder> startWavFileEncoder(const std::string &path, PcmFormat format,
                                             std::string *error);

// Writes a WMA (ASF, WMA v2) file from blocks handed to write(); buffered, never
// blocks the caller.
class WmaWriter
{
public:
    // Whether a WMA file can be written at this rate and channel count.
    static bool available(int rate, int channels);
    static std::unique_ptr<WmaWriter> open(PcmFormat format, int bitRate, const std::string &path,
                                           std::string *error);
    virtual ~WmaWriter() = default; // closes if close() was not called

    // Capture thread: false once the writer failed (disk full...) or is closed.
    // A block its buffer has no room for is written as silence and counted.
    virtual bool write(const int16_t *samples, size_t bytes) = 0;
    // What its buffer dropped (LossKind::Overflow); any thread.
    virtual AudioLoss lostAudio() const = 0;
    // Finishes the file. False when something failed on the way.
    virtual bool close() = 0;
    virtual std::string errorMessage() const = 0;
};

// Length in seconds of an audio file, without decoding it where the container
// says; nullopt when the file cannot be opened as audio.
std::optional<double> probeDurationSeconds(const std::string &path);

} // namespace sonalto::audio
