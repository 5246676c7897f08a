#include "tape_report.h"

#include <algorithm>

namespace morlevix {
namespace {

// How a block was read, by what its catalog entry and its hearing say.
const char* reading_of(const CatalogBlock& block, const HeardBlock* heard)
{
    if (block.broken_off) return "broken_off";
    if (!block.checksum_right) return "wrong_checksum";
    if (block.doubt) return "doubtful_reading";
    return heard && heard->without_sync ? "read_without_sync" : "sound";
}

// The files and blocks of a tape's catalog, with each block's file, and
// each file whole or not as `whole` says (one per file, in order).
void describe(TapeReport& report, const TapeCatalog& catalog, const std::vector<HeardBlock>& heard,
              const std::vector<bool>& whole, bool with_times)
{
    report.files_heading = catalog_files_heading(with_times);
    for (std::size_t f = 0; f < catalog.files.size(); ++f) {
        const CatalogFile& info = catalog.files[f];
        report.files.push_back({info, catalog.blocks[info.header_block].seconds, f >= whole.size() || whole[f],
                                catalog_file_line(catalog, info, with_times)});
    }
    // The catalog holds the blocks kept in the image: the heard blocks
    // with their length byte (a recording's), or every whole one (an
    // image's), in order.
    std::size_t file = 0, h = 0;
    std::optional<std::size_t> current;
    for (std::size_t b = 0; b < catalog.blocks.size(); ++b) {
        const CatalogBlock& block = catalog.blocks[b];
        while (h < heard.size() && with_times && heard[h].block.length <= kBlockLengthOffset) ++h;
        const HeardBlock* hearing = h < heard.size() ? &heard[h++] : nullptr;
        if (file < catalog.files.size() && catalog.files[file].header_block == b) current = file++;
        report.blocks.push_back({block, hearing && with_times ? heard_duration(*hearing) : 0.0, current, std::nullopt,
                                 reading_of(block, hearing)});
    }
}

ReportLine line_of(const AccountProblem& problem, bool with_times)
{
    ReportLine line{problem_kind_name(problem), problem.text, std::nullopt, std::nullopt, problem.file, std::nullopt};
    if (with_times) line.seconds = problem.seconds;
    return line;
}

}  // namespace

TapeReport list_report(const std::string& name, const TapeContents& contents)
{
    TapeReport report;
    report.kind = contents.recording ? TapeReport::Kind::recording : TapeReport::Kind::image;
    report.name = name;
    const bool times = contents.recording;
    if (times) report.seconds = contents.seconds;
    const char* error_kind = contents.recording ? kRecordingErrorKind : kImageErrorKind;
    // A recording that cannot be read at all; one that stops short is
    // listed as far as it goes, and said so after.
    if (!contents.error.empty() && contents.blocks.empty()) {
        report.error = ReportLine{error_kind, contents.error, std::nullopt, std::nullopt, std::nullopt, std::nullopt};
        report.read = false;
        return report;
    }
    describe(report, contents.catalog, contents.blocks, contents.account.whole_files, times);
    report.lost = contents.account.lost;
    report.unread = contents.account.unread;
    for (const auto& problem : catalog_problem_list(contents.catalog))
        report.problems.push_back({problem.kind, problem.text, problem.seconds, problem.position, std::nullopt, std::nullopt});
    // What the blocks alone do not say (the catalog said each bad block, and
    // the blocks before the first header).
    for (const auto& problem : contents.account.problems)
        if (problem.kind != AccountProblem::bad_block && problem.kind != AccountProblem::before_any_header)
            report.problems.push_back(line_of(problem, times));
    for (const auto& note : contents.account.notes) report.notes.push_back(line_of(note, times));
    if (!contents.error.empty())
        report.error = ReportLine{error_kind, contents.error, std::nullopt, std::nullopt, std::nullopt, std::nullopt};
    else if (times && contents.catalog.blocks.empty() && !contents.catalog.cut)
        report.error = ReportLine{kNoBlockKind, kNoBlockText, std::nullopt, std::nullopt, std::nullopt, std::nullopt};
    return report;
}

TapeReport decode_report(const std::string& name, const std::string& image, const DecodedRecording& decoded)
{
    TapeReport report;
    report.kind = TapeReport::Kind::recording;
    report.name = name;
    report.seconds = decoded.seconds;
    report.channel = decoded.channel;
    if (!decoded.error.empty() && decoded.blocks.empty()) {
        report.error = ReportLine{kRecordingErrorKind, decoded.error, std::nullopt, std::nullopt, std::nullopt, std::nullopt};
        report.read = false;
        return report;
    }
    if (decoded.blocks.empty()) {
        report.error = ReportLine{kNoBlockKind, kNoBlockText, std::nullopt, std::nullopt, std::nullopt, std::nullopt};
        report.read = false;
        return report;
    }
    report.image = image;
    describe(report, catalog_of(decoded.blocks), decoded.blocks, decoded.account.whole_files, true);
    report.lost = decoded.account.lost;
    report.unread = decoded.account.unread;
    for (const auto& problem : decoded.account.problems) report.problems.push_back(line_of(problem, true));
    for (const auto& note : decoded.account.notes) report.notes.push_back(line_of(note, true));
    if (!decoded.error.empty())
        report.error = ReportLine{kRecordingErrorKind, decoded.error, std::nullopt, std::nullopt, std::nullopt, std::nullopt};
    return report;
}

TapeReport merge_tape_report(const std::vector<std::string>& takes, const std::string& image, const MergedTape& tape,
                             const std::vector<ReportLine>& take_problems)
{
    TapeReport report;
    report.kind = TapeReport::Kind::merge;
    report.name = takes_heading(takes);
    report.takes = takes;
    report.problems = take_problems;
    const std::vector<HeardBlock> heard = tape.heard_blocks();
    if (heard.empty()) {
        report.error = ReportLine{kNoBlockKind, image + kFieldSeparator + kNoBlockText, std::nullopt, std::nullopt, std::nullopt,
                                  std::nullopt};
        return report;
    }
    report.image = image;
    const MergeReport said = merge_report(tape, takes, image);
    report.takes_of_files = said.files;
    // The merged tape's files, those whose header some take heard: in the
    // catalog of the blocks heard, in the same order.
    std::vector<std::optional<std::size_t>> catalog_file(tape.file_names.size());
    std::size_t next = 0;
    for (const auto& block : tape.blocks)
        if (block.place == 0 && block.file != kBeforeAnyFile && !block.missing && opens_file(block.heard))
            catalog_file[block.file] = next++;
    const auto in_catalog = [&](const std::optional<std::size_t>& file) {
        return file && *file < catalog_file.size() ? catalog_file[*file] : std::nullopt;
    };
    std::vector<bool> whole(next, true);
    for (const auto& line : said.problems)
        if (const auto f = in_catalog(line.file)) whole[*f] = false;
    describe(report, catalog_of(heard), heard, whole, true);
    std::size_t b = 0;
    for (const auto& block : tape.blocks) {
        if (block.missing || block.heard.block.length <= kBlockLengthOffset) continue;
        if (b < report.blocks.size()) report.blocks[b++].take = block.take;
    }
    for (const auto& line : said.problems)
        report.problems.push_back({line.kind, line.text, line.seconds, std::nullopt, in_catalog(line.file), line.take});
    for (const auto& line : said.notes)
        report.notes.push_back({line.kind, line.text, line.seconds, std::nullopt, in_catalog(line.file), line.take});
    return report;
}

}  // namespace morlevix
