// The words of a command line split into options and the files they name,
// in the usual form of Unix tools: "-o FILE", "--output FILE",
// "--output=FILE", options anywhere among the files, "--" to end options,
// and "-" as a file (standard input or output).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/two_languages.h"

namespace morlevix {

// An option, and how the help shows it.
struct CommandOption {
    const char* long_name;   // without its "--"
    char short_name;         // 0 for none
    bool takes_value;
    const Text* value_name;  // what the help calls its value ("FICHIER"), or nullptr
    Text help;               // what it does, lines separated by '\n'
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
inline constexpr char kJsonOption[] = "json";
inline constexpr char kProgressOption[] = "progress";
inline constexpr char kQuietOption[] = "quiet";

inline constexpr Text kUnknownOption{"option inconnue : ", "unknown option: "};

// What the help calls the options' values.
inline constexpr Text kFileValue{"FICHIER", "FILE"};
inline constexpr Text kNameValue{"NOM", "NAME"};
inline constexpr Text kAddressValue{"ADRESSE", "ADDRESS"};

inline constexpr CommandOption kHelp = {kHelpOption, 'h', false, nullptr, {"cette aide", "this help"}};
inline constexpr CommandOption kOutput = {
    kOutputOption, 'o', true, &kFileValue,
    {"le fichier a ecrire (avec un seul fichier donne) ;\n- pour la sortie standard",
     "the file to write (with a single file given);\n- for standard output"}};
inline constexpr CommandOption kBlocks = {
    kBlocksOption, 0, false, nullptr, {"une ligne par bloc en plus (list)", "a line for each block as well (list)"}};
inline constexpr CommandOption kMc10 = {
    kMc10Option, 0, false, nullptr,
    {"(make) les programmes BASIC pour le MC-10 (0x4346)\nplutot que pour l'Alice (0x3346)",
     "(make) BASIC programs for the MC-10 (0x4346)\nrather than for the Alice (0x3346)"}};
inline constexpr CommandOption kName = {
    kNameOption, 0, true, &kNameValue,
    {"(make) le nom sur la cassette de la SOURCE qui suit", "(make) the name on the tape of the SOURCE that follows"}};
inline constexpr CommandOption kLoad = {
    kLoadOption, 0, true, &kAddressValue,
    {"(make) l'adresse de chargement (hexadecimale) du\ncode machine qui suit",
     "(make) the load address (hexadecimal) of the\nmachine code that follows"}};
inline constexpr CommandOption kMerge = {
    kMergeOption, 0, false, nullptr,
    {"(decode) une seule image de tous les enregistrements,\nprises d'une meme cassette : chaque bloc de la\nprise qui l'a entendu juste",
     "(decode) a single image of all the recordings,\ntakes of one tape: each block from the take\nthat heard it right"}};
inline constexpr CommandOption kExec = {
    kExecOption, 0, true, &kAddressValue,
    {"(make) son adresse de lancement (par defaut celle\nde chargement)",
     "(make) its start address (by default the load\naddress)"}};

inline constexpr CommandOption kJson = {
    kJsonOption, 0, false, nullptr,
    {"(list, decode) ce qui a ete entendu, en un seul\ndocument JSON sur la sortie standard",
     "(list, decode) what was heard, as one JSON\ndocument on standard output"}};
inline constexpr CommandOption kProgress = {
    kProgressOption, 0, false, nullptr,
    {"(decode) ce qu'il entend, au fur et a mesure, meme\nquand la sortie d'erreur n'est pas un terminal",
     "(decode) what it hears, as it hears it, even\nwhen standard error is not a terminal"}};
inline constexpr CommandOption kQuiet = {
    kQuietOption, 'q', false, nullptr,
    {"(decode) rien pendant le decodage, pas meme sur\nun terminal", "(decode) nothing while decoding, not even on\na terminal"}};

// Splits `args` by `options`. Returns the first usage error, or nothing
// when the words are all right.
Said split_command_words(const std::vector<std::string>& args, const std::vector<CommandOption>& options,
                                std::vector<CommandWord>& words);

// A command's words once split: the files, and the options that commands
// read alike.
struct CommandArguments {
    std::vector<std::string> files;
    std::optional<std::string> output;
    bool blocks = false;
    bool merge = false;
    bool json = false;
    bool progress = false;
    bool quiet = false;
};
CommandArguments read_arguments(const std::vector<CommandWord>& words);

}  // namespace morlevix
