#include "sync_search.h"

#include <algorithm>
#include <cmath>

namespace morlevix {
namespace {

// While searching, a cycle this close to the line between short and long
// (in short cycles) is neither: the other direction's crossings time half
// a short and half a long cycle, right on that line.
constexpr double kUndecided = 0.1;
// While searching, a cycle must also lie this close to the learned length
// of its kind: the crossings of hiss in a silence fall anywhere, and must
// not make a sync byte.
constexpr double kSearchTolerance = 0.3;
constexpr double kSearchCentreLow = 0.3;
// A leader: cycles alternately shorter and longer, the short ones less than
// this part of the long ones and the long ones less than this many short
// ones, each within these bounds (in nominal short cycles).
constexpr double kLeaderMostShort = 0.8;
constexpr double kLeaderMostLong = 2.6;
constexpr double kLeaderShortestCycle = 0.35;
constexpr double kLeaderLongestCycle = 3.2;
// The bits of a marker and sync byte that must be heard: the first two may
// be lost to the filter's onset.
constexpr int kSyncBitsNeeded = 14;
// A silence this long (in long cycles) after a leader is no moment's
// dropout: it is the gap before the next block's leader.
constexpr double kSilenceAfterLeader = 320;
// The channel is judged once a leader has gone on for this many cycles,
// and again every so many cycles after.
constexpr int kLeaderCyclesBeforeJudging = 48;
constexpr int kLeaderCyclesBetweenJudgings = 256;

}  // namespace

void SyncSearch::learn_from_leader(int direction, double end, double period, CycleLengths& lengths, Heard& heard)
{
    Track& track = tracks_[direction];
    if (track.leader_run > 0 && period > kSilenceAfterLeader * lengths.long_cycle()) heard.leader_ended_in_silence = true;
    std::copy(track.periods + 1, track.periods + kLeaderCycles, track.periods);
    track.periods[kLeaderCycles - 1] = period;
    if (track.periods_seen < kLeaderCycles) {
        ++track.periods_seen;
        return;
    }
    const bool first_short = track.periods[0] < track.periods[1];
    double shorts = 0, longs = 0;
    for (int i = 0; i < kLeaderCycles; ++i) {
        const double p = track.periods[i];
        const bool is_short = (i % 2 == 0) == first_short;
        if (p < kLeaderShortestCycle * nominal_short_ || p > kLeaderLongestCycle * nominal_short_ ||
            (i > 0 && (is_short ? p >= track.periods[i - 1] : p <= track.periods[i - 1]))) {
            track.leader_run = 0;
            return;
        }
        (is_short ? shorts : longs) += p;
    }
    if (shorts >= kLeaderMostShort * longs || longs >= kLeaderMostLong * shorts) {
        track.leader_run = 0;
        return;
    }
    constexpr double kHalf = kLeaderCycles / 2;
    ++track.leader_run;
    // The direction whose cycles have shown the leader longer is the one
    // its cycles start in (through echoes, both may show one for a while).
    if (track.leader_run % kMarkEvery == 0 && tracks_[1 - direction].leader_run <= track.leader_run) {
        heard.marked = true;
        heard.mark = {end, direction, lengths.short_cycle(), lengths.long_cycle(), track.leader_run};
    }
    if (track.leader_run == kLeaderCyclesBeforeJudging ||
        (track.leader_run > kLeaderCyclesBeforeJudging &&
         (track.leader_run - kLeaderCyclesBeforeJudging) % kLeaderCyclesBetweenJudgings == 0))
        heard.judge_period = (shorts + longs) / kHalf;
    lengths.learn_from_leader(shorts / kHalf, longs / kHalf);
}

SyncSearch::Heard SyncSearch::cycle(int direction, double start, double end, double other, CycleLengths& lengths)
{
    Heard heard;
    const double period = end - start;
    learn_from_leader(direction, end, period, lengths, heard);
    Track& track = tracks_[direction];
    int bit = lengths.classify(period);
    if (bit >= 0) {
        const double short_cycle = lengths.short_cycle(), long_cycle = lengths.long_cycle();
        const double expected = bit != 0 ? short_cycle : long_cycle;
        const bool undecided = std::fabs(period - (short_cycle + long_cycle) / 2) < kUndecided * short_cycle;
        // The crossing the other way lies in the middle of a real cycle.
        const double centre = (other - start) / period;
        const bool centred = centre > kSearchCentreLow && centre < 1 - kSearchCentreLow;
        if (undecided || !centred || std::fabs(period - expected) > kSearchTolerance * expected) bit = -1;
    }
    if (bit < 0) {
        track.window = 0;
        track.valid_run = 0;
        return heard;
    }
    track.window = (track.window >> 1) | static_cast<std::uint32_t>(bit) << (kBitsInSync - 1);
    std::copy(track.bit_starts + 1, track.bit_starts + kBitsInSync, track.bit_starts);
    track.bit_starts[kBitsInSync - 1] = start;
    ++track.valid_run;
    if (track.valid_run >= kSyncBitsNeeded && (track.window & kSyncMask) == (kSyncWindow & kSyncMask)) {
        heard.sync = true;
        heard.sync_start = track.bit_starts[kBitsPerByte];
        heard.marker_start = track.bit_starts[0];
        for (auto& t : tracks_) {
            t.window = 0;
            t.valid_run = 0;
        }
    }
    return heard;
}

}  // namespace morlevix
