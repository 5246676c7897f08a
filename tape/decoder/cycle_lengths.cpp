#include "cycle_lengths.h"

#include <algorithm>
#include <cmath>

namespace morlevix {
namespace {

// How fast the learned lengths follow each cycle of a block, and each
// leader.
constexpr double kLearningRate = 1.0 / 16;
constexpr double kLeaderLearningRate = 0.05;

}  // namespace

CycleLengths::CycleLengths(double rate)
    : short_cycle_(kNominalShortCycle * rate / kSampleRate),
      long_cycle_(kNominalLongCycle * rate / kSampleRate),
      nominal_short_(short_cycle_)
{
}

void CycleLengths::learn(int bit, double period)
{
    double& cycle = bit != 0 ? short_cycle_ : long_cycle_;
    cycle += kLearningRate * (period - cycle);
    const double nominal = bit != 0 ? nominal_short_ : 2 * nominal_short_;
    cycle = std::clamp(cycle, kSlowestSpeed * nominal, kFastestSpeed * nominal);
}

void CycleLengths::learn_from_leader(double shorts, double longs)
{
    short_cycle_ += kLeaderLearningRate * (shorts - short_cycle_);
    long_cycle_ += kLeaderLearningRate * (longs - long_cycle_);
}

double CycleLengths::margin_of(double period) const
{
    const double line = (short_cycle_ + long_cycle_) / 2;
    const double half_gap = (long_cycle_ - short_cycle_) / 2;
    return std::clamp(std::fabs(period - line) / half_gap, 0.0, 1.0);
}

}  // namespace morlevix
