#include "audio/CommandLineEncoder.h"

#include "audio/Encoders.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace sonalto::audio {

std::vector<std::string> splitCommandLine(const std::string &commandLine)
{
    std::vector<std::string> args;
    std::string current;
    bool inQuotes = false;
    bool haveArg = false; // "" is an empty argument, not nothing
    for (char c : commandLine) {
        if (c == '"') {
            inQuotes = !inQuotes;
            haveArg = true;
        } else if (!inQuotes && (c == ' ' || c == '\t' || c == '\n' || c == '\r')) {
            if (haveArg)
                args.push_back(std::move(current));
            current.clear();
            haveArg = false;
        } else {
            current += c;
            haveArg = true;
        }
    }
    if (haveArg)
        args.push_back(std::move(current));
    return args;
}

std::vector<unsigned char> streamingWavHeader(PcmFormat format)
{
    std::vector<unsigned char> h;
    h.reserve(44);
    auto tag = [&](const char *s) {
        for (int i = 0; i < 4; ++i)
            h.push_back(static_cast<unsigned char>(s[i]));
    };
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            h.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    auto u16 = [&](uint16_t v) {
        h.push_back(static_cast<unsigned char>(v));
        h.push_back(static_cast<unsigned char>(v >> 8));
    };
    const auto blockAlign = uint16_t(format.bytesPerFrame());
    tag("RIFF");
    u32(36); // header only: the real size is unknown while streaming
    tag("WAVE");
    tag("fmt ");
    u32(16);
    u16(1); // PCM
    u16(uint16_t(format.channels));
    u32(uint32_t(format.rate));
    u32(uint32_t(format.rate) * blockAlign);
    u16(blockAlign);
    u16(16);
    tag("data");
    u32(0);
    return h;
}

namespace {

std::string errnoText(int err)
{
    return std::strerror(err);
}

} // namespace

CommandLineEncoder::CommandLineEncoder(PcmFormat format, pid_t pid, int pipeFd, std::string program)
    : BufferedEncoder(format), m_pid(pid), m_pipe(pipeFd), m_program(std::move(program))
{
}

CommandLineEncoder::~CommandLineEncoder()
{
    stopWriter();
}

std::unique_ptr<CommandLineEncoder> CommandLineEncoder::start(const std::string &commandLine,
                                                              PcmFormat format, std::string *error)
{
    auto fail = [&](const std::string &message) -> std::unique_ptr<CommandLineEncoder> {
        if (error)
            *error = message;
        return nullptr;
    };
    const std::vector<std::string> args = splitCommandLine(commandLine);
    if (args.empty())
        return fail("The encoder command line is empty.");

    // Close-on-exec from the start: if the write end leaked into any child (ours
    // or one started by another thread) the encoder would never see the end of
    // its input.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return fail("Cannot create a pipe for the encoder: " + errnoText(errno));

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    // Encoders print progress on both outputs; nobody reads it, and a full pipe
    // would stall them.
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

    // The program ignores SIGPIPE and its threads may block signals; the encoder
    // should start with neither.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGXFSZ, SIGINT, SIGTERM, SIGHUP, SIGCHLD})
        sigaddset(&defaults, sig);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    sigset_t noMask;
    sigemptyset(&noMask);
    posix_spawnattr_setsigmask(&attr, &noMask);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(fds[0]);
    if (rc != 0) {
        close(fds[1]);
        return fail("Cannot start the encoder \"" + args[0] + "\": " + errnoText(rc));
    }

    // Non-blocking, so that the writer thread can notice a program that stopped
    // reading or exited instead of hanging in write().
    fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);

    auto encoder =
        std::unique_ptr<CommandLineEncoder>(new CommandLineEncoder(format, pid, fds[1], args[0]));
    encoder->startWriter();
    return encoder;
}

std::string CommandLineEncoder::exitDescription(int status) const
{
    std::string text = "The encoder \"" + m_program + "\" ";
    if (WIFEXITED(status))
        return text + "exited with status " + std::to_string(WEXITSTATUS(status)) + ".";
    if (WIFSIGNALED(status))
        return text + "was ended by signal " + std::to_string(WTERMSIG(status)) + ".";
    return text + "stopped.";
}

bool CommandLineEncoder::checkAlive(std::string *error)
{
    if (m_reaped)
        return false;
    int status = 0;
    const pid_t r = waitpid(m_pid, &status, WNOHANG);
    if (r == 0)
        return true;
    m_reaped = true;
    if (error)
        *error =
            r == m_pid ? exitDescription(status) : "The encoder \"" + m_program + "\" is gone.";
    return false;
}

bool CommandLineEncoder::writeAll(const void *data, size_t bytes, std::string *error)
{
    auto p = static_cast<const char *>(data);
    auto stuckSince = std::chrono::steady_clock::now();
    while (bytes > 0) {
        const ssize_t n = ::write(m_pipe, p, bytes);
        if (n > 0) {
            stuckSince = std::chrono::steady_clock::now();
            p += n;
            bytes -= size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            if (!checkAlive(error))
                return false;
            // A program that stopped reading: a short stall costs audio (counted,
            // and silent in the file), but neither the recording nor finish()
            // waits for it forever.
            if (std::chrono::steady_clock::now() >
                stuckSince + std::chrono::milliseconds(ExitWaitMs)) {
                if (error)
                    *error = "The encoder \"" + m_program + "\" stopped taking audio.";
                return false;
            }
            pollfd pfd{m_pipe, POLLOUT, 0};
            poll(&pfd, 1, 100);
            continue;
        }
        const int err = n < 0 ? errno : EIO;
        if (err == EPIPE) {
            // Take back the SIGPIPE this thread raised (it is blocked here) so it
            // cannot reach the program later.
            sigset_t pipeSet;
            sigemptyset(&pipeSet);
            sigaddset(&pipeSet, SIGPIPE);
            const timespec zero{0, 0};
            sigtimedwait(&pipeSet, nullptr, &zero);
            // Give the exit status a moment to arrive; it says more than EPIPE.
            for (int i = 0; i < 50; ++i) {
                if (!checkAlive(error))
                    return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        if (error)
            *error = "Cannot write to the encoder \"" + m_program + "\": " + errnoText(err);
        return false;
    }
    return true;
}

bool CommandLineEncoder::beginOutput(std::string *error)
{
    // Written here, on the thread that keeps SIGPIPE away, like all the rest.
    const std::vector<unsigned char> header = streamingWavHeader(m_format);
    return writeAll(header.data(), header.size(), error);
}

bool CommandLineEncoder::writeSamples(const int16_t *samples, size_t frames, std::string *error)
{
    return writeAll(samples, frames * size_t(m_format.bytesPerFrame()), error);
}

bool CommandLineEncoder::closeOutput(bool failed, std::string *error)
{
    if (m_pipe >= 0) {
        close(m_pipe); // end of input: the program finalises its file and exits
        m_pipe = -1;
    }
    if (m_reaped)
        return true;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ExitWaitMs);
    for (;;) {
        const pid_t r = waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid || r < 0)
            break;
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            m_reaped = true;
            if (error)
                *error = "The encoder \"" + m_program + "\" did not finish and was stopped.";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_reaped = true;
    if (!failed && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
        if (error)
            *error = exitDescription(status);
        return false;
    }
    return true;
}

std::unique_ptr<Encoder> startCommandLineEncoder(const std::string &commandLine, PcmFormat format,
                                                 std::string *error)
{
    return CommandLineEncoder::start(commandLine, format, error);
}

} // namespace sonalto::audio
