// The decoder's first stage: the recording's samples summed a few at a
// time down to about 14 kHz, then a linear-phase band-pass around the
// signal's two tones (1,225 and 2,450 Hz) that takes away DC, rumble and
// hiss; linear phase keeps every crossing where it was, whatever the cycles
// around it. Where a leader shows that the channel takes the short cycles
// away (a steep low-pass, the notch of a head out of azimuth), a filter
// that undoes it is folded into the band-pass until a leader shows the
// channel flat.
//
// The samples go through in chunks: summed into the chunk until it is full
// (or the samples given run out), then filtered at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace morlevix {

class SignalFilter {
public:
    // Processed samples filtered at a time.
    static constexpr std::size_t kChunk = 1024;

    explicit SignalFilter(double sample_rate);

    // The recording's samples in one processed sample.
    std::size_t step() const { return step_; }
    double seconds_per_step() const { return seconds_per_step_; }
    // The filters' delay, in processed samples: an output stands for the
    // input this many samples before it.
    std::size_t centre() const { return centre_; }
    // The processed samples a chunk carries over from the one before.
    std::size_t history() const { return history_; }

    // Sums samples into the chunk, a step at a time, until the chunk is
    // full or they run out; how many it took.
    std::size_t sum_down(const float* samples, std::size_t count);
    bool full() const { return filled_ == history_ + kChunk; }
    // Processed samples in the chunk that are not filtered yet.
    std::size_t pending() const { return filled_ - history_; }

    // Filters the pending samples. Then `output()[n]`, for n below
    // `pending()`, is the filtered sample at `position() + n`, and
    // `before()[n]` the same sample before the filters.
    void filter();
    const float* output() const { return output_.data(); }
    const float* before() const { return input_.data() + centre_; }
    // The processed samples of the chunks before this one.
    std::int64_t position() const { return position_; }
    // The chunk is done with: the next one starts.
    void next_chunk();

    // The band-pass's taps, symmetric about the middle one.
    const std::vector<float>& taps() const { return taps_; }

    // The channel judged from the leader whose period (a short and a long
    // cycle) was `period` up to the output at `time`: its inverse joins the
    // band-pass when it takes the short cycles away, and leaves it when it
    // is flat. It does so a chunk's length after `time`, wherever the
    // chunks happen to begin: the output never depends on how the samples
    // arrived.
    void judge_channel_at(double time, double period);

private:
    // Filters the pending samples from `from` to `to` with the filter of
    // the moment.
    void filter_part(std::size_t from, std::size_t to);

    double seconds_per_step_;
    // Summing the samples down to the processing rate.
    std::size_t step_;
    std::size_t step_fill_ = 0;
    float step_sum_ = 0;
    float previous_step_sum_ = 0;
    // The band-pass: taps, and a chunk of processed samples they run over,
    // after the last `history_` of the chunk before. Where the channel needs
    // undoing, the band-pass and the channel's inverse make one filter,
    // longer by `2 * half_span_` and centred on the same sample.
    std::vector<float> taps_;
    std::vector<float> shaped_taps_;
    bool equalizing_ = false;
    // A judged channel's filter, waiting for its sample (`switch_at_`, in
    // processed samples) to come.
    bool switch_pending_ = false;
    std::int64_t switch_at_ = 0;
    bool next_equalizing_ = false;
    std::vector<float> next_shaped_taps_;
    std::size_t half_span_;
    std::vector<float> input_;
    std::vector<float> output_;
    std::size_t history_;
    std::size_t centre_;
    std::size_t filled_;  // of input_
    std::int64_t position_ = 0;
    // The latest processed samples before any filter, for judging the
    // channel from a leader: a ring.
    std::vector<float> recent_;
};

}  // namespace morlevix
