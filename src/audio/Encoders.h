#pragma once

#include "audio/AudioTypes.h"
#include "audio/Encoder.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sonalto::audio {

// An encoder program to run and the file it is to write.
struct EncoderProgram
{
    EncoderProgram() = default;
    EncoderProgram(std::vector<std::string> args, std::string output = {})
        : arguments(std::move(args)), outputPath(std::move(output))
    {
    }

    // The program, then its arguments: each element is passed as one argument, whatever
    // it contains. The program is looked up on PATH unless it names a path.
    std::vector<std::string> arguments;
    // The file the program writes. When given, the start waits until the program has
    // created it: a program that ends before, or does not create it in time, is a
    // failed start, and whatever it left at that path is removed.
    std::string outputPath;
    int startWaitMs = 5000;
    // How long the program may leave its input undrained: then it counts as stalled,
    // the encoder fails saying so, and the program is made to finish its file with
    // what it has taken.
    int stallWaitMs = 3000;
    // How long finishing waits for the program to exit once its input has ended,
    // before it is killed.
    int finishWaitMs = 15000;
};

// Starts a command-line encoder without a shell. A WAV header (data size 0) and the
// audio go to its standard input; its standard output is discarded, the end of its
// standard error kept for messages. Null with *error (ending with the program's last
// line of standard error, if any) when it cannot be started.
std::unique_ptr<Encoder> startCommandLineEncoder(const EncoderProgram &program, PcmFormat format,
                                                 std::string *error);
// The same without waiting for the program's file: audio can be written at once (it
// waits in the encoder's buffer), and waitUntilWriting() waits for the file.
std::unique_ptr<Encoder> spawnCommandLineEncoder(const EncoderProgram &program, PcmFormat format,
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
