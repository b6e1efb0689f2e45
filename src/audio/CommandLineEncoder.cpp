#include "audio/CommandLineEncoder.h"

#include "audio/AudioText.h"
#include "audio/Encoders.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

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

// "SIGKILL（9）": the name says more than the number, which is kept as well.
std::string signalName(int sig)
{
    const char *abbrev = sigabbrev_np(sig);
    if (!abbrev)
        return std::to_string(sig);
    return "SIG" + std::string(abbrev) + "（" + std::to_string(sig) + "）";
}

// A longer line is cut: only the start of what a program says is kept.
constexpr size_t MaxLineBytes = 1024;

enum class LineKind { Noise, Plain, Warning, Error };

bool containsAny(const std::string &text, std::initializer_list<const char *> words)
{
    for (const char *word : words)
        if (text.find(word) != std::string::npos)
            return true;
    return false;
}

bool startsWithAny(const std::string &text, std::initializer_list<const char *> words)
{
    for (const char *word : words)
        if (text.rfind(word, 0) == 0)
            return true;
    return false;
}

std::string trimmed(const std::string &line)
{
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return line.substr(first, line.find_last_not_of(" \t") - first + 1);
}

// What a line of lame's or oggenc's standard error is. Their greeting, progress,
// file names and statistics are noise whatever they contain (a file may be named
// "error.ogg"); then words decide.
LineKind lineKind(const std::string &line)
{
    std::string text = trimmed(line);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (text.empty() ||
        startsWithAny(text, {"\"", "[", "lame ", "using polyphase", "encoding ", "opening with",
                             "at quality", "resampling", "autoconverting", "done encoding",
                             "file length", "elapsed time", "rate:", "average bitrate",
                             "writing lame tag", "replaygain", "frame"}) ||
        containsAny(text, {"%]", "%)", "so far]", "remaining]"}))
        return LineKind::Noise;
    if (containsAny(text, {"warning"}))
        return LineKind::Warning;
    if (containsAny(text, {"error",         "fail",     "can't",    "cannot",
                           "could not",     "couldn't", "unable",   "not a directory",
                           "no such",       "denied",   "invalid",  "unrecognized",
                           "unrecognised",  "unknown",  "no space", "too long",
                           "not found",     "refused",  "illegal",  "unsupported",
                           "not supported", "abort",    "fatal"}))
        return LineKind::Error;
    return LineKind::Plain;
}

// Whether the process is stopped by a signal (SIGSTOP, Ctrl+Z).
bool isStopped(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return false;
    const size_t close = line.rfind(')'); // the name may hold anything
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'T';
}

// A pipe whose two ends are close-on-exec and above the standard descriptors.
bool pipeAboveStandard(int fds[2])
{
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    for (int i = 0; i < 2; ++i) {
        if (fds[i] > STDERR_FILENO)
            continue;
        const int high = ::fcntl(fds[i], F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        const int err = errno;
        ::close(fds[i]);
        fds[i] = high;
        if (high < 0) {
            ::close(fds[1 - i]);
            fds[1 - i] = -1;
            errno = err;
            return false;
        }
    }
    return true;
}

// The file execvp would run for `name`: a name with a slash as it is, else the
// first executable regular file of that name on PATH. Empty when there is none.
std::string findProgram(const std::string &name)
{
    if (name.find('/') != std::string::npos)
        return name;
    const char *env = std::getenv("PATH");
    const std::string path = env && *env ? env : "/bin:/usr/bin";
    for (size_t start = 0;;) {
        const size_t end = path.find(':', start);
        std::string dir = path.substr(start, end == std::string::npos ? end : end - start);
        const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        struct stat info;
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == std::string::npos)
            return {};
        start = end + 1;
    }
}

// Runs `file` with `input` as its standard input, /dev/null as its standard output
// and `errors` as its standard error, and no other descriptor of ours. Returns 0,
// or the error that kept it from starting.
//
// The encoder must be able to finish its file on the end of its input whatever
// becomes of this program. It starts with SIGPIPE ignored (an ignored signal
// stays ignored across exec): once this program is gone nobody reads its
// standard error, and its next progress line must fail, not end it before its
// file is complete. In a process group of its own, the terminal's signals to this
// program (Ctrl+C, a closed terminal) do not reach it either. Every other signal
// is at its default and unblocked, whatever this program set up.
int spawn(const std::string &file, const std::vector<std::string> &args, int input, int errors,
          pid_t *pid)
{
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    int status[2];
    if (!pipeAboveStandard(status))
        return errno;
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    const int openMax =
        files.rlim_cur == RLIM_INFINITY || files.rlim_cur > 65536 ? 65536 : int(files.rlim_cur);
    const pid_t child = ::fork();
    if (child < 0) {
        const int err = errno;
        ::close(status[0]);
        ::close(status[1]);
        return err;
    }
    if (child == 0) {
        // Only async-signal-safe calls from here to exec: other threads may have
        // held locks at the fork.
        struct sigaction action
        {
        };
        sigemptyset(&action.sa_mask);
        for (int sig = 1; sig < NSIG; ++sig) {
            action.sa_handler = sig == SIGPIPE ? SIG_IGN : SIG_DFL;
            ::sigaction(sig, &action, nullptr);
        }
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::setpgid(0, 0);
        int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0 && null <= STDERR_FILENO) {
            const int high = ::fcntl(null, F_DUPFD, STDERR_FILENO + 1);
            ::close(null);
            null = high;
        }
        int err = 0;
        if (null < 0 || ::dup2(input, STDIN_FILENO) < 0 || ::dup2(null, STDOUT_FILENO) < 0 ||
            ::dup2(errors, STDERR_FILENO) < 0) {
            err = errno;
        } else {
            // Everything else goes, except the pipe that tells the parent about exec.
            if (::close_range(STDERR_FILENO + 1, unsigned(status[1] - 1), 0) != 0 ||
                ::close_range(unsigned(status[1] + 1), ~0U, 0) != 0) {
                for (int fd = STDERR_FILENO + 1; fd < openMax; ++fd)
                    if (fd != status[1])
                        ::close(fd);
            }
            ::execve(file.c_str(), argv.data(), environ);
            err = errno;
        }
        while (::write(status[1], &err, sizeof err) < 0 && errno == EINTR) {
        }
        ::_exit(127);
    }
    ::close(status[1]);
    int childError = 0;
    ssize_t n;
    do
        n = ::read(status[0], &childError, sizeof childError);
    while (n < 0 && errno == EINTR);
    ::close(status[0]);
    if (n == ssize_t(sizeof childError)) {
        while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
        return childError != 0 ? childError : ENOEXEC;
    }
    *pid = child;
    return 0;
}

} // namespace

std::string explainingLine(const std::string &stderrText)
{
    std::string best;
    LineKind bestKind = LineKind::Noise;
    size_t start = 0;
    while (start <= stderrText.size()) {
        const size_t end = std::min(stderrText.find_first_of("\r\n", start), stderrText.size());
        const std::string line = trimmed(stderrText.substr(start, end - start));
        const LineKind kind = lineKind(line);
        if (kind != LineKind::Noise && kind >= bestKind) {
            best = line;
            bestKind = kind;
        }
        start = end + 1;
    }
    return best;
}

CommandLineEncoder::CommandLineEncoder(PcmFormat format, pid_t pid, int pipeFd, int stderrFd,
                                       std::string program, int stallWaitMs, int finishWaitMs)
    : BufferedEncoder(format), m_pid(pid), m_pipe(pipeFd), m_program(std::move(program)),
      m_stallWaitMs(stallWaitMs), m_finishWaitMs(finishWaitMs)
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
    // Lines are kept as they end, progress dropped: a take of hours prints a lot
    // of it, and the line that explains a failure must not scroll away.
    auto keep = [&](std::string line) {
        if (lineKind(line) == LineKind::Noise)
            return;
        tail->text += line + '\n';
        if (tail->text.size() > StderrKeptBytes)
            tail->text.erase(0, tail->text.find('\n', tail->text.size() - StderrKeptBytes) + 1);
    };
    char buffer[1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        std::lock_guard lock(tail->mutex);
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (c == '\n' || c == '\r') {
                keep(std::exchange(tail->partial, {}));
            } else if (tail->partial.size() < MaxLineBytes) {
                tail->partial += c;
            }
        }
    }
    ::close(fd);
    std::lock_guard lock(tail->mutex);
    keep(std::exchange(tail->partial, {}));
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
    return m_stderr->text + m_stderr->partial;
}

std::string CommandLineEncoder::withStderr(std::string message)
{
    awaitStderrEnd(reap(false) ? 500 : 0);
    const std::string line = explainingLine(stderrTail());
    if (!line.empty())
        message = AudioText::tr("%1编码器提示：%2", {message, line});
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
                                                              PcmFormat format, bool waitForOutput,
                                                              std::string *error)
{
    auto fail = [&](const std::string &message) -> std::unique_ptr<CommandLineEncoder> {
        if (error)
            *error = message;
        return nullptr;
    };
    const std::vector<std::string> &args = program.arguments;
    if (args.empty() || args[0].empty())
        return fail(AudioText::tr("没有指定编码器程序。"));

    // Close-on-exec from the start: if the write end leaked into any child (ours
    // or one started by another thread) the encoder would never see the end of
    // its input. Above the standard descriptors, so that the child's dup2 calls
    // cannot overwrite one with another.
    int fds[2] = {-1, -1}, errFds[2] = {-1, -1};
    auto closeAll = [&] {
        for (int fd : {fds[0], fds[1], errFds[0], errFds[1]})
            if (fd >= 0)
                ::close(fd);
    };
    if (!pipeAboveStandard(fds) || !pipeAboveStandard(errFds)) {
        const int err = errno;
        closeAll();
        return fail(AudioText::tr("无法为编码器创建管道：%1。", {systemErrorText(err)}));
    }
    pid_t pid = -1;
    const std::string file = findProgram(args[0]);
    const int rc = file.empty() ? ENOENT : spawn(file, args, fds[0], errFds[1], &pid);
    ::close(fds[0]);
    ::close(errFds[1]);
    fds[0] = errFds[1] = -1;
    if (rc != 0) {
        closeAll();
        return fail(AudioText::tr(
            "无法启动编码器“%1”：%2。",
            {args[0], rc == ENOENT ? AudioText::tr("找不到这个程序") : systemErrorText(rc)}));
    }

    // Non-blocking, so that the writer thread can notice a program that stopped
    // reading or exited instead of hanging in write().
    fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);

    auto encoder = std::unique_ptr<CommandLineEncoder>(new CommandLineEncoder(
        format, pid, fds[1], errFds[0], args[0], std::max(0, program.stallWaitMs),
        std::max(0, program.finishWaitMs)));
    encoder->m_outputPath = program.outputPath;
    encoder->m_startWaitMs = program.startWaitMs;
    encoder->startWriter();
    std::string message;
    if (waitForOutput && !encoder->waitUntilWriting(&message))
        return fail(message);
    return encoder;
}

bool CommandLineEncoder::waitUntilWriting(std::string *error)
{
    if (m_outputPath.empty())
        return true;
    std::string message;
    if (waitForOutput(m_outputPath, m_startWaitMs, &message))
        return true;
    killNow();
    // Whatever it began is no recording.
    ::unlink(m_outputPath.c_str());
    if (error)
        *error = message;
    return false;
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
            *error = withStderr(AudioText::tr("编码器“%1”没有创建文件“%2”。", {m_program, path}));
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::string CommandLineEncoder::exitDescription()
{
    const int status = m_status;
    if (status == -1)
        return AudioText::tr("编码器“%1”已不在运行。", {m_program});
    if (WIFEXITED(status))
        return AudioText::tr("编码器“%1”已退出，退出码为 %2。",
                             {m_program, std::to_string(WEXITSTATUS(status))});
    if (WIFSIGNALED(status))
        return AudioText::tr("编码器“%1”被信号 %2终止。",
                             {m_program, signalName(WTERMSIG(status))});
    return AudioText::tr("编码器“%1”已停止。", {m_program});
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
            // and silent in the file); a long one ends the encoder, which then
            // finishes its file with what it took (closeOutput).
            if (std::chrono::steady_clock::now() >
                stuckSince + std::chrono::milliseconds(m_stallWaitMs)) {
                m_stalled = true;
                const std::string seconds = secondsText(m_stallWaitMs);
                if (error)
                    *error =
                        withStderr(isStopped(m_pid)
                                       ? AudioText::tr("编码器“%1”被暂停，已有 %2 秒没有接收音频。",
                                                       {m_program, seconds})
                                       : AudioText::tr("编码器“%1”已有 %2 秒没有接收音频。",
                                                       {m_program, seconds}));
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
            *error = withStderr(
                AudioText::tr("无法向编码器“%1”写入音频：%2。", {m_program, systemErrorText(err)}));
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
    // A program stopped by a signal would never finish its file, and killing it
    // loses what it has not written out yet (lame and oggenc keep kilobytes, the
    // first seconds of a take, in their buffers). It is ours and it is ending: it
    // runs again to finish the file with what it took.
    if (!reap(false))
        kill(m_pid, SIGCONT);
    // One that stalled gets no more time to finish than it had to take audio.
    const int waitMs = m_stalled ? std::min(m_stallWaitMs, m_finishWaitMs) : m_finishWaitMs;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (!reap(false)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            killNow();
            if (error)
                *error = withStderr(AudioText::tr("编码器“%1”在 %2 秒内没有完成文件，已被结束。",
                                                  {m_program, secondsText(waitMs)}));
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
    return CommandLineEncoder::start(program, format, true, error);
}

std::unique_ptr<Encoder> spawnCommandLineEncoder(const EncoderProgram &program, PcmFormat format,
                                                 std::string *error)
{
    return CommandLineEncoder::start(program, format, false, error);
}

} // namespace sonalto::audio
