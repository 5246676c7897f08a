// A block read forward from a reading of cycles (read_cycle_sequence): its
// sync byte after a marker byte, its bytes eight cycles each, and the
// closing marker after them; and whether the reading ran through damage,
// where its cycles are guesses whatever the checksum says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "cycle_sequence.h"
#include "heard_block.h"

namespace morlevix {

// Noise that the tones leave this much of unexplained, on average over a
// run of cycles, is damage: against the tones themselves, and against the
// shapes the channel gives the cycles (its echoes and filters learned), of
// which less is left unexplained.
inline constexpr double kNoisyFirstReading = 2.0;
inline constexpr double kNoisyTaughtReading = 1.5;

// The byte of the eight cycles from `first` on, and whether the cycles from
// `first` on begin with the closing marker's first bits (kClosingBits).
std::uint8_t byte_at(const std::vector<SequenceCycle>& cycles, std::size_t first);
bool closing_marker_at(const std::vector<SequenceCycle>& cycles, std::size_t first);

// The first cycle of the first sync byte (after its marker byte) whose
// marker starts at `from` or later; the cycles' count when there is none.
std::size_t sync_in(const std::vector<SequenceCycle>& cycles, std::size_t from);

// The first block in `cycles`: after its marker and sync bytes, its bytes,
// as far as its length byte says or the cycles go, into `heard`. Gives the
// cycles it spans, from its sync byte's first. It counts as complete only
// when the marker byte that closes every block follows it: a cycle read
// wrong makes two of one, or one of two, and every byte after it garbage,
// whose closing byte would still match its checksum once in 256 times;
// with the marker's first bits too, once in 16,000.
std::pair<std::size_t, std::size_t> block_in(const std::vector<SequenceCycle>& cycles, HeardBlock& heard);

// Whether the cycles `from` to `to` run through a silence (a dropout) or
// through noise (see kNoisyFirstReading: `noisy`), or hold a cycle that the
// other reading of it fitted as well: two bits wrong the same way in two
// bytes leave the checksum right.
bool through_damage(const std::vector<SequenceCycle>& cycles, std::size_t from, std::size_t to, double noisy);

}  // namespace morlevix
