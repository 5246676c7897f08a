// The words of a command line split into options and the files they name,
// in the usual form of Unix tools: "-o FILE", "--output FILE",
// "--output=FILE", options anywhere among the files, "--" to end options,
// and "-" as a file (standard input or output).
#pragma once

#include <string>
#include <vector>

namespace morlevix {

// An option, and how the help shows it.
struct CommandOption {
    const char* long_name;   // without its "--"
    char short_name;         // 0 for none
    bool takes_value;
    const char* value_name;  // what the help calls its value ("FICHIER"), or nullptr
    const char* help;        // what it does, lines separated by '\n'
};

// One word of the command line, options named by their long name.
struct CommandWord {
    std::string option;  // empty for a file
    std::string value;   // the option's value, or the file's name
    bool is_file() const { return option.empty(); }
};

// Splits `args` by `options`. Returns the first usage error, in French, or
// an empty text when the words are all right.
std::string split_command_words(const std::vector<std::string>& args, const std::vector<CommandOption>& options,
                                std::vector<CommandWord>& words);

}  // namespace morlevix
