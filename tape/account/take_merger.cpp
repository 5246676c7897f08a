#include "take_merger.h"

#include <algorithm>
#include <string>

#include "tape_account.h"
#include "tape/catalog/tape_catalog.h"

namespace morlevix {
namespace {

// The words of a merge's report.
constexpr char kTakesJoiner[] = " + ";
constexpr Text kNoHeader{"(sans en-tete)", "(no header)"};
constexpr char kUnnamed[] = "?";
constexpr Text kFromTake{" de ", " from "};
constexpr char kRangeDash[] = "-";
constexpr char kListSeparator[] = ", ";
constexpr Text kWrongMark{" (faux)", " (wrong)"};
constexpr Text kMissingMark{" manquant", " missing"};
constexpr Text kSoundInNoTake{" : juste dans aucune prise ; garde celui de ", ": right in no take; kept the one from "};
constexpr Text kHeardInNoTake{" : entendu dans aucune prise", ": heard in no take"};
constexpr Text kSoundInTwoWays{" : juste dans ", ": right in "};
constexpr Text kAndIn{" et dans ", " and in "};
constexpr Text kNotTheSame{", mais pas pareil ; garde celui de ", ", but not the same; kept the one from "};
constexpr Text kNoEndInAnyTake{"pas de bloc de fin dans aucune prise", "no end block in any take"};
constexpr Text kBeforeAnyHeader{"blocs avant le premier en-tete de fichier, dans toutes les prises",
                                "blocks before the first file header, in every take"};

// Better of two copies of a block, when neither is sound: one heard to its
// end over one broken off, then the longer.
bool heard_better(const HeardBlock& a, const HeardBlock& b)
{
    if (a.complete != b.complete) return a.complete;
    return a.block.length > b.block.length;
}

}  // namespace

bool MergedTape::sound() const
{
    return !blocks.empty() &&
           std::all_of(blocks.begin(), blocks.end(), [](const MergedBlock& b) {
               return !b.missing && b.heard.sound() && !b.disputed_by && b.file != kBeforeAnyFile;
           }) &&
           std::all_of(file_ended.begin(), file_ended.end(), [](bool ended) { return ended; });
}

std::vector<HeardBlock> MergedTape::heard_blocks() const
{
    std::vector<HeardBlock> heard;
    for (const auto& block : blocks)
        if (!block.missing) heard.push_back(block.heard);
    return heard;
}

MergedTape merge_takes(const std::vector<HeardTake>& takes)
{
    const std::vector<TakeColumn> columns = line_up_takes(takes);
    MergedTape tape;
    std::size_t place = 0;
    for (const auto& column : columns) {
        MergedBlock chosen;
        chosen.missing = true;
        for (const auto& item : column.items) {
            if (!item.heard) continue;
            const bool better = chosen.missing ||
                                (!chosen.heard.sound() && (item.heard->sound() || heard_better(*item.heard, chosen.heard)));
            if (!better) continue;
            chosen.heard = *item.heard;
            chosen.take = item.take;
            chosen.missing = false;
        }
        chosen.disputed_by = column.disputed_by;
        const bool header = chosen.missing ? column.lost_header() : opens_file(chosen.heard);
        if (header) {
            tape.file_names.push_back(chosen.missing ? std::string() : shown_file_name(chosen.heard.block));
            tape.file_ended.push_back(false);
            place = 0;
        } else {
            ++place;
        }
        chosen.file = tape.file_names.empty() ? kBeforeAnyFile : tape.file_names.size() - 1;
        chosen.place = place;
        if (!tape.file_ended.empty())
            tape.file_ended.back() = !chosen.missing && chosen.heard.block.length > kBlockTypeOffset &&
                                     chosen.heard.block.type() == kEndBlockType;
        tape.blocks.push_back(chosen);
    }
    return tape;
}

MergedTape merge_takes(const std::vector<std::vector<HeardBlock>>& takes)
{
    std::vector<HeardTake> heard;
    for (const auto& blocks : takes) {
        const double end = blocks.empty() ? 0 : blocks.back().seconds + heard_duration(blocks.back());
        heard.push_back({blocks, account_for_recording(blocks, {}, end)});
    }
    return merge_takes(heard);
}

namespace {

// "blocs 0-3 de A.wav, 4 de B.wav (faux), 5-9 de A.wav": which take gave
// which block of one file, in runs.
Said takes_of_file(const std::vector<const MergedBlock*>& blocks, const std::vector<std::string>& takes)
{
    Said text = kBlocksWord + std::string(" ");
    const auto same_run = [](const MergedBlock* a, const MergedBlock* b) {
        return a->missing == b->missing && a->take == b->take && a->heard.sound() == b->heard.sound();
    };
    for (std::size_t i = 0; i < blocks.size();) {
        std::size_t j = i + 1;
        while (j < blocks.size() && same_run(blocks[i], blocks[j])) ++j;
        if (i > 0) text += kListSeparator;
        text += std::to_string(blocks[i]->place);
        if (j - i > 1) text += kRangeDash + std::to_string(blocks[j - 1]->place);
        if (blocks[i]->missing) text += kMissingMark;
        else text += kFromTake + takes[blocks[i]->take] + (blocks[i]->heard.sound() ? Said() : Said(kWrongMark));
        i = j;
    }
    return text;
}

}  // namespace

MergeReport merge_report(const MergedTape& tape, const std::vector<std::string>& takes, const std::string& image_name)
{
    MergeReport report;
    for (std::size_t b = 0; b < tape.blocks.size();) {
        std::vector<const MergedBlock*> file;
        const std::size_t which = tape.blocks[b].file;
        for (; b < tape.blocks.size() && tape.blocks[b].file == which && (file.empty() || tape.blocks[b].place != 0); ++b)
            file.push_back(&tape.blocks[b]);
        const Said name = which == kBeforeAnyFile          ? Said(kNoHeader)
                          : tape.file_names[which].empty() ? Said::same(kUnnamed)
                                                           : Said::same(tape.file_names[which]);
        report.files.push_back(name + kFieldSeparator + takes_of_file(file, takes));
        const auto in_file = which == kBeforeAnyFile ? std::nullopt : std::optional<std::size_t>(which);
        const auto line = [&](const char* kind, const Said& text, const MergedBlock* block) {
            if (!block || block->missing) return MergeLine{kind, text, std::nullopt, std::nullopt, in_file};
            return MergeLine{kind, text, block->heard.seconds, block->take, in_file};
        };
        if (which == kBeforeAnyFile)
            report.problems.push_back(line("blocks_before_first_header", image_name + kFieldSeparator + name + kFieldSeparator + kBeforeAnyHeader, nullptr));
        for (const MergedBlock* block : file) {
            const Said where = image_name + kFieldSeparator + name + kFieldSeparator + kBlockWord + (" " + std::to_string(block->place));
            if (!block->missing && block->heard.sound() && block->disputed_by) {
                report.problems.push_back(line("disputed_block",
                                               where + kSoundInTwoWays + takes[block->take] + kAndIn + takes[*block->disputed_by] +
                                                   kNotTheSame + takes[block->take],
                                               block));
                continue;
            }
            if (!block->missing && block->heard.sound()) {
                if (block->heard.without_sync)
                    report.notes.push_back(
                        line("read_without_sync", where + kFromTake + takes[block->take] + kFieldSeparator + kReadWithoutSyncText, block));
                continue;
            }
            report.problems.push_back(block->missing ? line("heard_in_no_take", where + kHeardInNoTake, block)
                                                     : line("right_in_no_take",
                                                            where + kSoundInNoTake + takes[block->take] + kFieldSeparator +
                                                                heard_block_problem(block->heard),
                                                            block));
        }
        // A file whose last block is not its end block, nor one lost (said above).
        if (which != kBeforeAnyFile && !tape.file_ended[which] && !file.back()->missing)
            report.problems.push_back(line("no_end_in_any_take", image_name + kFieldSeparator + name + kFieldSeparator + kNoEndInAnyTake, nullptr));
    }
    return report;
}

std::string takes_heading(const std::vector<std::string>& takes)
{
    std::string heading;
    for (const auto& take : takes) heading += (heading.empty() ? "" : kTakesJoiner) + take;
    return heading;
}

}  // namespace morlevix
