// The commands that work on tape images: convert them into WAV files, and
// list what they hold.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "command_line.h"

namespace morlevix {

// Standard input or output, where a file name is expected.
inline constexpr char kStandardStream[] = "-";

// Console texts of the command line.
inline constexpr char kProgramPrefix[] = "morlevix: ";
inline constexpr char kArrow[] = " -> ";

// Converts every image (or standard input, for "-") into its WAV: the one
// beside it, or `output` when given ("-": standard output). The exit status.
int convert_images(const std::vector<std::string>& images, const std::optional<std::string>& output,
                   const ConsoleStreams& console);

// Decodes every recording (or standard input, for "-") into its tape image:
// the one beside it, or `output` when given ("-": standard output). The exit status.
int decode_recordings(const std::vector<std::string>& recordings, const std::optional<std::string>& output,
                      const ConsoleStreams& console);

// Lists the files of every image or recording (decoded in memory), and
// with `blocks` every block. The exit status.
int list_images(const std::vector<std::string>& images, bool blocks, const ConsoleStreams& console);

// The files that the command-line arguments name: on systems where the
// program expands wildcards itself, each argument with a wildcard becomes
// the files that match it (an argument that matches none is reported on
// `err` and sets `status` to a failure). "-" is kept as it is.
std::vector<std::string> expand_file_arguments(const std::vector<std::string>& args, bool expand_wildcards,
                                               std::ostream& err, int& status);

// An error line on `err`, after everything `out` holds so far.
void report_error(const ConsoleStreams& console, const std::string& text);

}  // namespace morlevix
