#include "cli/command_table.h"

#include <iostream>

#include "cli/command_help.h"
#include "cli/commands.h"
#include "cli/file_access.h"

#ifndef MORLEVIX_VERSION
#error "MORLEVIX_VERSION is set by the build"
#endif

namespace morlevix {
namespace {

constexpr char kVersionLine[] = "morlevix " MORLEVIX_VERSION "\n";
constexpr char kUnknownOption[] = "option inconnue : ";
constexpr char kHelpWords[][7] = {"-h", "--help"};
constexpr char kVersionWord[] = "--version";

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
    if (args.empty() || is_help_word(args.front())) return show_text(console, overview_text());
    const std::string& word = args.front();
    if (word == kVersionWord) return show_text(console, kVersionLine);
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
        if (parsed.option == kHelpOption) return show_text(console, command_help_text(*command));
    return command->run(words, console);
}

}  // namespace morlevix
