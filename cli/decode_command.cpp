// decode: each recording of a cassette becomes its tape image; with
// --merge, several takes of one tape become one image. On a terminal, what
// is heard shows as it is heard (live_view); with --json, a report of it all
// goes to standard output as one JSON document.
#include <fstream>
#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/file_access.h"
#include "cli/live_view.h"
#include "common/file_names.h"
#include "console/console_modes.h"
#include "console/console_texts.h"
#include "tape/account/take_merger.h"
#include "tape/reading/recording_converter.h"
#include "tape/report/report_json.h"
#include "tape/report/tape_report.h"

namespace morlevix {
namespace {

constexpr Text kNoRecordingGiven{"aucun enregistrement donne", "no recording given"};
constexpr Text kSingleRecording{"-o ne va qu'avec un seul enregistrement", "-o goes with a single recording only"};
constexpr Text kJsonAndStandardOutput{"--json et -o - ecrivent tous deux sur la sortie standard",
                                      "--json and -o - both write to standard output"};
constexpr char kTakeErrorKind[] = "take_error";

// How decode talks while it works: where its lines go, whether it shows
// what it hears as it hears it, whether standard output carries a report.
struct DecodeConsole {
    const ConsoleStreams& console;
    bool live = false;
    bool json = false;
    // The lines decode prints on standard output: on standard error when
    // the image or the report goes there.
    std::ostream& messages(const std::string& image_name) const
    {
        return image_name == kStandardStream || json ? console.err : console.out;
    }
};

// A live view of one recording, where the console shows one.
std::unique_ptr<LiveView> live_view(const DecodeConsole& decode, const std::string& recording)
{
    return decode.live ? std::make_unique<LiveView>(decode.console, recording) : nullptr;
}

TapeReport decode_recording_file(const std::string& recording, const std::string& image_name, const DecodeConsole& decode)
{
    const ConsoleStreams& console = decode.console;
    std::ostream& messages = decode.messages(image_name);
    TapeReport unread;
    unread.kind = TapeReport::Kind::recording;
    unread.name = recording;
    unread.read = false;
    InputFile input;
    if (!input.open_recording(recording, console)) {
        unread.error = ReportLine{kRecordingErrorKind, input.error(), std::nullopt, std::nullopt, std::nullopt, std::nullopt};
        return unread;
    }
    if (recording != kStandardStream && image_name != kStandardStream && same_file(recording, image_name)) {
        const Said problem = kCannotCreateText + image_name;  // it would replace the recording itself
        report_error(console, problem);
        unread.error = ReportLine{kImageErrorKind, problem, std::nullopt, std::nullopt, std::nullopt, std::nullopt};
        return unread;
    }
    messages << recording << kArrow << image_name << '\n' << std::flush;
    const auto view = live_view(decode, recording);
    const DecodedRecording decoded = decode_recording(input.stream(), view.get());
    if (view) view->finish();
    TapeReport report = decode_report(recording, image_name, decoded);
    if (!report.read) {
        report_error(console, recording + kFieldSeparator + report.error->text);
        return report;
    }
    // Each file's name, and whether it is whole; then what is wrong, and where.
    for (const auto& file : report.files)
        if (!report.blocks[file.info.header_block].block.broken_off)
            messages << file.info.name << (file.whole ? "" : console(kFieldSeparator + kIncompleteFileText)) << '\n';
    messages.flush();
    for (const auto& problem : report.problems) report_error(console, recording + kFieldSeparator + problem.text);
    for (const auto& note : report.notes) report_error(console, recording + kFieldSeparator + note.text);
    if (report.error) report_error(console, recording + kFieldSeparator + report.error->text);
    if (!write_output(image_name, tape_image_of(decoded.blocks), console)) {
        const Said problem = (image_name == kStandardStream ? kWriteErrorText : kCannotCreateText) + image_name;
        report_error(console, problem);
        report.error = ReportLine{kImageErrorKind, problem, std::nullopt, std::nullopt, std::nullopt, std::nullopt};
    }
    return report;
}

// Several takes of one tape (recordings, or "-" for standard input) into
// one image: `output`, by default beside the first take. The console says
// which take gave which block.
TapeReport merge_recordings(const std::vector<std::string>& takes, const std::optional<std::string>& output,
                            const DecodeConsole& decode)
{
    const ConsoleStreams& console = decode.console;
    const std::string image_name = output ? *output : name_with_extension(takes.front(), kTapeExtension);
    std::ostream& messages = decode.messages(image_name);
    std::vector<ReportLine> take_problems;
    const auto take_problem = [&](const Said& text) {
        report_error(console, text);
        take_problems.push_back({kTakeErrorKind, text, std::nullopt, std::nullopt, std::nullopt, std::nullopt});
    };
    for (const auto& take : takes)
        if (image_name != kStandardStream && take != kStandardStream && same_file(take, image_name)) {
            take_problem(kCannotCreateText + image_name);  // it would replace a take
            TapeReport refused = merge_tape_report(takes, image_name, MergedTape{}, take_problems);
            refused.read = false;
            refused.error = take_problems.back();
            return refused;
        }
    messages << takes_heading(takes) << kArrow << image_name << '\n' << std::flush;

    TakeSet set;
    for (const auto& take : takes) {
        InputFile input;
        if (!input.open(take, console)) {
            set.add_unread();
            take_problems.push_back({kTakeErrorKind, input.error(), std::nullopt, std::nullopt, std::nullopt, std::nullopt});
            continue;
        }
        const auto view = live_view(decode, take);
        const Said problem = set.add(input.stream(), view.get());
        if (view) view->finish();
        if (!problem.empty()) take_problem(take + kFieldSeparator + problem);
    }
    const MergedTape tape = set.merge();
    TapeReport report = merge_tape_report(takes, image_name, tape, take_problems);
    if (!report.image) {
        report_error(console, report.error->text);
        return report;
    }
    for (const auto& line : report.takes_of_files) messages << console(line) << '\n';
    messages.flush();
    for (std::size_t p = take_problems.size(); p < report.problems.size(); ++p) report_error(console, report.problems[p].text);
    for (const auto& note : report.notes) report_error(console, note.text);
    if (!write_output(image_name, tape_image_of(tape.heard_blocks()), console)) {
        const Said problem = (image_name == kStandardStream ? kWriteErrorText : kCannotCreateText) + image_name;
        report_error(console, problem);
        report.error = ReportLine{kImageErrorKind, problem, std::nullopt, std::nullopt, std::nullopt, std::nullopt};
    }
    return report;
}

}  // namespace

int run_decode(const std::vector<CommandWord>& words, const ConsoleStreams& console)
{
    const CommandArguments parsed = read_arguments(words);
    const NamedFiles named = files_to_work_on(parsed, kNoRecordingGiven, kSingleRecording, parsed.merge, console);
    int status = named.status;
    if (status == kExitUsage || named.files.empty()) return status;
    if (parsed.json && parsed.output == std::string(kStandardStream)) return usage_error(console, kJsonAndStandardOutput);
    const DecodeConsole decode{console, !parsed.quiet && (parsed.progress || console.err_is_terminal), parsed.json};
    std::vector<TapeReport> reports;
    if (parsed.merge && named.files.size() > 1) {
        reports.push_back(merge_recordings(named.files, parsed.output, decode));
    } else {
        for (const auto& recording : named.files) {
            // Each recording (or standard input) into the image beside it, or -o's.
            const std::string image = parsed.output                  ? *parsed.output
                                      : recording == kStandardStream ? kStandardStream
                                                                      : name_with_extension(recording, kTapeExtension);
            reports.push_back(decode_recording_file(recording, image, decode));
        }
    }
    for (const auto& report : reports)
        if (!report.whole()) status = kExitFailure;
    if (parsed.json) console.out << report_json(reports, {console.language, false}) << std::flush;
    return status;
}

}  // namespace morlevix
