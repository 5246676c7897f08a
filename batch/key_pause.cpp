#include "batch/key_pause.h"

#include <cerrno>
#include <csignal>
#include <ostream>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <conio.h>
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace morlevix {
namespace {

#ifdef _WIN32
// One key from the console, not echoed. Ctrl-C ends the program as it would
// at any other moment.
void wait_for_key()
{
    const int key = _getch();
    if (key == 0 || key == 0xE0) _getch();  // a function or arrow key comes as two codes
    constexpr int kControlC = 3;
    if (key == kControlC) throw InterruptedByUser{SIGINT};
}

bool input_is_interactive()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}
#else
// Puts the terminal back as it was found, on every way out.
class TerminalSettingsGuard {
public:
    explicit TerminalSettingsGuard(const termios& saved) : saved_(saved) {}
    ~TerminalSettingsGuard() { tcsetattr(STDIN_FILENO, TCSANOW, &saved_); }
    TerminalSettingsGuard(const TerminalSettingsGuard&) = delete;
    TerminalSettingsGuard& operator=(const TerminalSettingsGuard&) = delete;

private:
    termios saved_;
};

// One key, read without waiting for Enter and without echo. Signal keys are
// read as keys too, so that the settings are restored before the program
// ends by the signal they stand for.
int read_one_key(const termios& saved)
{
    termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    TerminalSettingsGuard restore(saved);
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return -1;
    unsigned char key = 0;
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, &key, 1);
        if (n == 1) return key;
        if (n == 0 || errno != EINTR) return -1;
    }
}

void wait_for_key()
{
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
    const int key = read_one_key(saved);
    if (key < 0) return;
    if (key == saved.c_cc[VINTR]) throw InterruptedByUser{SIGINT};
    if (key == saved.c_cc[VQUIT]) throw InterruptedByUser{SIGQUIT};
}

bool input_is_interactive() { return isatty(STDIN_FILENO) != 0; }
#endif

}  // namespace

void pause_for_key(std::ostream& out)
{
    out << kPausePrompt << std::flush;
    if (input_is_interactive()) wait_for_key();
    out << '\n' << std::flush;
}

}  // namespace morlevix
