// The words of a command line split into options and the files they name,
// in the usual form of Unix tools: "-o FILE", "--output FILE",
// "--output=FILE", options anywhere among the files, "--" to end options,
// and "-" as a file (standard input or output).
#pragma once

#include <optional>
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

// The options of the commands, each named once; every command's row of the
// table says which it takes.
inline constexpr char kHelpOption[] = "help";
inline constexpr char kOutputOption[] = "output";
inline constexpr char kBlocksOption[] = "blocks";
inline constexpr char kMc10Option[] = "mc10";
inline constexpr char kNameOption[] = "name";
inline constexpr char kLoadOption[] = "load";
inline constexpr char kExecOption[] = "exec";
inline constexpr char kMergeOption[] = "merge";

inline constexpr CommandOption kHelp = {kHelpOption, 'h', false, nullptr, "cette aide"};
inline constexpr CommandOption kOutput = {kOutputOption, 'o', true, "FICHIER",
                                          "le fichier a ecrire (avec un seul fichier donne) ;\n- pour la sortie standard"};
inline constexpr CommandOption kBlocks = {kBlocksOption, 0, false, nullptr, "une ligne par bloc en plus (list)"};
inline constexpr CommandOption kMc10 = {kMc10Option, 0, false, nullptr,
                                        "(make) les programmes BASIC pour le MC-10 (0x4346)\nplutot que pour l'Alice (0x3346)"};
inline constexpr CommandOption kName = {kNameOption, 0, true, "NOM", "(make) le nom sur la cassette de la SOURCE qui suit"};
inline constexpr CommandOption kLoad = {kLoadOption, 0, true, "ADRESSE",
                                        "(make) l'adresse de chargement (hexadecimale) du\ncode machine qui suit"};
inline constexpr CommandOption kMerge = {kMergeOption, 0, false, nullptr,
                                         "(decode) une seule image de tous les enregistrements,\nprises d'une meme cassette : chaque bloc de la\nprise qui l'a entendu juste"};
inline constexpr CommandOption kExec = {kExecOption, 0, true, "ADRESSE",
                                        "(make) son adresse de lancement (par defaut celle\nde chargement)"};

// Splits `args` by `options`. Returns the first usage error, in French, or
// an empty text when the words are all right.
std::string split_command_words(const std::vector<std::string>& args, const std::vector<CommandOption>& options,
                                std::vector<CommandWord>& words);

// A command's words once split: the files, and the options that commands
// read alike.
struct CommandArguments {
    std::vector<std::string> files;
    std::optional<std::string> output;
    bool blocks = false;
    bool merge = false;
};
CommandArguments read_arguments(const std::vector<CommandWord>& words);

}  // namespace morlevix
