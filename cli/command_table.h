// The command line: "morlevix COMMAND [OPTIONS] FILE...", for scripts and
// for anyone who knows what to convert without the interactive dialogue.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace morlevix {

// Exit statuses of the command line.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // a file could not be read, written, or is damaged
inline constexpr int kExitUsage = 2;    // the command line itself is wrong

// Where the command line reads and writes: standard input, output and
// error, or strings in tests.
struct ConsoleStreams {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
};

// Runs the command given by `args` (the words after the program's name) and
// returns the exit status.
int run_command_line(const std::vector<std::string>& args, const ConsoleStreams& console);

}  // namespace morlevix
