// The decoder's reading of a block, once the search has found its sync
// byte: the cycles of its direction read as bits, eight to a byte, as far
// as its length byte says. A crossing lost to noise shows as a cycle whose
// middle crossing is off centre, and is put back; a piece of a cycle cut
// by a glitch waits for the rest; a silence or dropout ends the block.
// How well each block was heard (its speed, level and weakest bit) gathers
// as it is read.
#pragma once

#include <algorithm>
#include <cstddef>

#include "heard_block.h"
#include "cycle_lengths.h"

namespace morlevix {

// A peak (1 full scale) as a level in dB below full scale.
double level_in_decibels(double peak);

class BlockReader {
public:
    // `delay`: the filters' delay, in processed samples of
    // `seconds_per_step` seconds each; `step` recording samples to a
    // processed one.
    BlockReader(double seconds_per_step, double delay, std::size_t step);

    bool reading() const { return reading_; }
    // The direction the block's cycles start in.
    int direction() const { return direction_; }
    // Where its marker byte started (in processed samples).
    double marker_start() const { return marker_start_; }
    // The block being heard, or the one that ended last.
    const HeardBlock& block() const { return current_; }

    // A block whose cycles start in `direction`, its marker byte at
    // `marker_start` and its sync byte at `sync_start`.
    void start(int direction, double sync_start, double marker_start);
    // The loudest sample before the filters, since the last it was given.
    void gather(float peak) { block_peak_ = std::max(block_peak_, peak); }
    // A cycle of the block's direction, from `start`, `period` long; `other`
    // is the latest crossing the other way. True when the block ended with
    // it (whole or not: see block()).
    bool cycle(double start, double period, double other, CycleLengths& lengths);
    // The block ends here, heard to its end or broken off.
    void end(bool complete, const CycleLengths& lengths);

private:
    bool read_bit(double period, CycleLengths& lengths);

    double seconds_per_step_;
    double delay_;
    float peak_scale_;  // from a processed sample to full scale
    bool reading_ = false;
    int direction_ = 0;
    double marker_start_ = 0;
    double pending_ = 0;  // a piece of a cycle cut by a glitch
    int bits_ = 0;
    unsigned byte_ = 0;
    // The block's figures as they gather: its speed cycle by cycle, its
    // loudest processed sample, its weakest bit.
    double nominal_time_ = 0;
    double heard_time_ = 0;
    float block_peak_ = 0;
    double weakest_margin_ = 1;
    HeardBlock current_;
};

}  // namespace morlevix
