// The command line: "morlevix COMMAND [OPTIONS] FILE...", for scripts and
// for anyone who knows what to convert without the interactive dialogue.
// Every command stands in one table, with the function that runs it and its
// usage; the dispatch, the overview, each command's help and the suggestion
// for a misspelt command all read from it, so a command is added in one place.
#pragma once

#include <string>
#include <vector>

#include "cli/argument_words.h"
#include "console/console_streams.h"

namespace morlevix {

struct Command {
    const char* name;
    // Runs the command on its words, options already checked against
    // `options`; returns the exit status.
    int (*run)(const std::vector<CommandWord>& words, const ConsoleStreams& console);
    Text synopsis;  // after "morlevix "
    Text summary;   // what it does, lines separated by '\n'
    std::vector<CommandOption> options;  // --help comes with every command
    std::vector<Text> examples;          // a command line, then what it does
};

// Every command, in the order the overview shows them.
const std::vector<Command>& command_table();

// The command of that name, or nullptr.
const Command* find_command(const std::string& name);

// The options of every command, each once, in the order the overview shows them.
std::vector<CommandOption> every_option();

// Runs the command given by `args` (the words after the program's name) and
// returns the exit status.
int run_command_line(const std::vector<std::string>& args, const ConsoleStreams& console);

}  // namespace morlevix
