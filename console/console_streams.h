// What the interactive batch and the command line share on the console:
// where they read and write, and the exit statuses they end with.
#pragma once

#include <iosfwd>

namespace morlevix {

// Exit statuses of the program.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // a file could not be read, written, or is damaged
inline constexpr int kExitUsage = 2;    // the command line itself is wrong

// Where a program reads and writes: standard input, output and
// error, or strings in tests.
struct ConsoleStreams {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
};

}  // namespace morlevix
