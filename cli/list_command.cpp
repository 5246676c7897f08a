// list: what each tape holds, an image or a recording decoded in memory:
// its files, with --blocks every block, and what is wrong on standard error.
#include <algorithm>
#include <iostream>
#include <utility>

#include "cli/commands.h"
#include "cli/file_access.h"
#include "tape/reading/recording_converter.h"
#include "tape/catalog/tape_catalog.h"
#include "tape/reading/tape_contents.h"

namespace morlevix {
namespace {

constexpr Text kNoFile{"  aucun fichier", "  no file"};

bool list_image(const std::string& image, bool blocks, const ConsoleStreams& console, bool& listed_before)
{
    InputFile input;
    if (!input.open(image, console)) return false;
    const TapeContents contents = read_tape_contents(input.stream());
    // A recording that cannot be read at all; one that stops short is
    // listed as far as it goes, and said so after.
    if (!contents.error.empty() && contents.blocks.empty()) {
        report_error(console, image + kFieldSeparator + contents.error);
        return false;
    }
    const TapeCatalog& catalog = contents.catalog;
    const bool times = contents.recording;
    std::ostream& out = console.out;
    if (listed_before) out << '\n';  // a blank line between images
    listed_before = true;
    out << image << '\n';
    if (catalog.files.empty()) {
        out << console(kNoFile) << '\n';
    } else {
        out << console(catalog_files_heading(times)) << '\n';
        const auto& whole = contents.account.whole_files;
        for (std::size_t f = 0; f < catalog.files.size(); ++f) {
            out << console(catalog_file_line(catalog, catalog.files[f], times));
            // A file that is not whole says so on its line.
            if (f < whole.size() && !whole[f]) out << "  " << console(kIncompleteFileText);
            out << '\n';
        }
    }
    if (blocks) {
        out << console(catalog_blocks_heading(times)) << '\n';
        // A recording's stretches where blocks were lost, or where tape
        // signal was heard but no block read, among the blocks by time.
        std::vector<std::pair<double, Said>> stretches;
        for (const auto& lost : contents.account.lost) stretches.emplace_back(lost.start, lost_stretch_line(lost));
        for (const auto& unread : contents.account.unread) {
            const bool inside_lost = std::any_of(contents.account.lost.begin(), contents.account.lost.end(),
                                                 [&](const LostStretch& l) { return unread.start >= l.start && unread.end <= l.end; });
            if (!inside_lost) stretches.emplace_back(unread.start, unread_stretch_line(unread));
        }
        std::stable_sort(stretches.begin(), stretches.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        std::size_t next = 0;
        for (const auto& block : catalog.blocks) {
            for (; next < stretches.size() && block.seconds && stretches[next].first < *block.seconds; ++next)
                out << console(stretches[next].second) << '\n';
            out << console(catalog_block_line(block, times)) << '\n';
        }
        for (; next < stretches.size(); ++next) out << console(stretches[next].second) << '\n';
    }
    for (const auto& problem : catalog_problems(catalog)) report_error(console, image + kFieldSeparator + problem);
    // The files accounted for: what the blocks alone do not say.
    for (const auto& problem : contents.account.problems)
        if (problem.kind != AccountProblem::bad_block && problem.kind != AccountProblem::before_any_header)
            report_error(console, image + kFieldSeparator + problem.text);
    for (const auto& note : contents.account.notes) report_error(console, image + kFieldSeparator + note.text);
    out.flush();
    if (!contents.error.empty()) {
        report_error(console, image + kFieldSeparator + contents.error);
        return false;
    }
    if (times && catalog.blocks.empty() && !catalog.cut) {
        report_error(console, image + kFieldSeparator + kNoBlockText);  // as decode says it
        return false;
    }
    return catalog.sound() && contents.account.whole();
}

}  // namespace

int run_list(const std::vector<CommandWord>& words, const ConsoleStreams& console)
{
    const CommandArguments parsed = read_arguments(words);
    const NamedFiles named = files_to_work_on(parsed, kNoImageGiven, kSingleImage, false, console);
    int status = named.status;
    if (status == kExitUsage) return status;
    bool listed_before = false;
    for (const auto& image : named.files)
        if (!list_image(image, parsed.blocks, console, listed_before)) status = kExitFailure;
    return status;
}

}  // namespace morlevix
