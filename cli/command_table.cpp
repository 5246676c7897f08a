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
        {"convert", run_convert, {"convert [-o WAV] IMAGE...", "convert [-o WAV] IMAGE..."},
         {"chaque image .k7 devient un fichier .wav, a cote\nd'elle, sous son nom coupe au premier point",
          "each .k7 image becomes a .wav file beside it,\nunder its name cut at the first dot"},
         {kOutput},
         {{"morlevix convert JEU.k7 jeux/*.K7", "morlevix convert GAME.k7 games/*.K7"},
          {"JEU.wav, et un .wav a cote de chaque image de jeux/", "GAME.wav, and a .wav beside each image of games/"},
          {"morlevix convert -o - JEU.k7 | aplay", "morlevix convert -o - GAME.k7 | aplay"},
          {"la cassette jouee tout de suite, sans fichier ecrit", "the tape played at once, with no file written"}}},
        {"list", run_list, {"list [--blocks] [--json] IMAGE...", "list [--blocks] [--json] IMAGE..."},
         {"les fichiers que contient chaque cassette, et ce\nqui ne va pas (une IMAGE peut etre un\nenregistrement .wav)",
          "the files each tape holds, and what is wrong\n(an IMAGE may be a recording)"},
         {kBlocks, kJson},
         {{"morlevix list JEU.k7", "morlevix list GAME.k7"},
          {"les fichiers de la cassette, et ce qui ne va pas", "the files of the tape, and what is wrong"},
          {"morlevix list --blocks ENREG.wav", "morlevix list --blocks TAKE.flac"},
          {"chaque bloc entendu dans l'enregistrement, avec son temps", "each block heard in the recording, with its time"}}},
        {"decode", run_decode, {"decode [-o IMAGE] [--merge] [--json] WAV...", "decode [-o IMAGE] [--merge] [--json] RECORDING..."},
         {"chaque enregistrement .wav d'une cassette devient\nune image .k7, a cote de lui ; avec --merge, les\nprises d'une meme cassette en font une seule",
          "each recording of a tape becomes a .k7 image\nbeside it; with --merge, the takes of one tape\nmake a single one"},
         {kOutput, kMerge, kJson, kProgress, kQuiet},
         {{"morlevix decode JEU.wav", "morlevix decode GAME.wav"},
          {"l'image JEU.k7 de la cassette enregistree", "the image GAME.k7 of the tape recorded"},
          {"morlevix decode --merge -o JEU.k7 PRISE1.wav PRISE2.wav", "morlevix decode --merge -o GAME.k7 TAKE1.wav TAKE2.mp3"},
          {"une image de deux prises, chaque bloc de celle qui l'a entendu juste",
           "one image of two takes, each block from the one that heard it right"}}},
        {"basic", run_basic, {"basic [-o TEXTE] CASSETTE [FICHIER]", "basic [-o TEXT] TAPE [FILE]"},
         {"le programme BASIC de FICHIER (par defaut le\npremier) comme la machine le liste",
          "the BASIC program of FILE (by default the\nfirst) as the machine lists it"},
         {kOutput},
         {{"morlevix basic JEU.k7 > JEU.bas", "morlevix basic GAME.k7 > GAME.bas"},
          {"le listing du premier programme de la cassette", "the listing of the first program of the tape"},
          {"morlevix basic VIEILLE.wav CASSE-BR", "morlevix basic OLD.wav CASSE-BR"},
          {"le programme CASSE-BR d'un enregistrement", "the program CASSE-BR of a recording"}}},
        {"extract", run_extract, {"extract [-o SORTIE] CASSETTE FICHIER", "extract [-o OUTPUT] TAPE FILE"},
         {"les octets de FICHIER (par defaut dans NOM.bin)", "the bytes of FILE (by default into NAME.bin)"},
         {kOutput},
         {{"morlevix extract JEU.k7 ECRAN", "morlevix extract GAME.k7 SCREEN"},
          {"les octets du fichier ECRAN, dans ECRAN.bin", "the bytes of the file SCREEN, into SCREEN.bin"},
          {"morlevix extract -o - JEU.k7 ECRAN | xxd", "morlevix extract -o - GAME.k7 SCREEN | xxd"},
          {"les memes, vus en hexadecimal", "the same, seen in hexadecimal"}}},
        {"make", run_make, {"make [-o IMAGE] [--mc10] SOURCE...", "make [-o IMAGE] [--mc10] SOURCE..."},
         {"une image .k7 d'un fichier par SOURCE : un\nlisting .bas ou .txt devient un programme BASIC,\ntout "
          "autre fichier du code machine",
          "a .k7 image of one file per SOURCE: a .bas or\n.txt listing becomes a BASIC program, any other\nfile "
          "machine code"},
         {kOutput, kMc10, kName, kLoad, kExec},
         {{"morlevix make JEU.bas", "morlevix make GAME.bas"},
          {"l'image JEU.k7 du programme JEU", "the image GAME.k7 of the program GAME"},
          {"morlevix make -o JEU.k7 JEU.bas --load 4000 ECRAN.bin", "morlevix make -o GAME.k7 GAME.bas --load 4000 SCREEN.bin"},
          {"le programme et du code machine charge en 4000", "the program, and machine code loaded at 4000"}}},
        {"help", run_help, {"help [COMMANDE]", "help [COMMAND]"}, {"l'aide de COMMANDE, ou cette aide", "the help of COMMAND, or this help"}, {},
         {{"morlevix help convert", "morlevix help convert"},
          {"l'aide de convert seule", "the help of convert alone"},
          {"morlevix help", "morlevix help"},
          {"cette aide", "this help"}}},
    };
    return commands;
}

const Command* find_command(const std::string& name)
{
    for (const auto& command : command_table())
        if (name == command.name) return &command;
    return nullptr;
}

std::vector<CommandOption> every_option()
{
    return {kOutput, kBlocks, kMerge, kJson, kProgress, kQuiet, kMc10, kName, kLoad, kExec, kHelp};
}

int run_command_line(const std::vector<std::string>& args, const ConsoleStreams& console)
{
    if (args.empty() || is_help_word(args.front())) return show_text(console, overview_text(console.language));
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
    const Said error =
        split_command_words(std::vector<std::string>(args.begin() + 1, args.end()), options, words);
    if (!error.empty()) return usage_error(console, error);
    for (const auto& parsed : words)
        if (parsed.option == kHelpOption) return show_text(console, command_help_text(*command, console.language));
    return command->run(words, console);
}

}  // namespace morlevix
