// list: what each tape holds, an image or a recording decoded in memory:
// its files, with --blocks every block, and what is wrong on standard error;
// with --json, all of it as one JSON document on standard output.
#include <algorithm>
#include <iostream>
#include <utility>

#include "cli/commands.h"
#include "cli/file_access.h"
#include "tape/account/tape_account.h"
#include "tape/reading/tape_contents.h"
#include "tape/report/report_json.h"
#include "tape/report/tape_report.h"

namespace morlevix {
namespace {

constexpr Text kNoFile{"  aucun fichier", "  no file"};

// The lines list prints of one tape: its files, with --blocks its blocks
// among the stretches lost or heard unread, then what is wrong.
void print_listing(const TapeReport& report, bool blocks, const ConsoleStreams& console, bool& listed_before)
{
    const bool times = report.kind == TapeReport::Kind::recording;
    std::ostream& out = console.out;
    if (listed_before) out << '\n';  // a blank line between images
    listed_before = true;
    out << report.name << '\n';
    if (report.files.empty()) {
        out << console(kNoFile) << '\n';
    } else {
        out << console(report.files_heading) << '\n';
        for (const auto& file : report.files) {
            out << console(file.line);
            if (!file.whole) out << "  " << console(kIncompleteFileText);  // a file that is not whole says so
            out << '\n';
        }
    }
    if (blocks) {
        out << console(catalog_blocks_heading(times)) << '\n';
        // A recording's stretches where blocks were lost, or where tape
        // signal was heard but no block read, among the blocks by time.
        std::vector<std::pair<double, Said>> stretches;
        for (const auto& lost : report.lost) stretches.emplace_back(lost.start, lost_stretch_line(lost));
        for (const auto& unread : report.unread) {
            const bool inside_lost = std::any_of(report.lost.begin(), report.lost.end(),
                                                 [&](const LostStretch& l) { return unread.start >= l.start && unread.end <= l.end; });
            if (!inside_lost) stretches.emplace_back(unread.start, unread_stretch_line(unread));
        }
        std::stable_sort(stretches.begin(), stretches.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        std::size_t next = 0;
        for (const auto& entry : report.blocks) {
            const CatalogBlock& block = entry.block;
            for (; next < stretches.size() && block.seconds && stretches[next].first < *block.seconds; ++next)
                out << console(stretches[next].second) << '\n';
            out << console(catalog_block_line(block, times)) << '\n';
        }
        for (; next < stretches.size(); ++next) out << console(stretches[next].second) << '\n';
    }
}

// Lists one tape on the console, or only reads it for the JSON report.
TapeReport list_image(const std::string& image, bool blocks, bool json, const ConsoleStreams& console, bool& listed_before)
{
    InputFile input;
    if (!input.open(image, console)) {
        TapeReport unread;
        unread.name = image;
        unread.read = false;
        unread.error = ReportLine{kImageErrorKind, input.error(), std::nullopt, std::nullopt, std::nullopt, std::nullopt};
        return unread;
    }
    const TapeReport report = list_report(image, read_tape_contents(input.stream()));
    if (report.read && !json) print_listing(report, blocks, console, listed_before);
    console.out.flush();
    for (const auto& problem : report.problems) report_error(console, image + kFieldSeparator + problem.text);
    for (const auto& note : report.notes) report_error(console, image + kFieldSeparator + note.text);
    if (report.error) report_error(console, image + kFieldSeparator + report.error->text);
    return report;
}

}  // namespace

int run_list(const std::vector<CommandWord>& words, const ConsoleStreams& console)
{
    const CommandArguments parsed = read_arguments(words);
    const NamedFiles named = files_to_work_on(parsed, kNoImageGiven, kSingleImage, false, console);
    int status = named.status;
    if (status == kExitUsage) return status;
    bool listed_before = false;
    std::vector<TapeReport> reports;
    for (const auto& image : named.files) {
        reports.push_back(list_image(image, parsed.blocks, parsed.json, console, listed_before));
        if (!reports.back().whole()) status = kExitFailure;
    }
    if (parsed.json) console.out << report_json(reports, {console.language, false}) << std::flush;
    return status;
}

}  // namespace morlevix
