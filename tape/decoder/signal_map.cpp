#include "signal_map.h"

#include <algorithm>

namespace morlevix {
namespace {

// Fewer cycles in a row than this are no tape's signal worth telling: the
// shortest block with its two marker bytes (hiss and echoes make short
// runs of cycles of about the right lengths, and now and then a few that
// alternate like a leader's).
constexpr std::size_t kFewestCycles = 48;
constexpr std::size_t kFewestLeaderCycles = 64;
// A run of other cycles this long between two pieces of leader is
// something else (a block, at the least), not a moment's noise.
constexpr std::size_t kSomethingElse = kFewestCycles;
// A leader gives way to its block at once: a run of this many other cycles
// (three bytes) starting within this many seconds of a leader's end is a
// block's signal (noise over a leader rarely keeps a bit's lengths so long).
constexpr std::size_t kSignalAfterLeader = 24;
constexpr double kLeaderGivesWay = 0.003;

}  // namespace

void SignalMap::close()
{
    if (!open_) return;
    open_ = false;
    HeardStretch stretch;
    stretch.start = std::max(0.0, start_ - delay_) * seconds_per_step_;
    stretch.end = std::max(0.0, end_ - delay_) * seconds_per_step_;
    stretch.leader = leader_;
    // A leader broken by a moment's noise or a dip goes on as one stretch,
    // however little of it follows the break; after anything else, one
    // that starts is another.
    const bool goes_on = !stretches_.empty() && stretches_.back().leader && leader_ && leader_last_ &&
                         stretch.start - stretches_.back().end < kLeaderBreakSeconds;
    if (!leader_ && leader_last_ && cycles_ >= kSignalAfterLeader && !stretches_.empty() &&
        stretch.start - stretches_.back().end < kLeaderGivesWay) {
        stretches_.back().into_signal = true;
        leader_last_ = false;
    }
    if (!leader_ && cycles_ >= kSomethingElse) leader_last_ = false;
    if (goes_on) {
        stretches_.back().end = stretch.end;
        return;
    }
    if (cycles_ < (leader_ ? kFewestLeaderCycles : kFewestCycles)) return;
    if (leader_) leader_last_ = true;
    stretches_.push_back(stretch);
}

}  // namespace morlevix
