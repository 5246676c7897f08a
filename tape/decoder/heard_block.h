// A block as heard in a recording, and how well it was heard: what every
// stage of the decoder, and everything after it, passes on.
#pragma once

#include "tape/cassette_format.h"

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
    double seconds = 0;     // where its sync byte starts in the recording
    BlockFigures figures;

    bool sound() const { return complete && checksum_is_right(block); }
};

// A stretch of a recording where the tape's signal was heard: cycles of
// the two lengths, one after another; a leader's, or anything else.
struct HeardStretch {
    double start = 0;  // seconds in the recording
    double end = 0;
    bool leader = false;
};

// A leader broken for less than this (in seconds) by noise or a dropout is
// still one leader.
inline constexpr double kLeaderBreakSeconds = 0.25;

}  // namespace morlevix
