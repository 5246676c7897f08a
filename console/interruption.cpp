#include "console/interruption.h"

#include <csignal>

#include "common/file_replacement.h"

namespace morlevix {
namespace {

#ifndef _WIN32
// Ctrl-C, the termination that kill and shutdowns send, and the terminal
// that goes away.
constexpr int kCleanedUpSignals[] = {
    SIGINT,
    SIGTERM,
#ifdef SIGHUP
    SIGHUP,
#endif
};

extern "C" void end_by_signal(int signal)
{
    remove_unfinished_file();
    // Then the signal's own ending, as if nothing had caught it.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}
#endif

}  // namespace

void clean_up_when_interrupted()
{
#ifndef _WIN32
    for (const int signal : kCleanedUpSignals) {
        // A signal that the program was started ignoring (nohup, a
        // background job without job control) stays ignored.
        struct sigaction previous {};
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = end_by_signal;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
#endif
    // On Windows nothing is caught: an open file cannot be removed there,
    // and Ctrl-C ends the program as the console always did.
}

}  // namespace morlevix
