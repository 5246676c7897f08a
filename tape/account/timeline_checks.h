// What a recording's timeline says of its files: the pauses, leaders and
// tape signal between their blocks, where the format puts no block, and
// outside the files the leaders that no block follows.
//
// Between two blocks of a file lies only what the format puts there: after
// a data block, a moment's silence; after a header, or before every block
// of a file whose gap flag is 0xFF, a gap and the next block's leader,
// which ends where that block starts. Anything longer, another leader, or
// signal that no block covers, held blocks that were lost. Writers differ
// in how long their pauses and leaders are: a recording's own are learned
// from it, and a leader that gives way to its block is that block's.
#pragma once

#include <cstddef>

#include "heard_tape.h"

namespace morlevix {

class TimelineChecks {
public:
    // Learns from the recording the pauses its writer leaves.
    TimelineChecks(const HeardTape& tape, const TapeFiles& files);

    // Blocks lost between the file's blocks, said as `name`'s.
    void check_file(const FileBlocks& file, const Said& name, TapeAccount& account);
    // Outside the files (before the first header, between a file's end
    // block and the next header, after the last), a leader brings a file's
    // header at once. One that no block follows held a file that was lost:
    // the recording stopped inside it, or a dropout took the header after
    // it. Where a block with no header before it comes before or after the
    // leader, that block's problem says it.
    void check_leaders(const TapeFiles& files, TapeAccount& account) const;
    // Tape signal that no block covers, leaders aside (said on lines of
    // their own, not as problems).
    void find_unread(TapeAccount& account) const;

private:
    void learn_pauses(const TapeFiles& files);
    bool check_between(std::size_t before, std::size_t after, bool leader_led, std::size_t leaders_expected,
                       const Said& name, TapeAccount& account);
    void lose(double start, double end, std::size_t count, bool signal, const Said& name, TapeAccount& account) const;
    bool signal_between(double start, double end) const;
    bool leader_between(double start, double end) const;
    // The leader heard last between `start` and block `b`, where it gives
    // way to that block; else null.
    const HeardStretch* answering_leader(double start, std::size_t b) const;
    // The blocks `excess` seconds could hold, each with `between` seconds
    // before it (by default the pause between data blocks).
    std::size_t blocks_in(double excess, double speed, double between = -1) const;

    const HeardTape& tape_;
    double plain_pause_ = -1;  // learned, in seconds at the nominal speed; negative: not learned
    double header_gap_ = 0;    // learned after headers and end blocks, in seconds at the nominal speed
    const FileBlocks* file_ = nullptr;  // being checked
};

// How many blocks a stretch lost, as the lines say it: "2 blocs perdus".
Said lost_blocks_text(std::size_t count);

}  // namespace morlevix
