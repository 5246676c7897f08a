// A block as heard in a recording, and how well it was heard: what every
// stage of the decoder, and everything after it, passes on.
#pragma once

#include <iterator>
#include <vector>

#include "tape/image/cassette_format.h"

namespace morlevix {

// How well a block was heard: what to look at before recording it again.
struct BlockFigures {
    double speed = 1;   // the tape's speed over the block, 1 nominal (1.02: 2 % fast)
    double level = 0;   // its loudest sample, in dB below full scale
    // How far its weakest bit was from the line between a 0 and a 1: 1
    // when every cycle had exactly its learned length, 0 on the line.
    double margin = 0;
};

// A block as heard in a recording.
struct HeardBlock {
    TapeBlock block;        // its bytes, sync byte first; `length` of them were heard
    bool complete = false;  // false: the signal broke off inside it
    // The marker byte that closes every block followed it. A block heard
    // through noise has the right checksum once in 256 times by chance; with
    // the marker's first bits after it, once in 16,000. Not every writer of
    // these tapes puts the marker after the last block: a block read with a
    // clean margin (not weak) and its checksum right is sound without it.
    bool closed = true;
    double seconds = 0;     // where its sync byte starts in the recording
    BlockFigures figures;
    // Read back from its end, its sync byte not heard (nor, most often, its
    // type and length bytes, taken as a data block's): sound all the same.
    bool without_sync = false;
    // Read from its crossings with a bit near the line between a 0 and a 1
    // (noise over the block, most often, where two bits wrong the same way
    // leave the checksum right): its cycles are read again, and a sound
    // reading of them takes its place.
    bool weak = false;
    // And a bit so near the line that it is a guess: unless a reading of
    // the cycles takes its place, the block is in doubt.
    bool guessed = false;

    bool sound() const { return complete && (closed || !weak) && !guessed && checksum_is_right(block); }
};

// Two readings of a block whose sync bytes start this close (seconds) are
// readings of one block.
inline constexpr double kSameBlockSeconds = 0.01;

// Whether `reading` of a block is a better one than `kept`: sound where the
// other is not, read with a clean margin where the other was weak, or
// closed by its marker where the other was not.
inline bool better_reading(const HeardBlock& reading, const HeardBlock& kept)
{
    return reading.sound() && (!kept.sound() || kept.weak || (!kept.closed && reading.closed));
}

// Adds a reading of a block to the blocks heard (in the order of their
// times): where a reading of the same block is there already (the crossings
// and a second reading may both hear one, in either order), the better of
// the two stays, once.
inline void keep_reading(const HeardBlock& reading, std::vector<HeardBlock>& blocks)
{
    auto later = blocks.end();
    for (auto b = blocks.rbegin(); b != blocks.rend() && b->seconds > reading.seconds - kSameBlockSeconds; ++b) {
        if (b->seconds - reading.seconds >= kSameBlockSeconds) {
            later = std::prev(b.base());
            continue;
        }
        if (better_reading(reading, *b)) *b = reading;
        return;
    }
    blocks.insert(later, reading);
}

// The closing marker's first bits, heard after a block's checksum (its last
// may meet the silence after it): every reading of a block checks them.
inline constexpr int kClosingBits = 6;

// A stretch of a recording where the tape's signal was heard: cycles of
// the two lengths, one after another; a leader's, or anything else.
struct HeardStretch {
    double start = 0;  // seconds in the recording
    double end = 0;
    bool leader = false;
    // A leader's: it gave way at its end to other cycles of a bit's length,
    // a run of them, as a leader gives way to its block.
    bool into_signal = false;
};

// A leader broken for less than this (in seconds) by noise or a dropout is
// still one leader.
inline constexpr double kLeaderBreakSeconds = 0.25;

}  // namespace morlevix
