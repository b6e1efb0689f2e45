#pragma once

#include "audio/BufferedEncoder.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace sonalto::audio {

// Splits a command line the way the program's command lines are written: spaces
// separate arguments, double quotes group (and are removed), nothing else is
// expanded.
std::vector<std::string> splitCommandLine(const std::string &commandLine);

// A 44-byte WAV header announcing 16-bit PCM with an unknown (zero) data size,
// which makes the encoders read to the end of their input.
std::vector<unsigned char> streamingWavHeader(PcmFormat format);

// An encoder program fed a WAV stream on its standard input.
class CommandLineEncoder : public BufferedEncoder
{
public:
    static std::unique_ptr<CommandLineEncoder> start(const std::string &commandLine,
                                                     PcmFormat format, std::string *error);
    ~CommandLineEncoder() override;

    // The program's process id while it runs (for tests and diagnostics).
    pid_t processId() const { return m_pid; }

    // How long finish() waits for the program to finalise its file before it is
    // killed.
    static constexpr int ExitWaitMs = 15000;

protected:
    bool beginOutput(std::string *error) override;
    bool writeSamples(const int16_t *samples, size_t frames, std::string *error) override;
    bool checkAlive(std::string *error) override;
    bool closeOutput(bool failed, std::string *error) override;

private:
    CommandLineEncoder(PcmFormat format, pid_t pid, int pipeFd, std::string program);
    bool writeAll(const void *data, size_t bytes, std::string *error);
    std::string exitDescription(int status) const;

    pid_t m_pid;
    int m_pipe; // write end of the program's standard input
    bool m_reaped = false;
    std::string m_program;
};

} // namespace sonalto::audio
