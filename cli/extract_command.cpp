// extract: the bytes of a file on a tape (its data blocks' payloads,
// joined), to NAME.bin or where -o says.
#include <cctype>
#include <iostream>

#include "cli/commands.h"
#include "cli/file_access.h"
#include "console/console_texts.h"

namespace morlevix {
namespace {

constexpr Text kExtractArguments{"extract demande une CASSETTE et un FICHIER", "extract takes a TAPE and a FILE"};
constexpr char kExtractExtension[] = ".bin";
constexpr char kStandIn = '_';
constexpr char kNoSafeName[] = "fichier";

// A name that is safe as a file name, whatever the tape's name holds.
std::string safe_file_name(const std::string& name)
{
    std::string safe;
    for (char c : trimmed(name))
        safe += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ? c : kStandIn;
    return safe.empty() ? kNoSafeName : safe;
}

int extract_file(const std::string& tape, const std::string& file_name, const std::optional<std::string>& output,
                 const ConsoleStreams& console)
{
    FoundFile found;
    if (!find_file_on_tape(tape, file_name, console, found)) return kExitFailure;
    const TapeFileContents& file = *found.file;
    const std::string target = output ? *output : safe_file_name(file.info.name) + kExtractExtension;
    std::ostream& messages = target == kStandardStream ? console.err : console.out;
    messages << tape << console(kFieldSeparator) << trimmed(file.info.name) << kArrow << target << '\n' << std::flush;
    if (!file.whole)
        report_error(console, tape + kFieldSeparator + trimmed(file.info.name) + kFieldSeparator + kDamagedFileText +
                                  kWrittenAsItIs);
    if (!write_output(target, file.bytes, console)) {
        report_error(console, kCannotCreateText + target);
        return kExitFailure;
    }
    return file.whole ? kExitSuccess : kExitFailure;
}

}  // namespace

int run_extract(const std::vector<CommandWord>& words, const ConsoleStreams& console)
{
    const CommandArguments parsed = read_arguments(words);
    if (parsed.files.size() != 2) return usage_error(console, kExtractArguments);
    return extract_file(parsed.files[0], parsed.files[1], parsed.output, console);
}

}  // namespace morlevix
