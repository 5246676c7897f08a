// The decoder's second reading. A block that the crossings do not read
// sound (or whose sync byte they never found after a leader, or that
// follows a data block unheard) is read again from the recording's own
// samples, kept for the length of the longest block: as the most likely
// sequence of whole cycles of the two tones, which a room's echoes, a
// lossy codec or a stray pair of crossings do not fool as easily; then, if
// that is not sound, once more with the shapes the channel gives each kind
// and length of cycle, learned from the first reading. Such a copy counts
// only when its checksum is right and the marker that closes every block
// follows it.
//
// Where to read from is marked as the search and the block reader go: on
// every leader, a byte or two before its end; a long cycle before a block
// heard wrong; at the end of every data block (the next follows 4 ms later
// with no leader of its own). A mark is read once its block has surely
// ended, unless its block was heard sound by then.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "cycle_lengths.h"
#include "cycle_sequence.h"
#include "heard_block.h"
#include "kept_samples.h"
#include "sync_search.h"

namespace morlevix {

class SecondReading {
public:
    // Samples at `sample_rate`, processed `step` at a time, each processed
    // sample `seconds_per_step` long; the filters delay the processed
    // samples by `centre` and a chunk carries `history` over.
    SecondReading(double sample_rate, std::size_t step, double seconds_per_step, std::size_t centre,
                  std::size_t history);

    // The recording's samples as they come.
    void keep(const float* samples, std::size_t count) { kept_.keep(samples, count); }
    // A leader was marked.
    void leader_marked(const LeaderMark& mark);
    // The latest leader ended in a long silence that ended at `time`: a
    // block follows its leader at once, so its read would find no block
    // but the first after the silence, which the next leader brings.
    void leader_ended_in_silence(double time);
    // The block reader's block ended (its last crossing at `end`, its
    // cycles starting in `direction`, its marker byte at `marker_start`).
    void block_ended(const HeardBlock& heard, double end, int direction, double marker_start,
                     const CycleLengths& lengths);
    // Reads every mark whose block has surely ended by the processed sample
    // `newest`, into `blocks` (in the order of their times). `reading_since`
    // is where the block being read began, or negative.
    void read_due(std::int64_t newest, double reading_since, const CycleLengths& lengths,
                  std::vector<HeardBlock>& blocks);
    // The recording ended: every mark is due.
    void read_all(const CycleLengths& lengths, std::vector<HeardBlock>& blocks);

private:
    // Where a block may be read again from: a time (in filtered samples)
    // shortly before it, the direction its cycles start in, and the cycle
    // lengths learned there.
    struct Mark {
        double time = 0;
        int direction = 0;
        double short_cycle = 0;
        double long_cycle = 0;
        bool from_leader = false;  // a leader's, before any block was heard
        // The end of a data block: the next block follows a moment later
        // with no leader, and is read from here if nothing was heard there.
        bool after_block = false;
        // A leader's that ended in a silence, up to here: read only when the
        // first block after the silence was not heard sound.
        double silence_end = -1;
    };

    Mark block_mark(double time, int direction, const CycleLengths& lengths) const;
    void mark_end_of(const HeardBlock& block, double time, const Mark& read);
    bool heard_after(double time, const std::vector<HeardBlock>& blocks) const;
    bool needed(const Mark& mark, const std::vector<HeardBlock>& blocks) const;
    void read(const Mark& mark, const CycleLengths& lengths, std::vector<HeardBlock>& blocks);
    // After a data block: the next one, its first bytes lost, read back
    // from the end of the stretch `first` on (read `up` times finer than
    // kept) where the block after it starts.
    // `heard_at` is where the sync byte of a sound block read there
    // starts in the stretch, or negative.
    void read_from_its_end(const Mark& mark, const std::vector<float>& stretch, double first, double up,
                           const std::vector<SequenceCycle>& cycles, double heard_at, double short_cycle,
                           double long_cycle, const CycleLengths& lengths, std::vector<HeardBlock>& blocks);
    // A block's figures and time, from the cycles `from` to `to` of a
    // reading, its sync byte starting at `starts` in the stretch.
    void measure(HeardBlock& heard, const std::vector<SequenceCycle>& used, std::size_t from, std::size_t to,
                 double starts, double first, double up, const CycleLengths& lengths) const;

    double seconds_per_step_;
    double centre_;
    // How far after its mark a block surely ends, in processed samples.
    double span_;
    KeptSamples kept_;
    // The marks waiting for their blocks to end, and the latest leader's
    // two latest marks.
    std::deque<Mark> marks_;
    Mark leader_marks_[2];
};

}  // namespace morlevix
