#pragma once

#include "audio/BufferedEncoder.h"
#include "audio/Encoders.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace sonalto::audio {

// A 44-byte WAV header announcing 16-bit PCM with an unknown (zero) data size,
// which makes the encoders read to the end of their input.
std::vector<unsigned char> streamingWavHeader(PcmFormat format);

// The line of an encoder program's standard error that best says why it failed:
// the last one that reads like an error, else the last warning, else the last line
// that is neither progress, statistics nor the program's greeting (lame and oggenc
// end with those whatever happened). Empty when there is none.
std::string explainingLine(const std::string &stderrText);

// An encoder program fed a WAV stream on its standard input.
class CommandLineEncoder : public BufferedEncoder
{
public:
    // Starts the program; audio can be written at once. With `waitForOutput`, also
    // waits until it has created its output file (waitUntilWriting()).
    static std::unique_ptr<CommandLineEncoder>
    start(const EncoderProgram &program, PcmFormat format, bool waitForOutput, std::string *error);
    ~CommandLineEncoder() override;

    bool waitUntilWriting(std::string *error) override;

    // The program's process id while it runs (for tests and diagnostics).
    pid_t processId() const { return m_pid; }

    // At most this much of the program's standard error is kept: its last lines
    // that are not progress, statistics or greeting (see explainingLine).
    static constexpr size_t StderrKeptBytes = 4096;
    std::string stderrTail() const;

protected:
    bool beginOutput(std::string *error) override;
    bool writeSamples(const int16_t *samples, size_t frames, std::string *error) override;
    bool checkAlive(std::string *error) override;
    bool closeOutput(bool failed, std::string *error) override;

private:
    struct StderrTail;
    CommandLineEncoder(PcmFormat format, pid_t pid, int pipeFd, int stderrFd, std::string program,
                       int stallWaitMs, int finishWaitMs);
    bool writeAll(const void *data, size_t bytes, std::string *error);
    // Whether the program has ended, collecting its status once; with `wait` it
    // blocks until it does. Both the start and the writer thread ask.
    bool reap(bool wait);
    std::string exitDescription();
    // The message with the program's last line of standard error added.
    std::string withStderr(std::string message);
    bool waitForOutput(const std::string &path, int timeoutMs, std::string *error);
    std::string m_outputPath;
    int m_startWaitMs = 0;
    static void readStderr(int fd, const std::shared_ptr<StderrTail> &tail);
    // Waits a little for the rest of a program's standard error after it ended.
    void awaitStderrEnd(int timeoutMs);
    void killNow();

    pid_t m_pid;
    int m_pipe; // write end of the program's standard input
    std::mutex m_reapMutex;
    bool m_reaped = false;
    int m_status = -1; // wait status once reaped; -1 when it was reaped elsewhere
    std::string m_program;
    int m_stallWaitMs;
    int m_finishWaitMs;
    bool m_stalled = false; // writer thread

    // Shared with the thread that reads the program's standard error, which may
    // outlive the encoder when a program the encoder started still holds it.
    struct StderrTail
    {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;
        std::string text;    // the kept lines, each ending in '\n'
        std::string partial; // the line being written
    };
    std::shared_ptr<StderrTail> m_stderr = std::make_shared<StderrTail>();
    std::thread m_stderrThread;
};

} // namespace sonalto::audio
