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

    // Reading a block's bytes.
    bool reading() const { return reading_; }
    // Its bytes heard, reading the closing marker after them.
    bool closing() const { return closing_bits_ >= 0; }
    // The direction the block's cycles start in.
    int direction() const { return direction_; }
    // Where its marker byte started (in processed samples).
    double marker_start() const { return marker_start_; }
    // The block being heard, or the one that ended last.
    const HeardBlock& block() const { return current_; }
    // Where its last byte heard ended (in processed samples): before the
    // closing marker, which is read too.
    double bytes_end() const { return bytes_end_; }

    // A block whose cycles start in `direction`, its marker byte at
    // `marker_start` and its sync byte at `sync_start`.
    void start(int direction, double sync_start, double marker_start);
    // The loudest sample before the filters, since the last it was given.
    void gather(float peak) { block_peak_ = std::max(block_peak_, peak); }
    // A cycle of the block's direction, from `start`, `period` long; `other`
    // is the latest crossing the other way. True when the block's bytes
    // ended with it (whole or not: see block()); whole, its closing marker
    // is read next.
    bool cycle(double start, double period, double other, CycleLengths& lengths);
    // A cycle of the closing marker. True when the marker was heard, or
    // was not there: block() says which.
    bool closing_cycle(double period, const CycleLengths& lengths);
    // The recording ended inside the block, or inside its closing marker,
    // or another block's sync came before the marker ended.
    void stop(const CycleLengths& lengths);

private:
    // The block ends here, heard to its end or broken off.
    void end(bool complete, const CycleLengths& lengths);
    bool read_bit(double period, double end, CycleLengths& lengths);
    // The block's bytes are all heard: its figures, and the marker after it.
    void bytes_heard(double end, const CycleLengths& lengths);

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
    double bytes_end_ = 0;
    int closing_bits_ = -1;  // of the closing marker, read after the bytes; negative before
    HeardBlock current_;
};

}  // namespace morlevix
