// A stretch of the cassette signal read as the most likely sequence of
// short and long cycles, for the blocks that crossings alone cannot read.
//
// Zero crossings are moved by what a room adds (the echoes of the cycles
// before), by lossy codecs and by a low-pass that leaves the short cycles
// small; two short cycles and a long one last the same time, and a stray
// crossing pair turns one into the other. Here each cycle is compared with
// a whole cycle of its own tone, and where every cycle ends is chosen for
// the whole stretch at once (a Viterbi search over the cycles' ends): the
// tone that fits the samples best wins, whatever their crossings.
#pragma once

#include <cstddef>
#include <vector>

namespace morlevix {

struct SequenceCycle {
    bool short_cycle = false;  // a 1 bit; a long cycle is a 0
    std::size_t start = 0;     // in samples of the stretch
    std::size_t length = 0;
    // How clearly it was its kind: what the best reading that ends it the
    // other way loses, in parts of what a clean long cycle read as two
    // short ones loses; 0 on the line, 1 and more clear.
    double margin = 0;
    // What the tone leaves unexplained of its samples, in parts of the
    // tone's own energy: near 0 for a clean cycle, 1 over silence, more
    // over noise.
    double residual = 0;
    // The samples' own energy, in parts of the tone's: near 0 in silence.
    double energy = 0;
};

// Reads `samples` as cycles of about `short_cycle` and `long_cycle`
// samples each (at least four samples to a short cycle), each rising
// through zero at its start, of a tone whose peak is about `amplitude`.
// The first cycle starts anywhere in the first `free_start` samples (what
// comes before it is passed over); each starts where the one before ends.
// Given `taught` (cycles read from these samples before), each kind and
// length of cycle is compared with the average of its own samples there
// instead of a pure tone: the shape the channel (a room, a codec) gives
// the two tones. Gives the cycles in order, as far as the stretch goes.
std::vector<SequenceCycle> read_cycle_sequence(const std::vector<float>& samples, double short_cycle, double long_cycle,
                                               double amplitude, std::size_t free_start,
                                               const std::vector<SequenceCycle>* taught = nullptr);

}  // namespace morlevix
