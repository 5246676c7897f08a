// The texts that help a user on the command line, made from the table of
// commands: the overview, one command's usage, and the command a misspelt
// word most likely meant.
#pragma once

#include <string>

#include "cli/command_table.h"

namespace morlevix {

// "morlevix --help": every command, every option, the exit statuses.
std::string overview_text(Language language);

// "morlevix COMMAND --help": its synopsis, what it does, its options and
// two examples.
std::string command_help_text(const Command& command, Language language);

// The command nearest to `word` as it was typed (a letter missing, one too
// many, two swapped, case aside), or an empty text when none is near.
std::string nearest_command_name(const std::string& word);

// An unknown command said on the console, with the one it most likely
// meant; the usage error's status.
int unknown_command(const ConsoleStreams& console, const std::string& word);

// A text on standard output; success.
int show_text(const ConsoleStreams& console, const std::string& text);

}  // namespace morlevix
