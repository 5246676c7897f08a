// basic: the BASIC program of a tape's file, as the machine's LIST shows it.
#include <algorithm>
#include <iostream>

#include "basic/basic_program.h"
#include "cli/commands.h"
#include "cli/file_access.h"
#include "console/console_texts.h"
#include "tape/catalog/tape_catalog.h"

namespace morlevix {
namespace {

constexpr Text kBasicArguments{"basic demande une CASSETTE et au plus un FICHIER", "basic takes a TAPE and at most one FILE"};
constexpr Text kNotBasic{"n'est pas un programme BASIC", "is not a BASIC program"};
constexpr Text kUnknownTokens{"octets qui ne sont pas des mots du BASIC de la machine, montres comme ! :",
                              "bytes that are no words of the machine's BASIC, shown as !:"};
constexpr char kAsciiLineEnd = '\r';
constexpr std::uint8_t kAsciiSaved = 0xFF;

// The program of `file_name` (by default the tape's first file) on `tape`
// to `output`, or standard output.
int show_basic(const std::string& tape, const std::optional<std::string>& file_name,
               const std::optional<std::string>& output, const ConsoleStreams& console)
{
    FoundFile found;
    if (!find_file_on_tape(tape, file_name, console, found)) return kExitFailure;
    const TapeFileContents& file = *found.file;
    const Said where = tape + kFieldSeparator + trimmed(file.info.name) + kFieldSeparator;
    if (file.info.file_type != kBasicFile) {
        report_error(console, where + kNotBasic + in_brackets(file_type_text(file.info.file_type)));
        return kExitFailure;
    }
    int status = file.whole ? kExitSuccess : kExitFailure;
    std::string text;
    if (file.info.ascii_flag == kAsciiSaved) {
        // Saved as text: the lines as they are, each ending in a carriage return.
        text.assign(file.bytes.begin(), file.bytes.end());
        std::replace(text.begin(), text.end(), kAsciiLineEnd, '\n');
        if (!text.empty() && text.back() != '\n') text += '\n';
    } else {
        const BasicListing listing = list_basic_program(file.bytes);
        text = listing.text;
        for (const auto& problem : listing.problems) {
            report_error(console, where + problem);
            status = kExitFailure;
        }
        if (!listing.unknown_tokens.empty()) {
            std::string bytes;
            for (auto b : listing.unknown_tokens) bytes += " " + hex_byte(b);
            report_error(console, where + kUnknownTokens + bytes);
        }
    }
    if (!file.whole) report_error(console, where + kDamagedFileText + kWrittenAsItIs);
    const std::string target = output ? *output : kStandardStream;
    if (!write_output(target, std::vector<std::uint8_t>(text.begin(), text.end()), console)) {
        report_error(console, kCannotCreateText + target);
        return kExitFailure;
    }
    return status;
}

}  // namespace

int run_basic(const std::vector<CommandWord>& words, const ConsoleStreams& console)
{
    const CommandArguments parsed = read_arguments(words);
    const auto count = parsed.files.size();
    if (count < 1 || count > 2) return usage_error(console, kBasicArguments);
    const auto file = count == 2 ? std::optional<std::string>(parsed.files[1]) : std::nullopt;
    return show_basic(parsed.files[0], file, parsed.output, console);
}

}  // namespace morlevix
