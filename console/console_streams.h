// What the interactive batch and the command line share on the console:
// where they read and write, and the exit statuses they end with.
#pragma once

#include <iosfwd>
#include <string>

#include "common/two_languages.h"

namespace morlevix {

// Exit statuses of the program.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // a file could not be read, written, or is damaged
inline constexpr int kExitUsage = 2;    // the command line itself is wrong

// Where a program reads and writes: standard input, output and
// error, or strings in tests; and the language it speaks there.
struct ConsoleStreams {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    Language language = Language::french;
    // Standard error is a terminal that a person watches (a live view may
    // show there what a command does as it does it).
    bool err_is_terminal = false;

    // What `said` says in the console's language.
    const std::string& operator()(const Said& said) const { return said.in(language); }
    const char* operator()(Text text) const { return text.in(language); }
};

}  // namespace morlevix
