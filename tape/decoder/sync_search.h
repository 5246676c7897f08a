// The decoder's search between blocks, cycle by cycle in each direction:
// cycles are timed from crossing to crossing in one direction, which no
// stray crossing can pair wrongly, and in both directions at once: only
// the direction in which every cycle starts shows the alternating short
// and long cycles of a leader or marker byte, so the recording's polarity
// chooses itself. A leader (its 0x55 bytes alternate the two cycles)
// teaches the cycle lengths, shows the channel, and is marked for reading
// its block again; a block starts at a sync byte after a marker byte.
#pragma once

#include <cstdint>

#include "crossing_detector.h"
#include "cycle_lengths.h"
#include "tape/image/cassette_format.h"

namespace morlevix {

// A block starts with a marker byte 0x55 and the sync byte 0x3C. The first
// two bits of the marker may be lost to the filter's onset after a silence.
inline constexpr std::uint32_t kSyncWindow = kMarkerByte | kSyncByte << kBitsPerByte;
inline constexpr std::uint32_t kSyncMask = 0xFFFC;

// A leader is marked every so many of its cycles.
inline constexpr int kMarkEvery = 16;

// A mark on a leader, where its block may be read again from.
struct LeaderMark {
    double time = 0;   // the crossing that ended its latest cycle
    int direction = 0;  // the direction its cycles start in
    double short_cycle = 0;  // the cycle lengths learned there
    double long_cycle = 0;
    int leader_run = 0;  // cycles of leader so far
};

class SyncSearch {
public:
    // What one cycle showed.
    struct Heard {
        bool marked = false;  // `mark` is a leader's mark
        LeaderMark mark;
        // The leader heard last ended in a long silence: no block of its
        // own follows it (a block follows its leader at once).
        bool leader_ended_in_silence = false;
        double judge_period = 0;  // > 0: judge the channel at the cycle's end, a leader period this long
        bool sync = false;        // a block starts: its sync byte at `sync_start`, its marker at `marker_start`
        double sync_start = 0;
        double marker_start = 0;
    };

    // At a nominal short cycle of `nominal_short` processed samples.
    explicit SyncSearch(double nominal_short) : nominal_short_(nominal_short) {}

    // A cycle in `direction` from the crossing at `start` to the one at
    // `end`, while no block is being read; `other` is the latest crossing
    // the other way. The lengths learn from a leader.
    Heard cycle(int direction, double start, double end, double other, CycleLengths& lengths);
    // The latest cycles of either direction make a leader.
    bool in_leader() const { return tracks_[kRising].leader_run > 0 || tracks_[kFalling].leader_run > 0; }

private:
    static constexpr int kBitsInSync = 16;   // a marker byte and the sync byte
    static constexpr int kLeaderCycles = 8;  // cycles that show a leader

    // The cycles of one direction while searching.
    struct Track {
        std::uint32_t window = 0;  // the latest bits, newest highest
        int valid_run = 0;         // cycles in a row of a bit's length
        double bit_starts[kBitsInSync] = {};  // when the latest bits began, newest last
        double periods[kLeaderCycles] = {};   // the latest cycles, newest last
        int periods_seen = 0;
        int leader_run = 0;  // cycles in a row that looked like a leader
    };

    void learn_from_leader(int direction, double end, double period, CycleLengths& lengths, Heard& heard);

    double nominal_short_;
    Track tracks_[kDirections];
};

}  // namespace morlevix
