#include "audio/CommandLineEncoder.h"

#include "audio/AudioText.h"
#include "audio/Encoders.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace sonalto::audio {

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

std::string secondsText(int ms)
{
    if (ms % 1000 == 0)
        return std::to_string(ms / 1000);
    return std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100);
}

// "SIGKILL (9)": the name says more than the number, which is kept for the record.
std::string signalName(int sig)
{
    const char *abbrev = sigabbrev_np(sig);
    if (!abbrev)
        return std::to_string(sig);
    return "SIG" + std::string(abbrev) + "（" + std::to_string(sig) + "）";
}

} // namespace

CommandLineEncoder::CommandLineEncoder(PcmFormat format, pid_t pid, int pipeFd, int stderrFd,
                                       std::string program, int finishWaitMs)
    : BufferedEncoder(format), m_pid(pid), m_pipe(pipeFd), m_program(std::move(program)),
      m_finishWaitMs(finishWaitMs)
{
    m_stderrThread = std::thread(&CommandLineEncoder::readStderr, stderrFd, m_stderr);
}

CommandLineEncoder::~CommandLineEncoder()
{
    stopWriter();
    // The program has ended (or was stopped), so its standard error reaches its
    // end, unless a program it started still holds it: then the reader is left to
    // finish on its own.
    if (m_stderrThread.joinable()) {
        awaitStderrEnd(500);
        std::lock_guard lock(m_stderr->mutex);
        if (m_stderr->done)
            m_stderrThread.join();
        else
            m_stderrThread.detach();
    }
}

void CommandLineEncoder::readStderr(int fd, const std::shared_ptr<StderrTail> &tail)
{
    char buffer[1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        std::lock_guard lock(tail->mutex);
        tail->text.append(buffer, size_t(n));
        if (tail->text.size() > StderrKeptBytes)
            tail->text.erase(0, tail->text.size() - StderrKeptBytes);
    }
    ::close(fd);
    std::lock_guard lock(tail->mutex);
    tail->done = true;
    tail->ended.notify_all();
}

void CommandLineEncoder::awaitStderrEnd(int timeoutMs)
{
    std::unique_lock lock(m_stderr->mutex);
    m_stderr->ended.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this] { return m_stderr->done; });
}

std::string CommandLineEncoder::stderrTail() const
{
    std::lock_guard lock(m_stderr->mutex);
    return m_stderr->text;
}

std::string CommandLineEncoder::lastStderrLine() const
{
    const std::string tail = stderrTail();
    // Progress lines end in a carriage return; either ends a line.
    size_t end = tail.size();
    while (end > 0) {
        const size_t start = tail.find_last_of("\r\n", end - 1);
        const size_t from = start == std::string::npos ? 0 : start + 1;
        std::string line = tail.substr(from, end - from);
        const size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos) {
            const size_t last = line.find_last_not_of(" \t");
            return line.substr(first, last - first + 1);
        }
        if (start == std::string::npos)
            break;
        end = start;
    }
    return {};
}

std::string CommandLineEncoder::withStderr(std::string message)
{
    awaitStderrEnd(reap(false) ? 500 : 0);
    const std::string line = lastStderrLine();
    if (!line.empty())
        message = tr("%1编码器提示：%2", {message, line});
    return message;
}

bool CommandLineEncoder::reap(bool wait)
{
    std::lock_guard lock(m_reapMutex);
    if (m_reaped)
        return true;
    int status = 0;
    pid_t r;
    do
        r = waitpid(m_pid, &status, wait ? 0 : WNOHANG);
    while (r < 0 && errno == EINTR);
    if (r == 0)
        return false;
    m_reaped = true;
    m_status = r == m_pid ? status : -1;
    return true;
}

void CommandLineEncoder::killNow()
{
    if (reap(false))
        return;
    kill(m_pid, SIGKILL);
    reap(true);
}

std::unique_ptr<CommandLineEncoder> CommandLineEncoder::start(const EncoderProgram &program,
                                                              PcmFormat format, std::string *error)
{
    auto fail = [&](const std::string &message) -> std::unique_ptr<CommandLineEncoder> {
        if (error)
            *error = message;
        return nullptr;
    };
    const std::vector<std::string> &args = program.arguments;
    if (args.empty() || args[0].empty())
        return fail(tr("没有指定编码器程序。"));

    // Close-on-exec from the start: if the write end leaked into any child (ours
    // or one started by another thread) the encoder would never see the end of
    // its input.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return fail(tr("无法为编码器创建管道：%1。", {systemErrorText(errno)}));
    int errFds[2];
    if (pipe2(errFds, O_CLOEXEC) != 0) {
        close(fds[0]);
        close(fds[1]);
        return fail(tr("无法为编码器创建管道：%1。", {systemErrorText(errno)}));
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    // Nobody reads the program's progress on standard output; its standard error
    // is read to the end and its last lines kept, so a failure can say why.
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errFds[1], STDERR_FILENO);
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
    close(errFds[1]);
    if (rc != 0) {
        close(fds[1]);
        close(errFds[0]);
        return fail(tr("无法启动编码器“%1”：%2。",
                       {args[0], rc == ENOENT ? tr("找不到这个程序") : systemErrorText(rc)}));
    }

    // Non-blocking, so that the writer thread can notice a program that stopped
    // reading or exited instead of hanging in write().
    fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);

    auto encoder = std::unique_ptr<CommandLineEncoder>(new CommandLineEncoder(
        format, pid, fds[1], errFds[0], args[0], std::max(0, program.finishWaitMs)));
    encoder->startWriter();
    if (!program.outputPath.empty()) {
        std::string message;
        if (!encoder->waitForOutput(program.outputPath, program.startWaitMs, &message)) {
            encoder->killNow();
            encoder.reset();
            // Whatever it began is no recording.
            ::unlink(program.outputPath.c_str());
            return fail(message);
        }
    }
    return encoder;
}

bool CommandLineEncoder::waitForOutput(const std::string &path, int timeoutMs, std::string *error)
{
    // The program opens its output once it has read the WAV header the writer
    // thread sends first. Until then it can still fail: a folder it cannot write
    // to, a name it refuses, a bad option.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
    for (;;) {
        struct stat info;
        const bool exists = ::lstat(path.c_str(), &info) == 0;
        if (reap(false)) {
            *error = withStderr(exitDescription());
            return false;
        }
        if (exists)
            return true;
        if (std::chrono::steady_clock::now() >= deadline) {
            *error = withStderr(tr("编码器“%1”没有创建文件“%2”。", {m_program, path}));
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::string CommandLineEncoder::exitDescription()
{
    const int status = m_status;
    if (status == -1)
        return tr("编码器“%1”已不在运行。", {m_program});
    if (WIFEXITED(status))
        return tr("编码器“%1”已退出，退出码为 %2。",
                  {m_program, std::to_string(WEXITSTATUS(status))});
    if (WIFSIGNALED(status))
        return tr("编码器“%1”被信号 %2终止。", {m_program, signalName(WTERMSIG(status))});
    return tr("编码器“%1”已停止。", {m_program});
}

bool CommandLineEncoder::checkAlive(std::string *error)
{
    if (!reap(false))
        return true;
    if (error)
        *error = withStderr(exitDescription());
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
                stuckSince + std::chrono::milliseconds(m_finishWaitMs)) {
                if (error)
                    *error = withStderr(tr("编码器“%1”已有 %2 秒没有接收音频。",
                                           {m_program, secondsText(m_finishWaitMs)}));
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
            *error =
                withStderr(tr("无法向编码器“%1”写入音频：%2。", {m_program, systemErrorText(err)}));
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
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(m_finishWaitMs);
    while (!reap(false)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            killNow();
            if (error)
                *error = withStderr(tr("编码器“%1”在 %2 秒内没有完成文件，已被结束。",
                                       {m_program, secondsText(m_finishWaitMs)}));
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // After a failure the program's end was already reported, or is its consequence.
    if (failed)
        return true;
    if (!(m_status != -1 && WIFEXITED(m_status) && WEXITSTATUS(m_status) == 0)) {
        if (error)
            *error = withStderr(exitDescription());
        return false;
    }
    return true;
}

std::unique_ptr<Encoder> startCommandLineEncoder(const EncoderProgram &program, PcmFormat format,
                                                 std::string *error)
{
    return CommandLineEncoder::start(program, format, error);
}

} // namespace sonalto::audio
