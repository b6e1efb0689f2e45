// Starts a program over and over and counts the starts that never show a window
// or do not end cleanly. Each start waits for the program's top-level window to
// be mapped on the X display, lets it run for a moment, ends it with SIGTERM (as
// a session does) and starts the next one:
//
//   - at once after the previous one has exited (default), or
//   - while the previous one is still exiting (--overlap): the next start meets
//     a copy that is closing and must still come up with a window of its own.
//
// Every start's stderr goes to a file of its own; for a start that fails, that
// file (with the program's backtrace, if it wrote one), a core (when the system
// writes them to the working folder) and, for a copy that does not end, a gdb
// backtrace of all threads are kept in the log folder.
//
//   bench_startup_stress [--starts N] [--max-delay-ms D] [--overlap] [--label NAME]
//                        [--logs DIR] -- PROGRAM [ARGS...]
//
// Prints one line per failure and a last line
//   result condition=NAME starts=N windows=W no_window=X bad_exit=Y hung=Z
// and exits with 1 when anything failed.
#include "X11Windows.h"

#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using bench::atom;
using bench::mappedWindowOf;

using Clock = std::chrono::steady_clock;

struct Options
{
    int starts = 100;
    int maxDelayMs = 0;
    bool overlap = false;
    std::string label = "default";
    std::string logs = ".";
    char **program = nullptr;
};

struct Start
{
    int number = 0;
    pid_t pid = -1;
    std::string errFile;
    bool window = false;
};

struct Counts
{
    int starts = 0;
    int windows = 0;
    int noWindow = 0;
    int badExit = 0;
    int hung = 0;
};

class Runner
{
public:
    explicit Runner(const Options &options) : m_options(options), m_random(20240611) {}

    bool connect()
    {
        m_c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_c))
            return false;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        m_pidAtom = atom(m_c, "_NET_WM_PID");
        return true;
    }

    Counts run()
    {
        Start previous;
        for (int i = 1; i <= m_options.starts; ++i) {
            Start current = launch(i);
            if (m_options.overlap && previous.pid > 0) {
                // The previous copy was told to end just before this one started.
                finish(previous);
            }
            waitForWindow(current);
            if (current.window) {
                ++m_counts.windows;
                pause();
                ::kill(current.pid, SIGTERM);
            }
            if (m_options.overlap && current.window) {
                previous = current;
            } else {
                finish(current);
                previous = {};
            }
        }
        if (previous.pid > 0)
            finish(previous);
        return m_counts;
    }

private:
    Start launch(int number)
    {
        Start start;
        start.number = number;
        start.errFile = m_options.logs + "/start-" + std::to_string(number) + ".err";
        ++m_counts.starts;
        start.pid = fork();
        if (start.pid == 0) {
            const int fd = ::open(start.errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0) {
                ::dup2(fd, STDERR_FILENO);
                ::dup2(fd, STDOUT_FILENO);
                ::close(fd);
            }
            // A core lands in the log folder (when the system writes cores to
            // the working folder).
            if (::chdir(m_options.logs.c_str()) != 0)
                _exit(126);
            const rlimit core{RLIM_INFINITY, RLIM_INFINITY};
            ::setrlimit(RLIMIT_CORE, &core);
            execvp(m_options.program[0], m_options.program);
            _exit(127);
        }
        return start;
    }

    void waitForWindow(Start &start)
    {
        const auto begin = Clock::now();
        while (Clock::now() - begin < std::chrono::seconds(30)) {
            if (mappedWindowOf(m_c, m_root, m_pidAtom, start.pid)) {
                start.window = true;
                return;
            }
            int status = 0;
            if (waitpid(start.pid, &status, WNOHANG) == start.pid) {
                // Gone before its window.
                start.pid = -1;
                report(start, status, "no-window");
                ++m_counts.noWindow;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        ++m_counts.noWindow;
        backtraceOf(start);
        ::kill(start.pid, SIGKILL);
        int status = 0;
        waitpid(start.pid, &status, 0);
        start.pid = -1;
        report(start, status, "no-window-in-30s");
    }

    // A moment between the window and the end, so that the end meets start-up at
    // every stage: the audio layer, the dialogs, the workers.
    void pause()
    {
        if (m_options.maxDelayMs <= 0)
            return;
        std::uniform_int_distribution<int> delay(0, m_options.maxDelayMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(delay(m_random)));
    }

    void finish(Start &start)
    {
        if (start.pid < 0)
            return; // reaped already (a start without a window)
        const auto begin = Clock::now();
        int status = 0;
        for (;;) {
            if (waitpid(start.pid, &status, WNOHANG) == start.pid)
                break;
            if (Clock::now() - begin > std::chrono::seconds(20)) {
                ++m_counts.hung;
                backtraceOf(start);
                ::kill(start.pid, SIGKILL);
                waitpid(start.pid, &status, 0);
                report(start, status, "did-not-end");
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            ++m_counts.badExit;
            report(start, status, "bad-exit");
            return;
        }
        ::unlink(start.errFile.c_str());
    }

    void backtraceOf(const Start &start)
    {
        const std::string command = "gdb -p " + std::to_string(start.pid) +
                                    " -batch -ex 'thread apply all bt' >" + start.errFile +
                                    ".gdb 2>&1";
        [[maybe_unused]] const int ignored = std::system(command.c_str());
    }

    void report(const Start &start, int status, const char *what)
    {
        std::string how;
        if (WIFEXITED(status))
            how = "exit:" + std::to_string(WEXITSTATUS(status));
        else if (WIFSIGNALED(status))
            how = "signal:" + std::to_string(WTERMSIG(status));
        std::string core;
        const std::string coreFile = m_options.logs + "/core";
        struct stat st;
        if (::stat(coreFile.c_str(), &st) == 0) {
            core = coreFile + "." + std::to_string(start.number);
            std::rename(coreFile.c_str(), core.c_str());
        }
        std::printf("failure condition=%s start=%d reason=%s status=%s log=%s%s%s\n",
                    m_options.label.c_str(), start.number, what, how.c_str(), start.errFile.c_str(),
                    core.empty() ? "" : " core=", core.c_str());
        std::fflush(stdout);
    }

    Options m_options;
    std::mt19937 m_random;
    xcb_connection_t *m_c = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_pidAtom = 0;
    Counts m_counts;
};

} // namespace

int main(int argc, char **argv)
{
    Options options;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--starts" && i + 1 < argc)
            options.starts = std::atoi(argv[++i]);
        else if (arg == "--max-delay-ms" && i + 1 < argc)
            options.maxDelayMs = std::atoi(argv[++i]);
        else if (arg == "--overlap")
            options.overlap = true;
        else if (arg == "--label" && i + 1 < argc)
            options.label = argv[++i];
        else if (arg == "--logs" && i + 1 < argc)
            options.logs = argv[++i];
        else if (arg == "--") {
            ++i;
            break;
        } else
            break;
    }
    if (i >= argc) {
        std::fprintf(stderr,
                     "usage: %s [--starts N] [--max-delay-ms D] [--overlap] [--label NAME] "
                     "[--logs DIR] -- PROGRAM [ARGS...]\n",
                     argv[0]);
        return 2;
    }
    options.program = argv + i;
    // The program runs in the log folder: a path of its own must not depend on it.
    static char program[PATH_MAX];
    if (std::strchr(options.program[0], '/') && ::realpath(options.program[0], program))
        options.program[0] = program;
    ::mkdir(options.logs.c_str(), 0755);
    char real[PATH_MAX];
    if (::realpath(options.logs.c_str(), real))
        options.logs = real;

    Runner runner(options);
    if (!runner.connect()) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    const Counts counts = runner.run();
    std::printf("result condition=%s starts=%d windows=%d no_window=%d bad_exit=%d hung=%d\n",
                options.label.c_str(), counts.starts, counts.windows, counts.noWindow,
                counts.badExit, counts.hung);
    return counts.noWindow + counts.badExit + counts.hung == 0 ? 0 : 1;
}
