// The commands of the command line, one file each, named after it:
// convert_command.cpp, list_command.cpp, decode_command.cpp (with
// --merge), basic_command.cpp, extract_command.cpp, make_command.cpp, and
// help in command_help.cpp. Each runs on its words, its options already
// checked against its row of the table, and returns the exit status.
#pragma once

#include <vector>

#include "cli/argument_words.h"
#include "console/console_streams.h"

namespace morlevix {

// Each IMAGE becomes its WAV, beside it or where -o says ("-": standard output).
int run_convert(const std::vector<CommandWord>& words, const ConsoleStreams& console);
// What each tape (an image, or a recording decoded in memory) holds.
int run_list(const std::vector<CommandWord>& words, const ConsoleStreams& console);
// Each recording becomes its tape image; with --merge, several takes one image.
int run_decode(const std::vector<CommandWord>& words, const ConsoleStreams& console);
// A BASIC program of a tape as the machine lists it.
int run_basic(const std::vector<CommandWord>& words, const ConsoleStreams& console);
// The bytes of a file on a tape.
int run_extract(const std::vector<CommandWord>& words, const ConsoleStreams& console);
// A tape image of listings and binaries.
int run_make(const std::vector<CommandWord>& words, const ConsoleStreams& console);
// The overview, or one command's help.
int run_help(const std::vector<CommandWord>& words, const ConsoleStreams& console);

}  // namespace morlevix
