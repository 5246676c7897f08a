// What every command does with files: open the one it reads (a file, or
// standard input for "-"), write the one it makes (replacing a file only
// once the new one is whole, or to standard output for "-"), and say on
// standard error what went wrong, naming the file.
#pragma once

#include <cstdint>
#include <fstream>
#include <iosfwd>
#include <sstream>
#include <string>
#include <vector>

#include "console/console_streams.h"

namespace morlevix {

// Standard input or output, where a file name is expected.
inline constexpr char kStandardStream[] = "-";

// Console texts of the command line.
inline constexpr char kProgramPrefix[] = "morlevix: ";
inline constexpr char kFieldSeparator[] = " : ";
inline constexpr char kArrow[] = " -> ";

// An error line on `err`, after everything `out` holds so far.
void report_error(const ConsoleStreams& console, const std::string& text);

// A file opened for reading: a file on disk, or standard input read whole
// (so that it can be read twice, as a WAV sized first needs).
class InputFile {
public:
    // Opens `name`, or says on the console why it cannot.
    bool open(const std::string& name, const ConsoleStreams& console);
    std::istream& stream() { return from_memory_ ? static_cast<std::istream&>(memory_) : file_; }

private:
    std::ifstream file_;
    std::istringstream memory_;
    bool from_memory_ = false;
};

// Why a file cannot be read, when the file system can tell: " (...)".
std::string unreadable_reason(const std::string& name);

// Writes `bytes` to the file `name`, which takes that name only once whole,
// or to standard output for "-". False when that fails.
bool write_output(const std::string& name, const std::vector<std::uint8_t>& bytes, const ConsoleStreams& console);

// The files that the command-line arguments name: on systems where the
// program expands wildcards itself, each argument with a wildcard becomes
// the files that match it (an argument that matches none is reported on
// `err` and sets `status` to a failure). "-" is kept as it is.
std::vector<std::string> expand_file_arguments(const std::vector<std::string>& args, bool expand_wildcards,
                                               std::ostream& err, int& status);


}  // namespace morlevix
