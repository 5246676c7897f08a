#include "cli/command_help.h"

#include <algorithm>
#include <cctype>
#include <iostream>
#include <sstream>

#include "cli/commands.h"
#include "cli/file_access.h"
#include "tape/sound/recording_input.h"

namespace morlevix {
namespace {

constexpr Text kOverviewStart{
    "Usage : morlevix [COMMANDE [OPTIONS] FICHIER...]\n"
    "\n"
    "Sans argument, morlevix pose ses questions et convertit les images .k7 du\n"
    "dossier courant qui correspondent au nom tape (jokers * et ?).\n"
    "\n"
    "Commandes :\n",
    "Usage: morlevix [COMMAND [OPTIONS] FILE...]\n"
    "\n"
    "Without arguments, morlevix asks its questions (in French) and converts the\n"
    ".k7 images of the current folder that match the name typed (wildcards * and ?).\n"
    "\n"
    "Commands:\n"};
constexpr Text kOptionsHeading{"\nOptions :\n", "\nOptions:\n"};
constexpr Text kExamplesHeading{"\nExemples :\n", "\nExamples:\n"};
constexpr char kVersionFlags[] = "--version";
constexpr Text kVersionHelp{"la version du programme", "the program's version"};
constexpr Text kOverviewEnd{
    "\n"
    "Un fichier - se lit sur l'entree standard. Une CASSETTE est une image .k7 ou\n"
    "un enregistrement .wav ; un FICHIER y est nomme comme list le montre.\n"
    "Aide d'une commande : morlevix COMMANDE --help, ou morlevix help COMMANDE.\n"
    "\n"
    "Etat de sortie : 0 tout est fait ; 1 un fichier n'a pas pu etre lu ou ecrit,\n"
    "une image finit au milieu d'un bloc, ou (list, decode) un fichier de la\n"
    "cassette n'est pas entier ; 2 la ligne de commande est fausse.\n",
    "\n"
    "A file - is read from standard input. A TAPE is a .k7 image or a recording;\n"
    "a FILE on it is named as list shows it.\n"
    "Help on a command: morlevix COMMAND --help, or morlevix help COMMAND.\n"
    "\n"
    "Exit status: 0 all is done; 1 a file could not be read or written, an image\n"
    "ends inside a block, or (list, decode) a file on the tape is not whole; 2 the\n"
    "command line is wrong.\n"};
constexpr Text kCommandUsage{"Usage : morlevix ", "Usage: morlevix "};
constexpr Text kHelpArguments{"help demande au plus une COMMANDE", "help takes at most one COMMAND"};
constexpr Text kUnknownCommand{"commande inconnue : ", "unknown command: "};
constexpr Text kSuggestion{" ; vouliez-vous dire ", "; did you mean "};
constexpr Text kSuggestionEnd{" ?", "?"};
constexpr char kIndent[] = "  ";
constexpr char kExampleIndent[] = "      ";
constexpr std::size_t kSynopsisWidth = 29;  // what it does starts past it
constexpr std::size_t kFlagsWidth = 23;
constexpr std::size_t kColumnGap = 2;       // at least, between a name and its text

// `text`'s lines, the first after `head` padded to `width`, the others
// under it.
void put_columns(std::ostringstream& out, const std::string& head, std::size_t width, const std::string& text)
{
    out << kIndent << head;
    const std::string margin(std::string(kIndent).size() + width, ' ');
    if (head.size() + kColumnGap > width) out << '\n' << margin;
    else out << std::string(width - head.size(), ' ');
    for (const char c : text) {
        out << c;
        if (c == '\n') out << margin;
    }
    out << '\n';
}

std::string flags_of(const CommandOption& option, Language language)
{
    std::string flags;
    if (option.short_name != 0) flags += std::string("-") + option.short_name + ", ";
    flags += std::string("--") + option.long_name;
    if (option.value_name != nullptr) flags += std::string(" ") + option.value_name->in(language);
    return flags;
}

void put_option(std::ostringstream& out, const CommandOption& option, Language language)
{
    put_columns(out, flags_of(option, language), kFlagsWidth, option.help.in(language));
}

std::string folded(const std::string& word)
{
    std::string result = word;
    for (auto& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

// Edits between `a` and `b`: a letter added, removed, changed, or two
// neighbours swapped, each counting one.
std::size_t edit_distance(const std::string& a, const std::string& b)
{
    const std::size_t rows = a.size() + 1, columns = b.size() + 1;
    std::vector<std::size_t> d(rows * columns);
    const auto at = [&](std::size_t i, std::size_t j) -> std::size_t& { return d[i * columns + j]; };
    for (std::size_t i = 0; i < rows; ++i) at(i, 0) = i;
    for (std::size_t j = 0; j < columns; ++j) at(0, j) = j;
    for (std::size_t i = 1; i < rows; ++i) {
        for (std::size_t j = 1; j < columns; ++j) {
            const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                at(i, j) = std::min(at(i, j), at(i - 2, j - 2) + 1);
        }
    }
    return at(rows - 1, columns - 1);
}

}  // namespace

std::string overview_text(Language language)
{
    std::ostringstream out;
    out << kOverviewStart.in(language);
    for (const auto& command : command_table())
        put_columns(out, command.synopsis.in(language), kSynopsisWidth, command.summary.in(language));
    out << kOptionsHeading.in(language);
    for (const auto& option : every_option()) put_option(out, option, language);
    put_columns(out, kVersionFlags, kFlagsWidth, kVersionHelp.in(language));
    out << kOverviewEnd.in(language) << recording_formats_text().in(language);
    return out.str();
}

std::string command_help_text(const Command& command, Language language)
{
    std::ostringstream out;
    out << kCommandUsage.in(language) << command.synopsis.in(language) << "\n\n";
    out << kIndent;
    for (const char c : std::string(command.summary.in(language))) {
        out << c;
        if (c == '\n') out << kIndent;
    }
    out << '\n' << kOptionsHeading.in(language);
    for (const auto& option : command.options) put_option(out, option, language);
    put_option(out, every_option().back(), language);  // --help
    out << kExamplesHeading.in(language);
    for (std::size_t i = 0; i + 1 < command.examples.size(); i += 2)
        out << kIndent << command.examples[i].in(language) << '\n' << kExampleIndent << command.examples[i + 1].in(language)
            << '\n';
    return out.str();
}

std::string nearest_command_name(const std::string& word)
{
    // Further than two edits, or as many edits as letters typed, is another word.
    constexpr std::size_t kFarthest = 2;
    const std::string typed = folded(word);
    std::string nearest;
    std::size_t best = kFarthest + 1;
    for (const auto& command : command_table()) {
        const std::size_t distance = edit_distance(typed, command.name);
        if (distance < best && distance < typed.size()) {
            best = distance;
            nearest = command.name;
        }
    }
    return nearest;
}

int unknown_command(const ConsoleStreams& console, const std::string& word)
{
    const std::string nearest = nearest_command_name(word);
    if (nearest.empty()) return usage_error(console, kUnknownCommand + word);
    console.err << kProgramPrefix << console(kUnknownCommand) << word << console(kSuggestion) << nearest
                << console(kSuggestionEnd) << '\n' << std::flush;
    return kExitUsage;
}

int show_text(const ConsoleStreams& console, const std::string& text)
{
    console.out << text << std::flush;
    return kExitSuccess;
}

int run_help(const std::vector<CommandWord>& words, const ConsoleStreams& console)
{
    const CommandArguments parsed = read_arguments(words);
    if (parsed.files.empty()) return show_text(console, overview_text(console.language));
    if (parsed.files.size() > 1) return usage_error(console, kHelpArguments);
    const Command* command = find_command(parsed.files.front());
    if (command == nullptr) return unknown_command(console, parsed.files.front());
    return show_text(console, command_help_text(*command, console.language));
}

}  // namespace morlevix
