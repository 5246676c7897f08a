#include "cycle_lengths.h"


namespace morlevix {
namespace {

// How fast the learned lengths follow each leader.
constexpr double kLeaderLearningRate = 0.05;

}  // namespace

CycleLengths::CycleLengths(double rate)
    : short_cycle_(kNominalShortCycle * rate / kSampleRate),
      long_cycle_(kNominalLongCycle * rate / kSampleRate),
      nominal_short_(short_cycle_)
{
}

void CycleLengths::learn_from_leader(double shorts, double longs)
{
    short_cycle_ += kLeaderLearningRate * (shorts - short_cycle_);
    long_cycle_ += kLeaderLearningRate * (longs - long_cycle_);
}

}  // namespace morlevix
