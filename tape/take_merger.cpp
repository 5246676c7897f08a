#include "take_merger.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
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
constexpr char kReadWithoutSync[] = " : lu sans sa synchronisation, a partir de sa fin";
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
constexpr int kOtherLength = -20;
// The first bytes of two copies not both sound: this many compared (at the
// least the fewest), agreeing in this part of them or more, or at most in
// that part.
constexpr std::size_t kBytesCompared = 16;
constexpr std::size_t kFewestCompared = 8;
constexpr double kMostlyAgree = 0.75;
constexpr double kHardlyAgree = 0.25;
constexpr int kSimilarBytes = 30;
constexpr int kOtherBytes = -40;
constexpr int kLostFitsBlock = 1;
constexpr int kLostFitsLost = 2;
constexpr int kHeaderFitsLostHeader = 10;
constexpr int kOtherFitsLostHeader = -10;
// A block one take heard and another did not, although it said nothing
// was lost there; a block lost, that fits no block of the others.
constexpr int kUnmatchedBlock = -6;
constexpr int kUnmatchedLost = -1;
constexpr int kNever = std::numeric_limits<int>::min() / 4;
// Two copies heard this far apart (seconds, on one clock) are not one
// block, whatever their type and length: blocks lie a second or more apart,
// a splice cuts out less.
constexpr double kSameTimeSlack = 0.5;
constexpr int kOtherTime = -40;
// Copies heard this close (seconds, on one clock) are most likely one
// block: only a block of a few bytes and the next start closer.
constexpr double kSameTime = 0.1;
constexpr int kHeardTogether = 15;
// A block starts at least a pause and a marker byte after the one before
// ends; the takes' clocks agree to within less than that, near a block
// they share.
constexpr double kInsideSlack = 0.01;
constexpr double kUnknownTime = std::numeric_limits<double>::quiet_NaN();
// A block heard wrong inside the time another take heard a block whole
// fits that block's column as well as a copy of its type and length.
constexpr int kHeardInside = kSameType + kSameLength;

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
    double seconds = 0;     // where in its take
    // Where on the first take's clock, from the nearest block it heard
    // sound that an earlier take heard too; unknown without one.
    double when = kUnknownTime;
};

// One block of the merged tape: every take's copy of it, or its word that
// it lost it.
struct Column {
    std::vector<Item> items;
    double when = kUnknownTime;  // on the first take's clock, as its first item with a time says

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
    // A copy heard at least to its type.
    const HeardBlock* typed_copy() const
    {
        for (const auto& item : items)
            if (item.heard && item.heard->block.length > kBlockTypeOffset) return item.heard;
        return nullptr;
    }
    bool lost_header() const
    {
        return std::any_of(items.begin(), items.end(), [](const Item& i) { return i.lost_header; });
    }
};

// A block heard wrong right where a stretch of lost blocks ends, that
// would run on (at the length its length byte says) over the next block
// heard: a sync byte found in the tail of the block lost there, that block
// and no other.
bool tail_of_lost(const HeardBlock& block, const HeardBlock& next, const TapeAccount& account)
{
    if (block.sound() || block.seconds + heard_duration(block) <= next.seconds + kSameTime) return false;
    return std::any_of(account.lost.begin(), account.lost.end(),
                       [&](const LostStretch& lost) { return std::fabs(lost.end - block.seconds) <= kSameTime; });
}

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
        double each;  // seconds each block takes, of several lost
    };
    std::vector<Event> events;
    for (std::size_t b = 0; b < heard.blocks.size(); ++b) {
        const HeardBlock& block = heard.blocks[b];
        if (b + 1 < heard.blocks.size() && tail_of_lost(block, heard.blocks[b + 1], heard.account)) continue;
        events.push_back({block.seconds, 1, {take, &block}, 1, 0});
    }
    for (const auto& lost : heard.account.lost)
        events.push_back({lost.start, 0, {take, nullptr}, lost.blocks, (lost.end - lost.start) / static_cast<double>(lost.blocks)});
    for (const auto& problem : heard.account.problems) {
        Item item{take, nullptr};
        if (problem.kind == AccountProblem::without_header || problem.kind == AccountProblem::before_any_header) {
            // A block heard there with not even its length byte is that
            // header, broken off (its type heard wrong, or not at all).
            const auto fragment = std::find_if(events.begin(), events.end(), [&](const Event& e) {
                return e.item.heard && e.seconds == problem.seconds && e.item.heard->block.length <= kBlockLengthOffset;
            });
            if (fragment != events.end()) {
                fragment->item.lost_header = true;
                continue;
            }
            item.lost_header = true;
            events.push_back({problem.seconds, 0, item, 1, 0});
        } else if (problem.kind == AccountProblem::no_end_block) {
            // The file's last block heard with not even its length byte
            // holds the end block's place: the recording stopped inside it.
            const Event* last = nullptr;
            for (const auto& e : events)
                if (e.seconds <= problem.seconds && (!last || e.seconds >= last->seconds)) last = &e;
            if (last && last->item.heard && last->item.heard->block.length <= kBlockLengthOffset) continue;
            events.push_back({problem.seconds, 2, item, 1, 0});
        }
    }
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.seconds != b.seconds ? a.seconds < b.seconds : a.order < b.order;
    });
    std::vector<Item> items;
    // Only inside a file whose header the take heard did its account look
    // for blocks lost between two it heard.
    bool accounted = false;
    for (const auto& event : events)
        for (std::size_t i = 0; i < event.count; ++i) {
            Item item = event.item;
            item.index = items.size();
            item.seconds = event.seconds + event.each * static_cast<double>(i);
            item.next_to_previous = accounted && item.heard && !items.empty() && items.back().heard;
            if (item.lost_header) accounted = false;
            else if (item.heard && item.heard->block.length > kBlockTypeOffset && item.heard->block.is_header()) accounted = true;
            items.push_back(item);
        }
    return items;
}

int fit_by_bytes(const Column& column, const Item& item);
bool heard_inside(const Item& item, const Column& sound);
bool holds_only_pieces_of(const Column& column, const Item& item);

int fit(const Column& column, const Item& item)
{
    const int bytes = fit_by_bytes(column, item);
    if (heard_inside(item, column) || holds_only_pieces_of(column, item)) return std::max(bytes, kHeardInside);
    if (bytes == kNever || !item.heard || !column.any_copy()) return bytes;
    if (std::isnan(item.when) || std::isnan(column.when)) return bytes;
    const double apart = std::fabs(item.when - column.when);
    if (apart <= kSameTime) return bytes + kHeardTogether;
    return apart <= kSameTimeSlack ? bytes : bytes + kOtherTime;
}

// A block heard wrong (on the first take's clock) well inside the time
// another take heard `sound`'s block whole: a sync byte found in the
// middle of that block after a splice or a dropout, part of that block.
bool heard_inside(const Item& item, double whole_when, const HeardBlock& whole)
{
    if (std::isnan(whole_when) || !item.heard || item.heard->sound() || std::isnan(item.when)) return false;
    return item.when > whole_when && item.when < whole_when + heard_duration(whole) - kInsideSlack;
}
bool heard_inside(const Item& item, const Column& sound)
{
    const HeardBlock* whole = sound.sound_copy();
    return whole && heard_inside(item, sound.when, *whole);
}
// The other way round: every copy in `column` heard wrong inside the block
// `item` heard whole.
bool holds_only_pieces_of(const Column& column, const Item& item)
{
    if (!item.heard || !item.heard->sound() || !column.any_copy()) return false;
    return std::all_of(column.items.begin(), column.items.end(),
                       [&](const Item& piece) { return !piece.heard || heard_inside(piece, item.when, *item.heard); });
}

int fit_by_bytes(const Column& column, const Item& item)
{
    const HeardBlock* sound = column.sound_copy();
    const HeardBlock* copy = sound ? sound : column.typed_copy();
    if (!item.heard || item.lost_header) {
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
    if (a.length > kBlockLengthOffset && b.length > kBlockLengthOffset)
        score += a.payload_length() == b.payload_length() ? kSameLength : kOtherLength;
    // And its first bytes, heard right even where a cycle went wrong later
    // or the signal broke off: the same block's mostly agree, another's
    // hardly ever.
    const std::size_t compared = std::min({a.length, b.length, kPayloadOffset + kBytesCompared});
    if (compared >= kPayloadOffset + kFewestCompared) {
        std::size_t agree = 0;
        for (std::size_t i = kPayloadOffset; i < compared; ++i) agree += a.bytes[i] == b.bytes[i] ? 1 : 0;
        const double part = static_cast<double>(agree) / static_cast<double>(compared - kPayloadOffset);
        if (part >= kMostlyAgree) score += kSimilarBytes;
        else if (part <= kHardlyAgree) score += kOtherBytes;
    }
    return score;
}

// The bytes of a sound copy, as a key.
std::string bytes_of(const HeardBlock& heard)
{
    return std::string(heard.block.bytes.begin(), heard.block.bytes.begin() + static_cast<std::ptrdiff_t>(heard.block.length));
}

// Puts a take's items on the first take's clock: each from the nearest of
// its blocks heard sound that a column holds too, with bytes found once in
// each. The first take's own items keep their times; a take with no such
// block has no clock. `scale`: the first take's seconds to this take's.
void set_clock(const std::vector<Column>& columns, std::vector<Item>& items, double scale)
{
    if (columns.empty()) {
        for (auto& item : items) item.when = item.seconds;
        return;
    }
    std::map<std::string, std::pair<double, int>> known;  // bytes: a column's time, how many columns
    for (const auto& column : columns) {
        const HeardBlock* sound = column.sound_copy();
        if (!sound || std::isnan(column.when)) continue;
        auto& entry = known[bytes_of(*sound)];
        entry = {column.when, entry.second + 1};
    }
    std::map<std::string, int> own;
    for (const auto& item : items)
        if (item.heard && item.heard->sound()) ++own[bytes_of(*item.heard)];
    std::vector<std::pair<double, double>> anchors;  // this take's seconds, the first take's
    for (const auto& item : items) {
        if (!item.heard || !item.heard->sound()) continue;
        const std::string key = bytes_of(*item.heard);
        const auto found = known.find(key);
        if (found != known.end() && found->second.second == 1 && own[key] == 1) anchors.push_back({item.seconds, found->second.first});
    }
    if (anchors.empty()) return;
    for (auto& item : items) {
        const auto nearest = std::min_element(anchors.begin(), anchors.end(), [&](const auto& a, const auto& b) {
            return std::fabs(a.first - item.seconds) < std::fabs(b.first - item.seconds);
        });
        item.when = nearest->second + (item.seconds - nearest->first) / scale;
    }
}

// The usual speed a take was heard at: its sound blocks' middle one.
double usual_speed(const HeardTake& take)
{
    std::vector<double> speeds;
    for (const auto& block : take.blocks)
        if (block.sound() && block.figures.speed > 0) speeds.push_back(block.figures.speed);
    if (speeds.empty()) return 1;
    std::nth_element(speeds.begin(), speeds.begin() + static_cast<std::ptrdiff_t>(speeds.size() / 2), speeds.end());
    return speeds[speeds.size() / 2];
}

// Lines a take's items up with the columns so far, and adds them: each
// item joins the column it fits, or makes one of its own. A take may start
// late and stop early: what lies before its first item or after its last
// costs nothing.
void align(std::vector<Column>& columns, std::vector<Item> items, double scale)
{
    set_clock(columns, items, scale);
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
            Column& column = merged.back();
            const Item& item = items[--j];
            // The column's time: its first sound copy's, else its first copy's.
            const bool first_sound = item.heard && item.heard->sound() && !column.sound_copy();
            if (std::isnan(column.when) || (first_sound && !std::isnan(item.when))) column.when = item.when;
            column.items.push_back(item);
        } else if (how == kColumnAlone) {
            merged.push_back(columns[--i]);
        } else {
            merged.push_back(Column{{items[--j]}, items[j].when});
        }
    }
    std::reverse(merged.begin(), merged.end());
    columns = std::move(merged);
}

// True when every copy of `column` is a block heard wrong inside the block
// another take heard whole in `sound`: no block of its own.
bool inside_sound_block(const Column& column, const Column& sound)
{
    return !column.items.empty() &&
           std::all_of(column.items.begin(), column.items.end(), [&](const Item& item) { return heard_inside(item, sound); });
}

// Columns of blocks no take heard sound (lost, or heard wrong: a sync byte
// found in the middle of another block after a dropout), where a take heard
// the blocks on either side of them sound, one after the other: that take
// says nothing lies there. And a block heard wrong alone in its column,
// inside the time another take heard its neighbour whole.
void drop_contradicted(std::vector<Column>& columns)
{
    const auto heard_somewhere = [](const Column& c) { return c.sound_copy() != nullptr; };
    for (std::size_t c = 0; c < columns.size();) {
        if (heard_somewhere(columns[c])) {
            ++c;
            continue;
        }
        if ((c > 0 && inside_sound_block(columns[c], columns[c - 1])) ||
            (c + 1 < columns.size() && inside_sound_block(columns[c], columns[c + 1]))) {
            columns.erase(columns.begin() + static_cast<std::ptrdiff_t>(c));
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
    // A take played faster than the first runs through the same blocks in
    // fewer seconds.
    const double first_speed = takes.empty() ? 1 : usual_speed(takes.front());
    for (std::size_t t = 0; t < takes.size(); ++t) align(columns, items[t], first_speed / usual_speed(takes[t]));
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
            const std::string where = image_name + kFieldSeparator + name + kFieldSeparator + kBlockWord + std::to_string(block->place);
            if (!block->missing && block->heard.sound()) {
                if (block->heard.without_sync) report.notes.push_back(where + kFromTake + takes[block->take] + kReadWithoutSync);
                continue;
            }
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
