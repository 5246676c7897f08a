// How the takes of one tape are lined up, block by block, before they are
// merged: each take's blocks and what it lost (its items), lined up with
// the blocks of the takes before it (the columns), by the bytes of the
// blocks heard sound, the type, length and first bytes of those heard
// wrong, what each take lost where, and the time that passed on a clock
// the takes share (take_items reads a take's items and sets its clock).
#pragma once

#include <algorithm>
#include <cstddef>
#include <limits>
#include <optional>
#include <vector>

#include "tape/decoder/heard_block.h"
#include "tape_account.h"

namespace morlevix {

// A take as the merge uses it: its blocks, and what it lost where.
struct HeardTake {
    std::vector<HeardBlock> blocks;
    TapeAccount account;
};

inline constexpr double kUnknownTime = std::numeric_limits<double>::quiet_NaN();

// One block of the tape as a take has it: a copy it heard, or one it lost
// (a header it never heard among them).
struct TakeItem {
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
struct TakeColumn {
    std::vector<TakeItem> items;
    double when = kUnknownTime;  // on the first take's clock, as its first item with a time says
    // Another take heard a block sound at the same time with other bytes:
    // that take (the copy with the weaker margin was left out).
    std::optional<std::size_t> disputed_by;

    // The first copy heard sound, and the item of it.
    const TakeItem* sound_item() const
    {
        for (const auto& item : items)
            if (item.heard && item.heard->sound()) return &item;
        return nullptr;
    }
    const HeardBlock* sound_copy() const
    {
        const TakeItem* item = sound_item();
        return item ? item->heard : nullptr;
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
        return std::any_of(items.begin(), items.end(), [](const TakeItem& i) { return i.lost_header; });
    }
};

// The blocks of the tape, in order: each with every take's copy of it, or
// its word that it lost it. A block no take heard sound is left out where a
// take heard the blocks on either side sound one after the other, or where
// it was heard inside the time another take heard a block whole. Two
// blocks heard sound at the same time by two takes, with other bytes, are
// one block the takes dispute: the copy with the better margin is kept, and
// the column says who disputed it.
std::vector<TakeColumn> line_up_takes(const std::vector<HeardTake>& takes);

}  // namespace morlevix
