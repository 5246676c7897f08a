#include "cli/command_table.h"

#include <iostream>
#include <optional>

#include "cli/command_help.h"
#include "cli/file_access.h"
#include "cli/program_commands.h"
#include "cli/commands.h"
#include "console/file_patterns.h"
#include "tape/tape_files.h"

#ifndef MORLEVIX_VERSION
#error "MORLEVIX_VERSION is set by the build"
#endif

namespace morlevix {
namespace {

constexpr char kVersionLine[] = "morlevix " MORLEVIX_VERSION "\n";
constexpr char kHint[] = " (morlevix --help pour l'aide)";
constexpr char kUnknownCommand[] = "commande inconnue : ";
constexpr char kUnknownOption[] = "option inconnue : ";
constexpr char kSuggestion[] = " ; vouliez-vous dire ";
constexpr char kSuggestionEnd[] = " ?";
constexpr char kNoImageGiven[] = "aucune image donnee";
constexpr char kNoRecordingGiven[] = "aucun enregistrement donne";
constexpr char kSingleImage[] = "-o ne va qu'avec une seule image";
constexpr char kSingleRecording[] = "-o ne va qu'avec un seul enregistrement";
constexpr char kBasicArguments[] = "basic demande une CASSETTE et au plus un FICHIER";
constexpr char kExtractArguments[] = "extract demande une CASSETTE et un FICHIER";
constexpr char kHelpArguments[] = "help demande au plus une COMMANDE";
constexpr char kNoSource[] = "aucune source donnee";
constexpr char kLongName[] = "un nom sur la cassette a 8 caracteres au plus : ";
constexpr char kBadAddress[] = "adresse hexadecimale de 0 a ffff attendue : ";
constexpr char kDanglingOption[] = "une option sans SOURCE apres elle : --";
constexpr char kHelpWords[][7] = {"-h", "--help"};
constexpr char kVersionWord[] = "--version";

constexpr char kHelpOption[] = "help";
constexpr char kOutputOption[] = "output";
constexpr char kBlocksOption[] = "blocks";
constexpr char kMc10Option[] = "mc10";
constexpr char kNameOption[] = "name";
constexpr char kLoadOption[] = "load";
constexpr char kExecOption[] = "exec";
constexpr char kMergeOption[] = "merge";

const CommandOption kHelp = {kHelpOption, 'h', false, nullptr, "cette aide"};
const CommandOption kOutput = {kOutputOption, 'o', true, "FICHIER",
                               "le fichier a ecrire (avec un seul fichier donne) ;\n- pour la sortie standard"};
const CommandOption kBlocks = {kBlocksOption, 0, false, nullptr, "une ligne par bloc en plus (list)"};
const CommandOption kMc10 = {kMc10Option, 0, false, nullptr,
                             "(make) les programmes BASIC pour le MC-10 (0x4346)\nplutot que pour l'Alice (0x3346)"};
const CommandOption kName = {kNameOption, 0, true, "NOM", "(make) le nom sur la cassette de la SOURCE qui suit"};
const CommandOption kLoad = {kLoadOption, 0, true, "ADRESSE",
                             "(make) l'adresse de chargement (hexadecimale) du\ncode machine qui suit"};
const CommandOption kMerge = {kMergeOption, 0, false, nullptr,
                              "(decode) une seule image de tous les enregistrements,\nprises d'une meme cassette : chaque bloc de la\nprise qui l'a entendu juste"};
const CommandOption kExec = {kExecOption, 0, true, "ADRESSE",
                             "(make) son adresse de lancement (par defaut celle\nde chargement)"};

int usage_error(const ConsoleStreams& console, const std::string& problem)
{
    console.err << kProgramPrefix << problem << kHint << '\n' << std::flush;
    return kExitUsage;
}

int show(const ConsoleStreams& console, const std::string& text)
{
    console.out << text << std::flush;
    return kExitSuccess;
}

// An unknown command, and the one it most likely meant.
int unknown_command(const ConsoleStreams& console, const std::string& word)
{
    const std::string nearest = nearest_command_name(word);
    if (nearest.empty()) return usage_error(console, kUnknownCommand + word);
    console.err << kProgramPrefix << kUnknownCommand << word << kSuggestion << nearest << kSuggestionEnd << '\n'
                << std::flush;
    return kExitUsage;
}

// A command's words, once split.
struct CommandArguments {
    std::vector<std::string> files;
    std::optional<std::string> output;
    bool blocks = false;
    bool merge = false;
};

CommandArguments read_arguments(const std::vector<CommandWord>& words)
{
    CommandArguments parsed;
    for (const auto& word : words) {
        if (word.is_file()) parsed.files.push_back(word.value);
        else if (word.option == kOutputOption) parsed.output = word.value;
        else if (word.option == kBlocksOption) parsed.blocks = true;
        else if (word.option == kMergeOption) parsed.merge = true;
    }
    return parsed;
}

// convert, list and decode: every file named, wildcards expanded where the
// shell leaves them.
enum class TapeCommand { convert, list, decode };

int run_tape_command(TapeCommand command, const std::vector<CommandWord>& words, const ConsoleStreams& console)
{
    const CommandArguments parsed = read_arguments(words);
    const bool decode = command == TapeCommand::decode;
    if (parsed.files.empty()) return usage_error(console, decode ? kNoRecordingGiven : kNoImageGiven);
    const char* single = decode ? kSingleRecording : kSingleImage;
    if (parsed.output && parsed.files.size() > 1 && !parsed.merge) return usage_error(console, single);

    int status = kExitSuccess;
    const auto files = expand_file_arguments(parsed.files, kProgramExpandsWildcards, console.err, status);
    if (files.empty()) return status;
    if (parsed.merge && files.size() > 1) {
        const int merged = merge_recordings(files, parsed.output, console);
        return merged != kExitSuccess ? merged : status;
    }
    if (parsed.output && files.size() > 1) return usage_error(console, single);
    int result;
    switch (command) {
    case TapeCommand::list: result = list_images(files, parsed.blocks, console); break;
    case TapeCommand::decode: result = decode_recordings(files, parsed.output, console); break;
    case TapeCommand::convert:
    default: result = convert_images(files, parsed.output, console); break;
    }
    return result != kExitSuccess ? result : status;
}

int run_convert(const std::vector<CommandWord>& words, const ConsoleStreams& console)
{
    return run_tape_command(TapeCommand::convert, words, console);
}

int run_list(const std::vector<CommandWord>& words, const ConsoleStreams& console)
{
    return run_tape_command(TapeCommand::list, words, console);
}

int run_decode(const std::vector<CommandWord>& words, const ConsoleStreams& console)
{
    return run_tape_command(TapeCommand::decode, words, console);
}

int run_basic(const std::vector<CommandWord>& words, const ConsoleStreams& console)
{
    const CommandArguments parsed = read_arguments(words);
    const auto count = parsed.files.size();
    if (count < 1 || count > 2) return usage_error(console, kBasicArguments);
    const auto file = count == 2 ? std::optional<std::string>(parsed.files[1]) : std::nullopt;
    return show_basic(parsed.files[0], file, parsed.output, console);
}

int run_extract(const std::vector<CommandWord>& words, const ConsoleStreams& console)
{
    const CommandArguments parsed = read_arguments(words);
    if (parsed.files.size() != 2) return usage_error(console, kExtractArguments);
    return extract_file(parsed.files[0], parsed.files[1], parsed.output, console);
}

// make: the options before a source apply to that source.
int run_make(const std::vector<CommandWord>& words, const ConsoleStreams& console)
{
    std::vector<TapeSource> sources;
    TapeSource next;
    std::optional<std::string> output;
    bool mc10 = false;
    std::string pending;  // an option waiting for its source
    for (const auto& word : words) {
        if (word.is_file()) {
            next.path = word.value;
            sources.push_back(next);
            next = TapeSource{};
            pending.clear();
        } else if (word.option == kOutputOption) {
            output = word.value;
        } else if (word.option == kMc10Option) {
            mc10 = true;
        } else if (word.option == kNameOption) {
            if (word.value.empty() || word.value.size() > kNameLength) return usage_error(console, kLongName + word.value);
            next.name = word.value;
            pending = word.option;
        } else {
            const auto address = parse_address(word.value);
            if (!address) return usage_error(console, kBadAddress + word.value);
            (word.option == kLoadOption ? next.load : next.exec) = address;
            pending = word.option;
        }
    }
    if (!pending.empty()) return usage_error(console, kDanglingOption + pending);
    if (sources.empty()) return usage_error(console, kNoSource);
    return make_tape(sources, mc10, output, console);
}

int run_help(const std::vector<CommandWord>& words, const ConsoleStreams& console)
{
    const CommandArguments parsed = read_arguments(words);
    if (parsed.files.empty()) return show(console, overview_text());
    if (parsed.files.size() > 1) return usage_error(console, kHelpArguments);
    const Command* command = find_command(parsed.files.front());
    if (command == nullptr) return unknown_command(console, parsed.files.front());
    return show(console, command_help_text(*command));
}

bool is_help_word(const std::string& word)
{
    for (const char* help : kHelpWords)
        if (word == help) return true;
    return false;
}

}  // namespace

const std::vector<Command>& command_table()
{
    static const std::vector<Command> commands = {
        {"convert", run_convert, "convert [-o WAV] IMAGE...",
         "chaque image .k7 devient un fichier .wav, a cote\nd'elle, sous son nom coupe au premier point",
         {kOutput},
         {"morlevix convert JEU.k7 jeux/*.K7", "JEU.wav, et un .wav a cote de chaque image de jeux/",
          "morlevix convert -o - JEU.k7 | aplay", "la cassette jouee tout de suite, sans fichier ecrit"}},
        {"list", run_list, "list [--blocks] IMAGE...",
         "les fichiers que contient chaque cassette, et ce\nqui ne va pas (une IMAGE peut etre un\nenregistrement .wav)",
         {kBlocks},
         {"morlevix list JEU.k7", "les fichiers de la cassette, et ce qui ne va pas",
          "morlevix list --blocks ENREG.wav", "chaque bloc entendu dans l'enregistrement, avec son temps"}},
        {"decode", run_decode, "decode [-o IMAGE] [--merge] WAV...",
         "chaque enregistrement .wav d'une cassette devient\nune image .k7, a cote de lui ; avec --merge, les\nprises d'une meme cassette en font une seule",
         {kOutput, kMerge},
         {"morlevix decode JEU.wav", "l'image JEU.k7 de la cassette enregistree",
          "morlevix decode --merge -o JEU.k7 PRISE1.wav PRISE2.wav", "une image de deux prises, chaque bloc de celle qui l'a entendu juste"}},
        {"basic", run_basic, "basic [-o TEXTE] CASSETTE [FICHIER]",
         "le programme BASIC de FICHIER (par defaut le\npremier) comme la machine le liste",
         {kOutput},
         {"morlevix basic JEU.k7 > JEU.bas", "le listing du premier programme de la cassette",
          "morlevix basic VIEILLE.wav CASSE-BR", "le programme CASSE-BR d'un enregistrement"}},
        {"extract", run_extract, "extract [-o SORTIE] CASSETTE FICHIER",
         "les octets de FICHIER (par defaut dans NOM.bin)",
         {kOutput},
         {"morlevix extract JEU.k7 ECRAN", "les octets du fichier ECRAN, dans ECRAN.bin",
          "morlevix extract -o - JEU.k7 ECRAN | xxd", "les memes, vus en hexadecimal"}},
        {"make", run_make, "make [-o IMAGE] [--mc10] SOURCE...",
         "une image .k7 d'un fichier par SOURCE : un\nlisting .bas ou .txt devient un programme BASIC,\ntout "
         "autre fichier du code machine",
         {kOutput, kMc10, kName, kLoad, kExec},
         {"morlevix make JEU.bas", "l'image JEU.k7 du programme JEU",
          "morlevix make -o JEU.k7 JEU.bas --load 4000 ECRAN.bin", "le programme et du code machine charge en 4000"}},
        {"help", run_help, "help [COMMANDE]", "l'aide de COMMANDE, ou cette aide", {},
         {"morlevix help convert", "l'aide de convert seule", "morlevix help", "cette aide"}},
    };
    return commands;
}

const Command* find_command(const std::string& name)
{
    for (const auto& command : command_table())
        if (name == command.name) return &command;
    return nullptr;
}

std::vector<CommandOption> every_option() { return {kOutput, kBlocks, kMerge, kMc10, kName, kLoad, kExec, kHelp}; }

int run_command_line(const std::vector<std::string>& args, const ConsoleStreams& console)
{
    if (args.empty() || is_help_word(args.front())) return show(console, overview_text());
    const std::string& word = args.front();
    if (word == kVersionWord) return show(console, kVersionLine);
    const Command* command = find_command(word);
    if (command == nullptr) {
        if (!word.empty() && word[0] == '-') return usage_error(console, kUnknownOption + word);
        return unknown_command(console, word);
    }
    std::vector<CommandOption> options = command->options;
    options.push_back(kHelp);
    std::vector<CommandWord> words;
    const std::string error =
        split_command_words(std::vector<std::string>(args.begin() + 1, args.end()), options, words);
    if (!error.empty()) return usage_error(console, error);
    for (const auto& parsed : words)
        if (parsed.option == kHelpOption) return show(console, command_help_text(*command));
    return command->run(words, console);
}

}  // namespace morlevix
