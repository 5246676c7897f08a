#include "take_items.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <utility>

namespace morlevix {
namespace {

// A block heard wrong right where a stretch of lost blocks ends, that
// would run on (at the length its length byte says) over the next block
// heard: a sync byte found in the tail of the block lost there, that block
// and no other.
bool tail_of_lost(const HeardBlock& block, const HeardBlock& next, const TapeAccount& account)
{
    if (block.sound() || of_a_known_type(block) || block.seconds + heard_duration(block) <= next.seconds + kSameTime) return false;
    return std::any_of(account.lost.begin(), account.lost.end(),
                       [&](const LostStretch& lost) { return std::fabs(lost.end - block.seconds) <= kSameTime; });
}

// The bytes of a sound copy, as a key.
std::string bytes_of(const HeardBlock& heard)
{
    return std::string(heard.block.bytes.begin(), heard.block.bytes.begin() + static_cast<std::ptrdiff_t>(heard.block.length));
}

}  // namespace

// A block heard with a type that blocks have (header, data, end). A sync
// byte found inside another block gives any type, these three seldom; a
// block of one of them is taken as a block of its own, for a take's clock
// may be wrong by a splice's length.
bool of_a_known_type(const HeardBlock& heard)
{
    if (heard.block.length <= kBlockTypeOffset) return false;
    const std::uint8_t type = heard.block.type();
    return type == kHeaderBlockType || type == kDataBlockType || type == kEndBlockType;
}

std::vector<TakeItem> items_of(std::size_t take, const HeardTake& heard)
{
    struct Event {
        double seconds;
        int order;  // among events at one time: lost ones first
        TakeItem item;
        std::size_t count;
        double each;  // seconds each block takes, of several lost
    };
    std::vector<Event> events;
    for (std::size_t b = 0; b < heard.blocks.size(); ++b) {
        const HeardBlock& block = heard.blocks[b];
        if (b + 1 < heard.blocks.size() && tail_of_lost(block, heard.blocks[b + 1], heard.account)) continue;
        events.push_back({block.seconds, 1, {take, &block}, 1, 0});
    }
    for (const auto& lost : heard.account.lost) {
        // A leader heard alone: a file was coming, its header first.
        TakeItem item{take, nullptr};
        item.lost_header = lost.file;
        events.push_back({lost.start, 0, item, lost.blocks, (lost.end - lost.start) / static_cast<double>(lost.blocks)});
    }
    for (const auto& problem : heard.account.problems) {
        TakeItem item{take, nullptr};
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
    std::vector<TakeItem> items;
    // Only inside a file whose header the take heard did its account look
    // for blocks lost between two it heard.
    bool accounted = false;
    for (const auto& event : events)
        for (std::size_t i = 0; i < event.count; ++i) {
            TakeItem item = event.item;
            item.index = items.size();
            item.seconds = event.seconds + event.each * static_cast<double>(i);
            item.next_to_previous = accounted && item.heard && !items.empty() && items.back().heard;
            if (item.lost_header) accounted = false;
            else if (item.heard && item.heard->block.length > kBlockTypeOffset && item.heard->block.is_header()) accounted = true;
            items.push_back(item);
        }
    return items;
}

// Puts a take's items on the first take's clock: each from the nearest of
// its blocks heard sound that a column holds too, with bytes found once in
// each. The first take's own items keep their times; a take with no such
// block has no clock. `scale`: the first take's seconds to this take's.
void set_clock(const std::vector<TakeColumn>& columns, std::vector<TakeItem>& items, double scale)
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

double usual_speed(const HeardTake& take)
{
    std::vector<double> speeds;
    for (const auto& block : take.blocks)
        if (block.sound() && block.figures.speed > 0) speeds.push_back(block.figures.speed);
    if (speeds.empty()) return 1;
    std::nth_element(speeds.begin(), speeds.begin() + static_cast<std::ptrdiff_t>(speeds.size() / 2), speeds.end());
    return speeds[speeds.size() / 2];
}

}  // namespace morlevix
