// The two cycle lengths of the tape as it is heard, in processed samples:
// learned from each leader (its 0x55 bytes alternate them) and followed
// cycle by cycle through every block, so that a tape that runs fast, slow
// or wobbles is followed. Every stage that tells a short cycle from a long
// one asks here.
#pragma once

#include <algorithm>
#include <cmath>

#include "tape/image/cassette_format.h"

namespace morlevix {

// How far from nominal a tape may run (its speed, times nominal).
inline constexpr double kSlowestSpeed = 0.7;
inline constexpr double kFastestSpeed = 1.4;

// Cycle lengths in samples of the WAV files we write.
inline constexpr double kNominalShortCycle = 2.0 * kOneBitHalfCycle;
inline constexpr double kNominalLongCycle = 2.0 * kZeroBitHalfCycle;

class CycleLengths {
public:
    // At `rate` processed samples per second.
    explicit CycleLengths(double rate);

    double short_cycle() const { return short_cycle_; }
    double long_cycle() const { return long_cycle_; }
    // A short cycle at the nominal speed.
    double nominal_short() const { return nominal_short_; }

    // 1 for a short cycle, 0 for a long one, -1 for neither: a glitch, or
    // a silence or dropout.
    int classify(double period) const
    {
        if (period < kShortestCycle * short_cycle_ || period > kLongestCycle * long_cycle_) return -1;
        return period < (short_cycle_ + long_cycle_) / 2 ? 1 : 0;
    }
    // Within a few tenths of the learned length of a short or a long cycle,
    // as the tape's cycles are, and the crossings of noise mostly are not.
    bool near_a_bit(double period) const
    {
        return std::fabs(period - short_cycle_) < kNearABit * short_cycle_ ||
               std::fabs(period - long_cycle_) < kNearABit * long_cycle_;
    }
    // Shorter than this, a cycle is a glitch.
    double shortest() const { return kShortestCycle * short_cycle_; }
    // The cycle of `bit` just read moves its kind's length a little (these
    // three run for every cycle of a block: kept inline).
    void learn(int bit, double period)
    {
        double& cycle = bit != 0 ? short_cycle_ : long_cycle_;
        cycle += kLearningRate * (period - cycle);
        const double nominal = bit != 0 ? nominal_short_ : 2 * nominal_short_;
        cycle = std::clamp(cycle, kSlowestSpeed * nominal, kFastestSpeed * nominal);
    }
    // A stretch of leader whose short and long cycles averaged these.
    void learn_from_leader(double shorts, double longs);
    // How far a cycle is from the line between a short and a long one: 1
    // when it has exactly its learned length, 0 on the line.
    double margin_of(double period) const
    {
        const double line = (short_cycle_ + long_cycle_) / 2;
        const double half_gap = (long_cycle_ - short_cycle_) / 2;
        return std::clamp(std::fabs(period - line) / half_gap, 0.0, 1.0);
    }

private:
    // A cycle shorter than this part of a short cycle is a glitch; one longer
    // than this many long cycles is a silence or a dropout.
    static constexpr double kShortestCycle = 0.55;
    static constexpr double kLongestCycle = 1.6;
    static constexpr double kNearABit = 0.3;
    // How fast the learned lengths follow each cycle of a block.
    static constexpr double kLearningRate = 1.0 / 16;

    double short_cycle_;
    double long_cycle_;
    double nominal_short_;
};

}  // namespace morlevix
