#include "cli/command_table.h"

#include <iostream>
#include <optional>

#include "cli/file_access.h"
#include "console/file_patterns.h"
#include "cli/argument_words.h"
#include "cli/program_commands.h"
#include "cli/tape_commands.h"
#include "tape/tape_files.h"

#ifndef MORLEVIX_VERSION
#error "MORLEVIX_VERSION is set by the build"
#endif

namespace morlevix {
namespace {

constexpr char kUsage[] =
    "Usage : morlevix [COMMANDE [OPTIONS] FICHIER...]\n"
    "\n"
    "Sans argument, morlevix pose ses questions et convertit les images .k7 du\n"
    "dossier courant qui correspondent au nom tape (jokers * et ?).\n"
    "\n"
    "Commandes :\n"
    "  convert [-o WAV] IMAGE...    chaque image .k7 devient un fichier .wav, a cote\n"
    "                               d'elle, sous son nom coupe au premier point\n"
    "  list [--blocks] IMAGE...     les fichiers que contient chaque cassette, et ce\n"
    "                               qui ne va pas (une IMAGE peut etre un\n"
    "                               enregistrement .wav)\n"
    "  decode [-o IMAGE] WAV...     chaque enregistrement .wav d'une cassette devient\n"
    "                               une image .k7, a cote de lui\n"
    "  basic [-o TEXTE] CASSETTE [FICHIER]\n"
    "                               le programme BASIC de FICHIER (par defaut le\n"
    "                               premier) comme la machine le liste\n"
    "  extract [-o SORTIE] CASSETTE FICHIER\n"
    "                               les octets de FICHIER (par defaut dans NOM.bin)\n"
    "  make [-o IMAGE] [--mc10] SOURCE...\n"
    "                               une image .k7 d'un fichier par SOURCE : un\n"
    "                               listing .bas ou .txt devient un programme BASIC,\n"
    "                               tout autre fichier du code machine\n"
    "\n"
    "Options :\n"
    "  -o, --output FICHIER   le fichier a ecrire (avec une seule IMAGE) ;\n"
    "                         - pour la sortie standard\n"
    "  --blocks               une ligne par bloc en plus (list)\n"
    "  --mc10                 (make) les programmes BASIC pour le MC-10 (0x4346)\n"
    "                         plutot que pour l'Alice (0x3346)\n"
    "  --name NOM             (make) le nom sur la cassette de la SOURCE qui suit\n"
    "  --load ADRESSE         (make) l'adresse de chargement (hexadecimale) du\n"
    "                         code machine qui suit\n"
    "  --exec ADRESSE         (make) son adresse de lancement (par defaut celle\n"
    "                         de chargement)\n"
    "  -h, --help             cette aide\n"
    "  --version              la version du programme\n"
    "\n"
    "Un fichier - se lit sur l'entree standard. Une CASSETTE est une image .k7 ou\n"
    "un enregistrement .wav ; un FICHIER y est nomme comme list le montre.\n"
    "\n"
    "Etat de sortie : 0 tout est fait ; 1 un fichier n'a pas pu etre lu ou ecrit,\n"
    "une image finit au milieu d'un bloc, ou (list, decode) un bloc est faux ;\n"
    "2 la ligne de commande est fausse.\n";
constexpr char kVersionLine[] = "morlevix " MORLEVIX_VERSION "\n";
constexpr char kHint[] = " (morlevix --help pour l'aide)";
constexpr char kNoImageGiven[] = "aucune image donnee";
constexpr char kNoRecordingGiven[] = "aucun enregistrement donne";
constexpr char kSingleImage[] = "-o ne va qu'avec une seule image";
constexpr char kSingleRecording[] = "-o ne va qu'avec un seul enregistrement";

constexpr char kHelpOption[] = "help";
constexpr char kOutputOption[] = "output";
constexpr char kBlocksOption[] = "blocks";
constexpr char kVersionOption[] = "--version";
constexpr char kConvertCommand[] = "convert";
constexpr char kListCommand[] = "list";
constexpr char kDecodeCommand[] = "decode";
constexpr char kBasicCommand[] = "basic";
constexpr char kExtractCommand[] = "extract";
constexpr char kMakeCommand[] = "make";
constexpr char kMc10Option[] = "mc10";
constexpr char kNameOption[] = "name";
constexpr char kLoadOption[] = "load";
constexpr char kExecOption[] = "exec";
constexpr char kBasicArguments[] = "basic demande une CASSETTE et au plus un FICHIER";
constexpr char kExtractArguments[] = "extract demande une CASSETTE et un FICHIER";
constexpr char kNoSource[] = "aucune source donnee";
constexpr char kLongName[] = "un nom sur la cassette a 8 caracteres au plus : ";
constexpr char kBadAddress[] = "adresse hexadecimale de 0 a ffff attendue : ";
constexpr char kDanglingOption[] = "une option sans SOURCE apres elle : --";

const CommandOption kHelp = {kHelpOption, 'h', false};
const CommandOption kOutput = {kOutputOption, 'o', true};
const CommandOption kBlocks = {kBlocksOption, 0, false};
const CommandOption kMc10 = {kMc10Option, 0, false};
const CommandOption kName = {kNameOption, 0, true};
const CommandOption kLoad = {kLoadOption, 0, true};
const CommandOption kExec = {kExecOption, 0, true};

int usage_error(const ConsoleStreams& console, const std::string& problem)
{
    console.err << kProgramPrefix << problem << kHint << '\n' << std::flush;
    return kExitUsage;
}

int show_usage(const ConsoleStreams& console)
{
    console.out << kUsage << std::flush;
    return kExitSuccess;
}

// A command's words, once split and checked.
struct CommandArguments {
    std::vector<std::string> files;
    std::optional<std::string> output;
    bool blocks = false;
    bool help = false;
};

std::string read_arguments(const std::vector<std::string>& args, const std::vector<CommandOption>& options,
                           CommandArguments& parsed)
{
    std::vector<CommandWord> words;
    const std::string error = split_command_words(args, options, words);
    if (!error.empty()) return error;
    for (const auto& word : words) {
        if (word.is_file()) parsed.files.push_back(word.value);
        else if (word.option == kOutputOption) parsed.output = word.value;
        else if (word.option == kBlocksOption) parsed.blocks = true;
        else if (word.option == kHelpOption) parsed.help = true;
    }
    return "";
}

int run_tape_command(const std::string& command, const std::vector<std::string>& args, const ConsoleStreams& console)
{
    const bool list = command == kListCommand;
    CommandArguments parsed;
    const std::string error =
        read_arguments(args, list ? std::vector<CommandOption>{kHelp, kBlocks} : std::vector<CommandOption>{kHelp, kOutput},
                       parsed);
    if (!error.empty()) return usage_error(console, error);
    if (parsed.help) return show_usage(console);
    const bool decode = command == kDecodeCommand;
    if (parsed.files.empty()) return usage_error(console, decode ? kNoRecordingGiven : kNoImageGiven);
    const char* single = decode ? kSingleRecording : kSingleImage;
    if (parsed.output && parsed.files.size() > 1) return usage_error(console, single);

    int status = kExitSuccess;
    const auto files = expand_file_arguments(parsed.files, kProgramExpandsWildcards, console.err, status);
    if (parsed.output && files.size() > 1) return usage_error(console, single);
    int result;
    if (list) result = list_images(files, parsed.blocks, console);
    else if (decode) result = decode_recordings(files, parsed.output, console);
    else result = convert_images(files, parsed.output, console);
    return result != kExitSuccess ? result : status;
}

// basic and extract: a tape, and a file on it.
int run_file_command(const std::string& command, const std::vector<std::string>& args, const ConsoleStreams& console)
{
    CommandArguments parsed;
    const std::string error = read_arguments(args, {kHelp, kOutput}, parsed);
    if (!error.empty()) return usage_error(console, error);
    if (parsed.help) return show_usage(console);
    const auto count = parsed.files.size();
    if (command == kBasicCommand) {
        if (count < 1 || count > 2) return usage_error(console, kBasicArguments);
        const auto file = count == 2 ? std::optional<std::string>(parsed.files[1]) : std::nullopt;
        return show_basic(parsed.files[0], file, parsed.output, console);
    }
    if (count != 2) return usage_error(console, kExtractArguments);
    return extract_file(parsed.files[0], parsed.files[1], parsed.output, console);
}

// make: the options before a source apply to that source.
int run_make(const std::vector<std::string>& args, const ConsoleStreams& console)
{
    std::vector<CommandWord> words;
    const std::string error = split_command_words(args, {kHelp, kOutput, kMc10, kName, kLoad, kExec}, words);
    if (!error.empty()) return usage_error(console, error);
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
        } else if (word.option == kHelpOption) {
            return show_usage(console);
        } else if (word.option == kOutputOption) {
            output = word.value;
        } else if (word.option == kMc10Option) {
            mc10 = true;
        } else if (word.option == kNameOption) {
            if (word.value.empty() || word.value.size() > kTapeFileNameLength) return usage_error(console, kLongName + word.value);
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

}  // namespace

int run_command_line(const std::vector<std::string>& args, const ConsoleStreams& console)
{
    if (args.empty()) return show_usage(console);
    const std::string& command = args.front();
    if (command == "-h" || command == "--help") return show_usage(console);
    if (command == kVersionOption) {
        console.out << kVersionLine << std::flush;
        return kExitSuccess;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == kConvertCommand || command == kListCommand || command == kDecodeCommand)
        return run_tape_command(command, rest, console);
    if (command == kBasicCommand || command == kExtractCommand) return run_file_command(command, rest, console);
    if (command == kMakeCommand) return run_make(rest, console);
    if (!command.empty() && command[0] == '-') return usage_error(console, "option inconnue : " + command);
    return usage_error(console, "commande inconnue : " + command);
}

}  // namespace morlevix
