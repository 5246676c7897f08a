// Where the decoder heard a tape's signal: stretches of cycles of the two
// lengths it learned, one after another, each said to be a leader or not.
// What stretches became blocks is known from the blocks themselves; what
// signal no block covers is what was heard but not read. One entry a
// stretch, a few each block: never anything per sample.
#pragma once

#include <cstddef>
#include <vector>

#include "heard_block.h"

namespace morlevix {

class SignalMap {
public:
    // Times in processed samples of `seconds_per_step` seconds, delayed by
    // the filters by `delay` of them.
    SignalMap(double seconds_per_step, double delay) : seconds_per_step_(seconds_per_step), delay_(delay) {}

    // A cycle of one direction's crossings, from `start` to `end`: of a
    // bit's length or not (a glitch, a silence), in a leader or not.
    // (Every cycle of the recording passes here: kept inline.)
    void cycle(double start, double end, bool of_a_bit, bool in_leader)
    {
        // A stretch is all leader or all else: where a leader gives way to
        // its block, one ends and the next starts.
        if (!of_a_bit || (open_ && in_leader != leader_)) close();
        if (!of_a_bit) return;
        if (!open_) {
            open_ = true;
            leader_ = in_leader;
            start_ = start;
            cycles_ = 0;
        }
        end_ = end;
        ++cycles_;
    }
    // The recording ended.
    void finish() { close(); }

    const std::vector<HeardStretch>& stretches() const { return stretches_; }

private:
    void close();

    double seconds_per_step_;
    double delay_;
    bool open_ = false;
    double start_ = 0;
    double end_ = 0;
    bool leader_ = false;
    std::size_t cycles_ = 0;
    bool leader_last_ = false;  // the latest stretch is a leader, with nothing else since
    std::vector<HeardStretch> stretches_;
};

}  // namespace morlevix
