// Starts a program and reports how long it takes until its top-level window is
// mapped on the X display, polling the display every 2 ms (a tool that waits with
// half-second polls would blur the difference being measured). The program is
// ended once its window is there.
//
//   bench_window_wait PROGRAM [ARGS...]    prints: seconds
#include "X11Windows.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using bench::atom;
using bench::mappedWindowOf;

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t pidAtom = atom(c, "_NET_WM_PID");

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    double seconds = -1;
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
        if (mappedWindowOf(c, root, pidAtom, pid)) {
            seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            break;
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    xcb_disconnect(c);
    if (seconds < 0) {
        std::fprintf(stderr, "the window of %s did not appear\n", argv[1]);
        return 1;
    }
    std::printf("%.4f\n", seconds);
    return 0;
}
