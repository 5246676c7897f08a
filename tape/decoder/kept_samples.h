// The recording's own samples, kept for reading a block again: summed a
// few at a time to about 40 kHz (finer than the processed ones), in a ring
// long enough for the longest block at the slowest speed, and read back
// band-limited between the samples, as finely as a reading needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace morlevix {

class KeptSamples {
public:
    // Samples at `sample_rate`, processed `processing_step` at a time, each
    // processed sample `seconds_per_step` long. A stretch read back is
    // `span` processed samples long; `margin` more are kept behind it (the
    // filters' delay and the chunks around it).
    KeptSamples(double sample_rate, std::size_t processing_step, double seconds_per_step, double span,
                std::size_t margin);

    void keep(const float* samples, std::size_t count);

    // Kept samples to a processed one, and recording samples to a kept one.
    double per_processed() const { return per_processed_; }
    std::size_t step() const { return step_; }
    // The kept sample that covers the same samples of the recording as a
    // processed one, and back.
    double kept_position(double processed) const;
    double processed_position(double kept) const;

    // Whether the kept sample `first` can still be read back once `more`
    // processed samples have come after the newest.
    bool kept_later(double first, std::size_t more) const;
    // How many times finer than kept the samples are read back, so that
    // cycles are read at about 40 kHz at least.
    double fineness() const;
    // Where a stretch read back ends, before the longest block's span: after
    // `most` samples, or `silent_run` samples below `silent_below` (a
    // silence longer than any dropout inside a block) from `silence_after` on.
    struct StretchEnd {
        std::size_t most = static_cast<std::size_t>(-1);
        float silent_below = 0;
        std::size_t silent_run = 0;
        std::size_t silence_after = 0;
    };
    // The kept samples from `first` on, `up` times finer, without DC,
    // turned so that cycles in `direction` start rising; nothing when they
    // are no longer kept.
    std::vector<float> stretch(double first, double up, int direction, const StretchEnd& end) const;
    float at(std::int64_t index) const
    {
        // Places the ring has not reached yet hold silence.
        const std::size_t place = static_cast<std::size_t>(index) & mask_;
        return place < samples_.size() ? samples_[place] : 0.0f;
    }

private:
    double oldest_readable() const;

    std::size_t processing_step_;
    double seconds_per_step_;
    double span_;
    std::size_t step_;
    double per_processed_;
    std::vector<float> samples_;  // a ring of `mask_ + 1`, grown as samples come
    std::size_t mask_;
    std::size_t fill_ = 0;
    float sum_ = 0;
    std::int64_t count_ = 0;  // kept so far
};

}  // namespace morlevix
