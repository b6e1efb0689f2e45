#pragma once

#include "audio/AudioTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace sonalto::audio {

// Something that turns captured audio into a file. Attached to a capture channel,
// fed on the capture thread and finished when the channel is freed. write() never
// blocks: the audio goes through a bounded buffer drained by the encoder's own
// thread. When that buffer is full the block is dropped, counted, and replaced by
// silence of the same length, so the file keeps its timeline.
class Encoder
{
public:
    virtual ~Encoder() = default; // finishes the output if finish() was not called

    // Capture thread. Ignored while paused or after the encoder has ended.
    virtual void write(const int16_t *samples, size_t frames) = 0;
    // Capture thread: `frames` frames of silence where the capture lost audio.
    // Ignored like write().
    virtual void writeSilence(size_t frames) = 0;
    // What the encoder's own buffer dropped (LossKind::Overflow); any thread.
    virtual AudioLoss lostAudio() const { return {}; }
    virtual void setPaused(bool paused) = 0;
    virtual bool isPaused() const = 0;
    // False once the encoder ended: finished, failed, or its program exited.
    virtual bool isActive() const = 0;
    // Why it ended early; empty while all is well.
    virtual std::string errorMessage() const = 0;
    // Blocks until the encoder writes its output (a program has created its file).
    // False with the reason when it ended first or did not get there in time; it has
    // then been stopped and what it began at its output removed. Most encoders open
    // their output before they exist, so this is true at once.
    virtual bool waitUntilWriting(std::string * /*error*/) { return true; }
    // Drains the buffer and closes the output (waits for the program to exit).
    // Safe to call more than once.
    virtual void finish() = 0;
};

} // namespace sonalto::audio
