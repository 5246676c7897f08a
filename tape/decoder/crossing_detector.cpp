#include "crossing_detector.h"

#include <algorithm>
#include <cmath>

namespace morlevix {
namespace {

// The level is the signal's mean magnitude over about 10 ms; a crossing
// counts once the signal has gone this far past zero on the other side.
constexpr double kLevelTimeConstant = 0.010;
constexpr float kHysteresis = 0.2f;
// While searching, the threshold is at least this part of the highest level
// of the last few tenths of a second.
constexpr float kSilenceGate = 0.3f;
constexpr double kLevelHoldTime = 0.3;

}  // namespace

CrossingDetector::CrossingDetector(double rate)
    : level_rate_(static_cast<float>(1.0 - std::exp(-1.0 / (kLevelTimeConstant * rate)))),
      held_level_decay_(static_cast<float>(std::exp(-1.0 / (kLevelHoldTime * rate))))
{
}

void CrossingDetector::detect(const float* before, const float* filtered, std::size_t count, std::int64_t position,
                              bool reading, Listener& listener)
{
    // The state lives in locals for the length of the chunk.
    float level = level_;
    float previous = previous_;
    bool above = above_;
    double candidate = candidate_;
    const float rate = level_rate_;
    float held = held_level_;
    const float hold = held_level_decay_;
    // The loudest sample before the filters from `peak_from` on, while a
    // block is read: found only at a crossing, over the samples since.
    std::size_t peak_from = 0;
    const auto loudest = [&](std::size_t to) {
        float peak = 0;
        if (reading)
            for (std::size_t k = peak_from; k < to; ++k) peak = std::max(peak, std::fabs(before[k]));
        peak_from = to;
        return peak;
    };
    for (std::size_t n = 0; n < count; ++n) {
        const float y = filtered[n];
        level += rate * (std::fabs(y) - level);
        held = std::max(level, held * hold);
        // While searching, hiss in a silence after a signal stays under the
        // threshold: it is a part of the level the signal had just before.
        const float threshold = std::max(kHysteresis * level, reading ? 0.0f : kSilenceGate * held);
        if (above) {
            if (previous >= 0 && y < 0)
                candidate = static_cast<double>(position + static_cast<std::int64_t>(n)) - 1 + previous / (previous - y);
            if (y < -threshold) {
                above = false;
                reading = listener.crossing(kFalling, candidate, loudest(n + 1));
            }
        } else {
            if (previous < 0 && y >= 0)
                candidate = static_cast<double>(position + static_cast<std::int64_t>(n)) - 1 + previous / (previous - y);
            if (y > threshold) {
                above = true;
                reading = listener.crossing(kRising, candidate, loudest(n + 1));
            }
        }
        previous = y;
    }
    if (reading) listener.peak(loudest(count));
    level_ = level;
    held_level_ = held;
    previous_ = previous;
    above_ = above;
    candidate_ = candidate;
}

}  // namespace morlevix
