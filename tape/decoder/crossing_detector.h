// The decoder's second stage: zero crossings of the filtered signal. A
// crossing counts once the signal has gone past a hysteresis that follows
// its level (and, while no block is being read, the level it had just
// before), so that noise and ringing in the silences make none; its time
// is interpolated between samples.
#pragma once

#include <cstddef>
#include <cstdint>

namespace morlevix {

// The two directions of a crossing.
inline constexpr int kRising = 0;
inline constexpr int kFalling = 1;
inline constexpr int kDirections = 2;

class CrossingDetector {
public:
    // What hears the crossings.
    class Listener {
    public:
        // A crossing counted, in `direction`, at `time` (in processed
        // samples). `peak` is the loudest sample before the filters since
        // the crossing before, gathered while a block is being read (else
        // 0). Returns whether a block is being read after it.
        virtual bool crossing(int direction, double time, float peak) = 0;
        // The loudest sample since the latest crossing, at the end of a
        // chunk while a block is being read.
        virtual void peak(float loudest) = 0;

    protected:
        ~Listener() = default;
    };

    // At `rate` processed samples per second.
    explicit CrossingDetector(double rate);

    // The `count` samples `filtered` (and the same `before` the filters),
    // the first of them at `position`; `reading` whether a block is being
    // read as they start.
    void detect(const float* before, const float* filtered, std::size_t count, std::int64_t position, bool reading,
                Listener& listener);

private:
    float level_ = 0;
    float level_rate_;
    float held_level_ = 0;  // the highest level of late, fading
    float held_level_decay_;
    float previous_ = 0;
    bool above_ = false;    // the last crossing counted went up
    double candidate_ = 0;  // the latest zero crossing, not yet counted
};

}  // namespace morlevix
