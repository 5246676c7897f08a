// The command line: "morlevix COMMAND [OPTIONS] FILE...", for scripts and
// for anyone who knows what to convert without the interactive dialogue.
#pragma once

#include <string>
#include <vector>

#include "console/console_streams.h"

namespace morlevix {

// Runs the command given by `args` (the words after the program's name) and
// returns the exit status.
int run_command_line(const std::vector<std::string>& args, const ConsoleStreams& console);

}  // namespace morlevix
