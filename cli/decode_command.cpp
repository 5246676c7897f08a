// decode: each recording of a cassette becomes its tape image; with
// --merge, several takes of one tape become one image.
#include <fstream>
#include <iostream>

#include "cli/commands.h"
#include "cli/file_access.h"
#include "console/console_modes.h"
#include "console/console_texts.h"
#include "common/file_names.h"
#include "tape/reading/recording_converter.h"
#include "tape/account/take_merger.h"

namespace morlevix {
namespace {

constexpr Text kNoRecordingGiven{"aucun enregistrement donne", "no recording given"};
constexpr Text kSingleRecording{"-o ne va qu'avec un seul enregistrement", "-o goes with a single recording only"};

bool decode_recording_file(const std::string& recording, const std::string& image_name, const ConsoleStreams& console)
{
    const bool to_standard_output = image_name == kStandardStream;
    std::ostream& messages = to_standard_output ? console.err : console.out;
    InputFile input;
    if (!input.open_recording(recording, console)) return false;
    if (recording != kStandardStream && !to_standard_output && same_file(recording, image_name)) {
        report_error(console, kCannotCreateText + image_name);  // it would replace the recording itself
        return false;
    }
    messages << recording << kArrow << image_name << '\n' << std::flush;
    const DecodedRecording decoded = decode_recording(input.stream());
    if (!decoded.error.empty() && decoded.blocks.empty()) {
        report_error(console, recording + kFieldSeparator + decoded.error);
        return false;
    }
    if (decoded.blocks.empty()) {
        report_error(console, recording + kFieldSeparator + kNoBlockText);
        return false;
    }
    // Each file's name, and whether it is whole; then what is wrong, and where.
    std::size_t files = 0;
    for (const auto& heard : decoded.blocks) {
        if (!opens_file(heard)) continue;
        const bool whole = decoded.account.whole_files[files++];
        if (heard.complete)
            messages << shown_file_name(heard.block) << (whole ? "" : console(kFieldSeparator + kIncompleteFileText))
                     << '\n';
    }
    messages.flush();
    for (const auto& problem : decoded.account.problems) report_error(console, recording + kFieldSeparator + problem.text);
    for (const auto& note : decoded.account.notes) report_error(console, recording + kFieldSeparator + note.text);
    if (!decoded.error.empty()) report_error(console, recording + kFieldSeparator + decoded.error);
    if (!write_output(image_name, tape_image_of(decoded.blocks), console)) {
        report_error(console, (to_standard_output ? kWriteErrorText : kCannotCreateText) + image_name);
        return false;
    }
    return decoded.sound();
}

// Several takes of one tape (recordings, or "-" for standard input) into
// one image: `output`, by default beside the first take. The console says
// which take gave which block.
int merge_recordings(const std::vector<std::string>& takes, const std::optional<std::string>& output,
                     const ConsoleStreams& console)
{
    const std::string image_name = output ? *output : name_with_extension(takes.front(), kTapeExtension);
    const bool to_standard_output = image_name == kStandardStream;
    std::ostream& messages = to_standard_output ? console.err : console.out;
    for (const auto& take : takes)
        if (!to_standard_output && take != kStandardStream && same_file(take, image_name)) {
            report_error(console, kCannotCreateText + image_name);  // it would replace a take
            return kExitFailure;
        }
    messages << takes_heading(takes) << kArrow << image_name << '\n' << std::flush;

    int status = kExitSuccess;
    TakeSet set;
    for (const auto& take : takes) {
        InputFile input;
        if (!input.open(take, console)) {
            set.add_unread();
            status = kExitFailure;
            continue;
        }
        const Said problem = set.add(input.stream());
        if (problem.empty()) continue;
        report_error(console, take + kFieldSeparator + problem);
        status = kExitFailure;
    }
    const MergedTape tape = set.merge();
    if (tape.heard_blocks().empty()) {
        report_error(console, image_name + kFieldSeparator + kNoBlockText);
        return kExitFailure;
    }

    const MergeReport report = merge_report(tape, takes, image_name);
    for (const auto& line : report.files) messages << console(line) << '\n';
    messages.flush();
    for (const auto& problem : report.problems) report_error(console, problem);
    for (const auto& note : report.notes) report_error(console, note);
    if (!report.problems.empty()) status = kExitFailure;
    if (!write_output(image_name, tape_image_of(tape.heard_blocks()), console)) {
        report_error(console, (to_standard_output ? kWriteErrorText : kCannotCreateText) + image_name);
        return kExitFailure;
    }
    return status;
}

}  // namespace

int run_decode(const std::vector<CommandWord>& words, const ConsoleStreams& console)
{
    const CommandArguments parsed = read_arguments(words);
    const NamedFiles named = files_to_work_on(parsed, kNoRecordingGiven, kSingleRecording, parsed.merge, console);
    int status = named.status;
    if (status == kExitUsage || named.files.empty()) return status;
    if (parsed.merge && named.files.size() > 1) {
        const int merged = merge_recordings(named.files, parsed.output, console);
        return merged != kExitSuccess ? merged : status;
    }
    for (const auto& recording : named.files) {
        // Each recording (or standard input) into the image beside it, or -o's.
        const std::string image = parsed.output                  ? *parsed.output
                                  : recording == kStandardStream ? kStandardStream
                                                                  : name_with_extension(recording, kTapeExtension);
        if (!decode_recording_file(recording, image, console)) status = kExitFailure;
    }
    return status;
}

}  // namespace morlevix
