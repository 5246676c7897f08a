// A take as the merge lines it up: its items in the tape's order (the
// blocks it heard, and what it lost where, as its account says), and its
// clock put on the first take's by the blocks they both heard sound.
#pragma once

#include <cstddef>
#include <vector>

#include "take_alignment.h"

namespace morlevix {

// Copies heard this close (seconds, on one clock) are most likely one
// block: only a block of a few bytes and the next start closer.
inline constexpr double kSameTime = 0.1;

// A block heard with a type that blocks have (header, data, end).
bool of_a_known_type(const HeardBlock& heard);

// A take's items in the tape's order: its blocks, and where it lost blocks
// (from the time that passed), a header (before blocks heard with none
// before them) or an end block (before the next header, or at the
// recording's end).
std::vector<TakeItem> items_of(std::size_t take, const HeardTake& heard);

// Puts a take's items on the first take's clock (see the definition);
// `scale`: the first take's seconds to this take's.
void set_clock(const std::vector<TakeColumn>& columns, std::vector<TakeItem>& items, double scale);

// The usual speed a take was heard at: its sound blocks' middle one.
double usual_speed(const HeardTake& take);

}  // namespace morlevix
