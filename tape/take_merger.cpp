#include "take_merger.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <utility>

#include "tape_account.h"
#include "tape_catalog.h"

namespace morlevix {
namespace {

// The words of a merge's report.
constexpr char kTakesJoiner[] = " + ";
constexpr char kNoHeader[] = "(sans en-tete)";
constexpr char kUnnamed[] = "?";
constexpr char kFieldSeparator[] = " : ";
constexpr char kBlocksWord[] = "blocs ";
constexpr char kFromTake[] = " de ";
constexpr char kRangeDash[] = "-";
constexpr char kListSeparator[] = ", ";
constexpr char kWrongMark[] = " (faux)";
constexpr char kMissingMark[] = " manquant";
constexpr char kBlockWord[] = "bloc ";
constexpr char kSoundInNoTake[] = " : juste dans aucune prise ; garde celui de ";
constexpr char kHeardInNoTake[] = " : entendu dans aucune prise";
constexpr char kNoEndInAnyTake[] = "pas de bloc de fin dans aucune prise";
constexpr char kBeforeAnyHeader[] = "blocs avant le premier en-tete de fichier, dans toutes les prises";

// How well a take's item fits a block of the merge so far. Two copies heard
// sound are one block only when their bytes are the same; copies heard
// wrong or broken off fit by their type and length; a block a take lost
// fits anything.
constexpr int kSameBytes = 100;
constexpr int kSameType = 10;
constexpr int kSameLength = 10;
constexpr int kOtherType = -20;
constexpr int kLostFitsBlock = 1;
constexpr int kLostFitsLost = 2;
constexpr int kHeaderFitsLostHeader = 10;
constexpr int kOtherFitsLostHeader = -10;
// A block one take heard and another did not, although it said nothing
// was lost there; a block lost, that fits no block of the others.
constexpr int kUnmatchedBlock = -6;
constexpr int kUnmatchedLost = -1;
constexpr int kNever = std::numeric_limits<int>::min() / 4;

bool same_bytes(const HeardBlock& a, const HeardBlock& b)
{
    return a.block.length == b.block.length &&
           std::equal(a.block.bytes.begin(), a.block.bytes.begin() + static_cast<std::ptrdiff_t>(a.block.length),
                      b.block.bytes.begin());
}

// Better of two copies of a block, when neither is sound: one heard to its
// end over one broken off, then the longer.
bool heard_better(const HeardBlock& a, const HeardBlock& b)
{
    if (a.complete != b.complete) return a.complete;
    return a.block.length > b.block.length;
}

// One block of the tape as a take has it: a copy it heard, or one it lost
// (a header it never heard among them).
struct Item {
    std::size_t take = 0;
    const HeardBlock* heard = nullptr;  // nullptr: lost
    bool lost_header = false;
    // The take heard this block and the one before it, and lost nothing
    // between them (its pauses said so): no block lies between.
    bool next_to_previous = false;
    std::size_t index = 0;  // in the take's items
};

// One block of the merged tape: every take's copy of it, or its word that
// it lost it.
struct Column {
    std::vector<Item> items;

    const HeardBlock* sound_copy() const
    {
        for (const auto& item : items)
            if (item.heard && item.heard->sound()) return item.heard;
        return nullptr;
    }
    const HeardBlock* any_copy() const
    {
        for (const auto& item : items)
            if (item.heard) return item.heard;
        return nullptr;
    }
    bool lost_header() const
    {
        return std::any_of(items.begin(), items.end(), [](const Item& i) { return i.lost_header; });
    }
};

// A take's items in the tape's order: its blocks, and where it lost blocks
// (from the time that passed), a header (before blocks heard with none
// before them) or an end block (before the next header, or at the
// recording's end).
std::vector<Item> items_of(std::size_t take, const HeardTake& heard)
{
    struct Event {
        double seconds;
        int order;  // among events at one time: lost ones first
        Item item;
        std::size_t count;
    };
    std::vector<Event> events;
    for (const auto& block : heard.blocks) events.push_back({block.seconds, 1, {take, &block}, 1});
    for (const auto& lost : heard.account.lost) events.push_back({lost.start, 0, {take, nullptr}, lost.blocks});
    for (const auto& problem : heard.account.problems) {
        Item item{take, nullptr};
        if (problem.kind == AccountProblem::without_header || problem.kind == AccountProblem::before_any_header) {
            item.lost_header = true;
            events.push_back({problem.seconds, 0, item, 1});
        } else if (problem.kind == AccountProblem::no_end_block) {
            events.push_back({problem.seconds, 2, item, 1});
        }
    }
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.seconds != b.seconds ? a.seconds < b.seconds : a.order < b.order;
    });
    std::vector<Item> items;
    for (const auto& event : events)
        for (std::size_t i = 0; i < event.count; ++i) {
            Item item = event.item;
            item.index = items.size();
            item.next_to_previous = item.heard && !items.empty() && items.back().heard;
            items.push_back(item);
        }
    return items;
}

int fit(const Column& column, const Item& item)
{
    const HeardBlock* sound = column.sound_copy();
    const HeardBlock* copy = sound ? sound : column.any_copy();
    if (!item.heard) {
        if (!copy) return kLostFitsLost;
        if (item.lost_header) return opens_file(*copy) ? kHeaderFitsLostHeader : kOtherFitsLostHeader;
        return kLostFitsBlock;
    }
    if (!copy) {
        if (!column.lost_header()) return kLostFitsBlock;
        return opens_file(*item.heard) ? kHeaderFitsLostHeader : kOtherFitsLostHeader;
    }
    if (sound && item.heard->sound()) return same_bytes(*sound, *item.heard) ? kSameBytes : kNever;
    // A copy heard wrong or broken off: its type and length, where heard.
    const TapeBlock& a = copy->block;
    const TapeBlock& b = item.heard->block;
    int score = 0;
    if (a.length > kBlockTypeOffset && b.length > kBlockTypeOffset) score += a.type() == b.type() ? kSameType : kOtherType;
    if (a.length > kBlockLengthOffset && b.length > kBlockLengthOffset && a.payload_length() == b.payload_length())
        score += kSameLength;
    return score;
}

// Lines a take's items up with the columns so far, and adds them: each
// item joins the column it fits, or makes one of its own. A take may start
// late and stop early: what lies before its first item or after its last
// costs nothing.
void align(std::vector<Column>& columns, const std::vector<Item>& items)
{
    const std::size_t n = columns.size(), m = items.size();
    enum : std::uint8_t { kBoth, kColumnAlone, kItemAlone };
    std::vector<std::uint8_t> step((n + 1) * (m + 1));
    std::vector<int> row(m + 1), previous(m + 1);
    const auto unmatched = [&](const Item& item) { return item.heard ? kUnmatchedBlock : kUnmatchedLost; };
    for (std::size_t j = 1; j <= m; ++j) {
        previous[j] = previous[j - 1] + unmatched(items[j - 1]);
        step[j] = kItemAlone;
    }
    for (std::size_t i = 1; i <= n; ++i) {
        row[0] = 0;  // the take started after these columns
        step[i * (m + 1)] = kColumnAlone;
        for (std::size_t j = 1; j <= m; ++j) {
            const int column_alone = previous[j] + (j == m ? 0 : kUnmatchedBlock);  // free once the take has ended
            const int item_alone = row[j - 1] + unmatched(items[j - 1]);
            const int f = fit(columns[i - 1], items[j - 1]);
            const int both = f == kNever ? kNever : previous[j - 1] + f;
            int best = both;
            std::uint8_t how = kBoth;
            if (column_alone > best) {
                best = column_alone;
                how = kColumnAlone;
            }
            if (item_alone > best) {
                best = item_alone;
                how = kItemAlone;
            }
            row[j] = best;
            step[i * (m + 1) + j] = how;
        }
        std::swap(row, previous);
    }
    // Back from the end, building the new columns in reverse.
    std::vector<Column> merged;
    std::size_t i = n, j = m;
    while (i > 0 || j > 0) {
        const std::uint8_t how = i == 0 ? std::uint8_t{kItemAlone} : j == 0 ? std::uint8_t{kColumnAlone} : step[i * (m + 1) + j];
        if (how == kBoth) {
            merged.push_back(columns[--i]);
            merged.back().items.push_back(items[--j]);
        } else if (how == kColumnAlone) {
            merged.push_back(columns[--i]);
        } else {
            merged.push_back(Column{{items[--j]}});
        }
    }
    std::reverse(merged.begin(), merged.end());
    columns = std::move(merged);
}

// Columns of blocks no take heard sound (lost, or heard wrong: a sync byte
// found in the middle of another block after a dropout), where a take heard
// the blocks on either side of them sound, one after the other: that take
// says nothing lies there.
void drop_contradicted(std::vector<Column>& columns)
{
    const auto heard_somewhere = [](const Column& c) { return c.sound_copy() != nullptr; };
    for (std::size_t c = 0; c < columns.size();) {
        if (heard_somewhere(columns[c])) {
            ++c;
            continue;
        }
        std::size_t left = c, right = c;
        while (left > 0 && !heard_somewhere(columns[left - 1])) --left;
        while (right < columns.size() && !heard_somewhere(columns[right])) ++right;
        bool contradicted = false;
        if (left > 0 && right < columns.size())
            for (const auto& after : columns[right].items)
                for (const auto& before : columns[left - 1].items)
                    if (after.take == before.take && after.heard && before.heard && after.next_to_previous &&
                        after.index == before.index + 1)
                        contradicted = true;
        if (contradicted) {
            columns.erase(columns.begin() + static_cast<std::ptrdiff_t>(left), columns.begin() + static_cast<std::ptrdiff_t>(right));
            c = left;
        } else {
            c = right;
        }
    }
}

}  // namespace

bool MergedTape::sound() const
{
    return !blocks.empty() &&
           std::all_of(blocks.begin(), blocks.end(), [](const MergedBlock& b) {
               return !b.missing && b.heard.sound() && b.file != kBeforeAnyFile;
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
    std::vector<std::vector<Item>> items;
    for (std::size_t t = 0; t < takes.size(); ++t) items.push_back(items_of(t, takes[t]));
    std::vector<Column> columns;
    for (const auto& take : items) align(columns, take);
    drop_contradicted(columns);

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
std::string takes_of_file(const std::vector<const MergedBlock*>& blocks, const std::vector<std::string>& takes)
{
    std::string text = kBlocksWord;
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
        else text += kFromTake + takes[blocks[i]->take] + (blocks[i]->heard.sound() ? "" : kWrongMark);
        i = j;
    }
    return text;
}

}  // namespace

std::string TakeSet::add(std::istream& recording)
{
    DecodedRecording decoded = decode_recording(recording);
    takes_.push_back({std::move(decoded.blocks), std::move(decoded.account)});
    if (!decoded.error.empty()) return decoded.error;
    return takes_.back().blocks.empty() ? kNoBlockText : "";
}

MergeReport merge_report(const MergedTape& tape, const std::vector<std::string>& takes, const std::string& image_name)
{
    MergeReport report;
    for (std::size_t b = 0; b < tape.blocks.size();) {
        std::vector<const MergedBlock*> file;
        const std::size_t which = tape.blocks[b].file;
        for (; b < tape.blocks.size() && tape.blocks[b].file == which && (file.empty() || tape.blocks[b].place != 0); ++b)
            file.push_back(&tape.blocks[b]);
        const std::string name = which == kBeforeAnyFile          ? kNoHeader
                                 : tape.file_names[which].empty() ? kUnnamed
                                                                  : tape.file_names[which];
        report.files.push_back(name + kFieldSeparator + takes_of_file(file, takes));
        if (which == kBeforeAnyFile) report.problems.push_back(image_name + kFieldSeparator + name + kFieldSeparator + kBeforeAnyHeader);
        for (const MergedBlock* block : file) {
            if (!block->missing && block->heard.sound()) continue;
            const std::string where = image_name + kFieldSeparator + name + kFieldSeparator + kBlockWord + std::to_string(block->place);
            report.problems.push_back(block->missing ? where + kHeardInNoTake
                                                     : where + kSoundInNoTake + takes[block->take] + kFieldSeparator +
                                                           heard_block_problem(block->heard));
        }
        // A file whose last block is not its end block, nor one lost (said above).
        if (which != kBeforeAnyFile && !tape.file_ended[which] && !file.back()->missing)
            report.problems.push_back(image_name + kFieldSeparator + name + kFieldSeparator + kNoEndInAnyTake);
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
