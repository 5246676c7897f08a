#include "take_alignment.h"

#include "take_items.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <utility>

namespace morlevix {
namespace {

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
constexpr int kHeardTogether = 15;
// A block starts at least a pause and a marker byte after the one before
// ends; the takes' clocks agree to within less than that, near a block
// they share.
constexpr double kInsideSlack = 0.01;
// A block heard wrong inside the time another take heard a block whole
// fits that block's column as well as a copy of its type and length.
constexpr int kHeardInside = kSameType + kSameLength;

bool same_bytes(const HeardBlock& a, const HeardBlock& b)
{
    return a.block.length == b.block.length &&
           std::equal(a.block.bytes.begin(), a.block.bytes.begin() + static_cast<std::ptrdiff_t>(a.block.length),
                      b.block.bytes.begin());
}

int fit_by_bytes(const TakeColumn& column, const TakeItem& item);
bool heard_inside(const TakeItem& item, const TakeColumn& sound);
bool holds_only_pieces_of(const TakeColumn& column, const TakeItem& item);

int fit(const TakeColumn& column, const TakeItem& item)
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
bool heard_inside(const TakeItem& item, double whole_when, const HeardBlock& whole)
{
    if (std::isnan(whole_when) || !item.heard || item.heard->sound() || of_a_known_type(*item.heard) || std::isnan(item.when))
        return false;
    return item.when > whole_when && item.when < whole_when + heard_duration(whole) - kInsideSlack;
}
bool heard_inside(const TakeItem& item, const TakeColumn& sound)
{
    const HeardBlock* whole = sound.sound_copy();
    return whole && heard_inside(item, sound.when, *whole);
}
// The other way round: every copy in `column` heard wrong inside the block
// `item` heard whole.
bool holds_only_pieces_of(const TakeColumn& column, const TakeItem& item)
{
    if (!item.heard || !item.heard->sound() || !column.any_copy()) return false;
    return std::all_of(column.items.begin(), column.items.end(),
                       [&](const TakeItem& piece) { return !piece.heard || heard_inside(piece, item.when, *item.heard); });
}

int fit_by_bytes(const TakeColumn& column, const TakeItem& item)
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

// Lines a take's items up with the columns so far, and adds them: each
// item joins the column it fits, or makes one of its own. A take may start
// late and stop early: what lies before its first item or after its last
// costs nothing.
void align(std::vector<TakeColumn>& columns, std::vector<TakeItem> items, double scale)
{
    set_clock(columns, items, scale);
    const std::size_t n = columns.size(), m = items.size();
    enum : std::uint8_t { kBoth, kColumnAlone, kItemAlone };
    std::vector<std::uint8_t> step((n + 1) * (m + 1));
    std::vector<int> row(m + 1), previous(m + 1);
    const auto unmatched = [&](const TakeItem& item) { return item.heard ? kUnmatchedBlock : kUnmatchedLost; };
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
    std::vector<TakeColumn> merged;
    std::size_t i = n, j = m;
    while (i > 0 || j > 0) {
        const std::uint8_t how = i == 0 ? std::uint8_t{kItemAlone} : j == 0 ? std::uint8_t{kColumnAlone} : step[i * (m + 1) + j];
        if (how == kBoth) {
            merged.push_back(columns[--i]);
            TakeColumn& column = merged.back();
            const TakeItem& item = items[--j];
            // The column's time: its first sound copy's, else its first
            // heard copy's, else its first item's. A lost block's time is
            // only where its take's loss began (a take that stopped early
            // lost its file's end block right after the last block it
            // heard): a copy heard says better where the block lies.
            const bool first_sound = item.heard && item.heard->sound() && !column.sound_copy();
            const bool first_heard = item.heard && !column.any_copy();
            if (std::isnan(column.when) || ((first_sound || first_heard) && !std::isnan(item.when))) column.when = item.when;
            column.items.push_back(item);
        } else if (how == kColumnAlone) {
            merged.push_back(columns[--i]);
        } else {
            merged.push_back(TakeColumn{{items[--j]}, items[j].when, std::nullopt});
        }
    }
    std::reverse(merged.begin(), merged.end());
    columns = std::move(merged);
}

// True when every copy of `column` is a block heard wrong inside the block
// another take heard whole in `sound`: no block of its own.
bool inside_sound_block(const TakeColumn& column, const TakeColumn& sound)
{
    return !column.items.empty() &&
           std::all_of(column.items.begin(), column.items.end(), [&](const TakeItem& item) { return heard_inside(item, sound); });
}

// Columns of blocks no take heard sound (lost, or heard wrong: a sync byte
// found in the middle of another block after a dropout), where a take heard
// the blocks on either side of them sound, one after the other: that take
// says nothing lies there. And a block heard wrong alone in its column,
// inside the time another take heard its neighbour whole.
void drop_contradicted(std::vector<TakeColumn>& columns)
{
    const auto heard_somewhere = [](const TakeColumn& c) { return c.sound_copy() != nullptr; };
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

// Two columns side by side, each with a copy heard sound, by no take in
// both, at the same time: the takes heard one block two ways, each with
// its checksum right. The weaker copy goes; the kept one is disputed.
void settle_disputes(std::vector<TakeColumn>& columns)
{
    const auto takes_of = [](const TakeColumn& column) {
        std::vector<std::size_t> takes;
        for (const auto& item : column.items)
            if (item.heard) takes.push_back(item.take);
        return takes;
    };
    for (std::size_t c = 0; c + 1 < columns.size();) {
        TakeColumn& a = columns[c];
        TakeColumn& b = columns[c + 1];
        const TakeItem* sound_a = a.sound_item();
        const TakeItem* sound_b = b.sound_item();
        const HeardBlock* first = sound_a ? sound_a->heard : nullptr;
        const HeardBlock* second = sound_b ? sound_b->heard : nullptr;
        const auto in_a = takes_of(a), in_b = takes_of(b);
        const bool shared = std::any_of(in_a.begin(), in_a.end(), [&](std::size_t t) {
            return std::find(in_b.begin(), in_b.end(), t) != in_b.end();
        });
        // Each copy's own time: a column's may be a lost block's.
        if (!first || !second || shared || std::isnan(sound_a->when) || std::isnan(sound_b->when) ||
            std::fabs(sound_a->when - sound_b->when) > kSameTime) {
            ++c;
            continue;
        }
        const bool keep_first = first->figures.margin >= second->figures.margin;
        TakeColumn& kept = keep_first ? a : b;
        const TakeColumn& gone = keep_first ? b : a;
        for (const auto& item : gone.items)
            if (item.heard && item.heard->sound()) kept.disputed_by = item.take;
        columns.erase(columns.begin() + static_cast<std::ptrdiff_t>(keep_first ? c + 1 : c));
    }
}

}  // namespace

std::vector<TakeColumn> line_up_takes(const std::vector<HeardTake>& takes)
{
    std::vector<std::vector<TakeItem>> items;
    for (std::size_t t = 0; t < takes.size(); ++t) items.push_back(items_of(t, takes[t]));
    std::vector<TakeColumn> columns;
    // A take played faster than the first runs through the same blocks in
    // fewer seconds.
    const double first_speed = takes.empty() ? 1 : usual_speed(takes.front());
    for (std::size_t t = 0; t < takes.size(); ++t) align(columns, items[t], first_speed / usual_speed(takes[t]));
    drop_contradicted(columns);
    settle_disputes(columns);
    return columns;
}

}  // namespace morlevix
