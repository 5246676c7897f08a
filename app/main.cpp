// MORLEVIX: converts Alice cassette tape images (.k7) into WAV files.
// Without arguments it runs the interactive batch (in French, always); with
// them, a command, in the user's language.
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "batch/batch_driver.h"
#include "batch/key_pause.h"
#include "cli/command_table.h"
#include "cli/user_language.h"
#include "console/console_modes.h"
#include "console/interruption.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace {

int run(const std::vector<std::string>& args)
{
#ifdef SIGXFSZ
    // Past a file size limit a write should fail and be reported, not end
    // the program with a half-written file on disk.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    morlevix::clean_up_when_interrupted();
    int interrupted_by = 0;
    try {
        const morlevix::Utf8Console console;
        if (!args.empty())
            return morlevix::run_command_line(
                args, {std::cin, std::cout, std::cerr, morlevix::user_language(), morlevix::is_terminal(stderr)});
        return morlevix::run_batch(std::cin, std::cout, std::cerr);
    } catch (const morlevix::InterruptedByUser& interruption) {
        interrupted_by = interruption.signal;
    }
    // Everything is released and the console is as it was: end the way the
    // interrupt key ends any program.
    std::cout.flush();
    std::raise(interrupted_by);
    return 0;
}

}  // namespace

#ifdef _WIN32
// Windows hands the arguments over in UTF-16 here, whatever the console's
// code page: names beyond ASCII arrive whole, and go on as UTF-8.
int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
        if (size > 0) WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, arg.data(), size, nullptr, nullptr);
        arg.pop_back();  // the terminating NUL
        args.push_back(arg);
    }
    return run(args);
}
#else
int main(int argc, char** argv) { return run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
