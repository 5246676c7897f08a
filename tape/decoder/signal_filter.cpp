#include "signal_filter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "cycle_lengths.h"
#include "leader_equalizer.h"

namespace morlevix {
namespace {

constexpr double kPi = 3.14159265358979323846;

// The samples are summed a few at a time down to about this rate.
constexpr double kProcessingRate = 14000.0;
// The band-pass around the two tones, and how long a stretch of signal it
// looks at (its taps cover this at the processing rate).
constexpr double kBandLow = 700.0;
constexpr double kBandHigh = 2900.0;
constexpr double kFilterSpan = 0.0013;
constexpr std::size_t kFewestTaps = 5;
constexpr double kHammingA = 0.54;
constexpr double kHammingB = 0.46;
// Outputs filtered together, held in registers.
constexpr std::size_t kOutputsAtOnce = 8;

// Eight outputs of the band-pass at once, as one vector of eight floats:
// each lane does the very sums one output does alone, so the outputs are
// the same bit for bit whatever the processor. Where the compiler and the
// system allow choosing when the program starts, a processor with AVX
// runs them as single instructions.
#if defined(__GNUC__)
using EightFloats = float __attribute__((vector_size(kOutputsAtOnce * sizeof(float))));
#if !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define MORLEVIX_AVX_WHERE_THERE_IS __attribute__((target_clones("avx", "default")))
#endif
#endif
#ifndef MORLEVIX_AVX_WHERE_THERE_IS
#define MORLEVIX_AVX_WHERE_THERE_IS
#endif

// A crossing is told at most this many processed samples after its time
// (its interpolated time may lie in the chunk before).
constexpr std::size_t kCrossingLate = 128;

// The channel is judged from this many leader periods. The processed
// samples kept for that: the longest leader stretch judged, at the slowest
// speed, and a chunk (a power of two, for the ring).
constexpr double kJudgedPeriods = 16;
constexpr std::size_t kRecentSamples = 4096;

// A linear-phase band-pass from `low` to `high` (fractions of the rate),
// Hamming-windowed, with no gain at all at DC.
std::vector<float> band_pass(double low, double high, std::size_t taps)
{
    std::vector<double> h(taps);
    const double middle = static_cast<double>(taps - 1) / 2;
    for (std::size_t k = 0; k < taps; ++k) {
        const double m = static_cast<double>(k) - middle;
        const double ideal = m == 0 ? 2 * (high - low)
                                    : (std::sin(2 * kPi * high * m) - std::sin(2 * kPi * low * m)) / (kPi * m);
        h[k] = ideal * (kHammingA - kHammingB * std::cos(2 * kPi * static_cast<double>(k) / static_cast<double>(taps - 1)));
    }
    double sum = 0;
    for (double v : h) sum += v;
    std::vector<float> result;
    for (double v : h) result.push_back(static_cast<float>(v - sum / static_cast<double>(taps)));
    return result;
}

// Outputs 0 to `count` of the symmetric filter `taps` over `in`, eight at
// a time, then each of the last few on its own: the two samples that share
// a tap are added first.
MORLEVIX_AVX_WHERE_THERE_IS
std::size_t symmetric_filter(const float* taps, std::size_t size, const float* in, float* out, std::size_t count)
{
    const std::size_t half = size / 2;
    const float middle = taps[half];
    std::size_t i = 0;
#if defined(__GNUC__)
    for (; i + kOutputsAtOnce <= count; i += kOutputsAtOnce) {
        EightFloats sums, early, late;
        std::memcpy(&sums, in + i + half, sizeof sums);
        sums *= middle;
        for (std::size_t k = 0; k < half; ++k) {
            std::memcpy(&early, in + i + k, sizeof early);
            std::memcpy(&late, in + i + size - 1 - k, sizeof late);
            sums += taps[k] * (early + late);
        }
        std::memcpy(out + i, &sums, sizeof sums);
    }
#else
    for (; i + kOutputsAtOnce <= count; i += kOutputsAtOnce) {
        float sums[kOutputsAtOnce];
        for (std::size_t j = 0; j < kOutputsAtOnce; ++j) sums[j] = middle * in[i + half + j];
        for (std::size_t k = 0; k < half; ++k) {
            const float tap = taps[k];
            const float* early = in + i + k;
            const float* late = in + i + size - 1 - k;
            for (std::size_t j = 0; j < kOutputsAtOnce; ++j) sums[j] += tap * (early[j] + late[j]);
        }
        std::copy(sums, sums + kOutputsAtOnce, out + i);
    }
#endif
    return i;
}

// Outputs 0 to `count` of the filter `taps` over `in`, eight at a time.
MORLEVIX_AVX_WHERE_THERE_IS
std::size_t plain_filter(const float* taps, std::size_t size, const float* in, float* out, std::size_t count)
{
    std::size_t i = 0;
    for (; i + kOutputsAtOnce <= count; i += kOutputsAtOnce) {
#if defined(__GNUC__)
        EightFloats sums = {}, samples;
        for (std::size_t k = 0; k < size; ++k) {
            std::memcpy(&samples, in + i + k, sizeof samples);
            sums += taps[k] * samples;
        }
        std::memcpy(out + i, &sums, sizeof sums);
#else
        float sums[kOutputsAtOnce] = {};
        for (std::size_t k = 0; k < size; ++k)
            for (std::size_t j = 0; j < kOutputsAtOnce; ++j) sums[j] += taps[k] * in[i + k + j];
        std::copy(sums, sums + kOutputsAtOnce, out + i);
#endif
    }
    return i;
}

// Outputs `from` to `count` of the filter `taps` over `in`, each on its own.
void convolve_one_by_one(const std::vector<float>& taps, const float* in, float* out, std::size_t from, std::size_t count)
{
    for (std::size_t i = from; i < count; ++i) {
        float sum = 0;
        for (std::size_t k = 0; k < taps.size(); ++k) sum += taps[k] * in[i + k];
        out[i] = sum;
    }
}

#if defined(__SSE2__)
// Steps of three samples (44.1 and 48 kHz), four at a time: twelve samples
// parted into the first, second and third of each step, summed lane by
// lane in the order one step is summed alone.
float sum_steps_of_three(const float* in, std::size_t steps, float previous, float* out, std::size_t& done)
{
    __m128 sums_before = _mm_set1_ps(previous);
    std::size_t s = 0;
    for (; s + 4 <= steps; s += 4, in += 12) {
        const __m128 a = _mm_loadu_ps(in), b = _mm_loadu_ps(in + 4), c = _mm_loadu_ps(in + 8);
        const __m128 middle = _mm_shuffle_ps(b, c, _MM_SHUFFLE(1, 0, 3, 2));                      // 6 7 8 9
        const __m128 firsts = _mm_shuffle_ps(a, middle, _MM_SHUFFLE(3, 0, 3, 0));                 // 0 3 6 9
        const __m128 seconds = _mm_shuffle_ps(_mm_shuffle_ps(a, b, _MM_SHUFFLE(0, 0, 1, 1)),      // 1 1 4 4
                                              _mm_shuffle_ps(b, c, _MM_SHUFFLE(2, 2, 3, 3)),      // 7 7 10 10
                                              _MM_SHUFFLE(2, 0, 2, 0));                           // 1 4 7 10
        const __m128 thirds = _mm_shuffle_ps(_mm_shuffle_ps(a, b, _MM_SHUFFLE(1, 1, 2, 2)),       // 2 2 5 5
                                             _mm_shuffle_ps(c, c, _MM_SHUFFLE(3, 3, 0, 0)),       // 8 8 11 11
                                             _MM_SHUFFLE(2, 0, 2, 0));                            // 2 5 8 11
        const __m128 sums = _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_setzero_ps(), firsts), seconds), thirds);
        // Each step's sum with the one before it: the last of the four before, then these.
        const __m128 before = _mm_move_ss(_mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(sums), 4)),
                                          _mm_shuffle_ps(sums_before, sums_before, _MM_SHUFFLE(3, 3, 3, 3)));
        _mm_storeu_ps(out + s, _mm_add_ps(sums, before));
        sums_before = sums;
    }
    done = s;
    return s > 0 ? _mm_cvtss_f32(_mm_shuffle_ps(sums_before, sums_before, _MM_SHUFFLE(3, 3, 3, 3))) : previous;
}
#endif

// `steps` steps of `step` samples summed (the step is known when compiling
// for the common rates, 0 otherwise), each added to the step before's sum
// into `out`; gives the last step's sum.
template <std::size_t Step>
float sum_steps(const float* in, std::size_t steps, std::size_t step, float previous, float* out)
{
    const std::size_t size = Step != 0 ? Step : step;
    for (std::size_t s = 0; s < steps; ++s, in += size) {
        float sum = 0;
        for (std::size_t k = 0; k < size; ++k) sum += in[k];
        out[s] = sum + previous;
        previous = sum;
    }
    return previous;
}

}  // namespace

SignalFilter::SignalFilter(double sample_rate)
{
    step_ = std::max<std::size_t>(1, static_cast<std::size_t>(sample_rate / kProcessingRate));
    const double rate = sample_rate / static_cast<double>(step_);
    seconds_per_step_ = 1.0 / rate;

    const auto span = static_cast<std::size_t>(std::lround(kFilterSpan * rate));
    taps_ = band_pass(kBandLow / rate, kBandHigh / rate, std::max(kFewestTaps, span | 1));
    // The channel's inverse spans two leader periods, at the slowest speed.
    const double longest_period = (kNominalShortCycle + kNominalLongCycle) / kSlowestSpeed * rate / kSampleRate;
    half_span_ = static_cast<std::size_t>(std::ceil(longest_period));
    history_ = taps_.size() - 1 + 2 * half_span_;
    centre_ = history_ / 2;
    input_.assign(history_ + kChunk, 0.0f);
    output_.assign(kChunk, 0.0f);
    recent_.assign(kRecentSamples, 0.0f);
    filled_ = history_;
}

std::size_t SignalFilter::sum_down(const float* samples, std::size_t count)
{
    const std::size_t capacity = history_ + kChunk;
    std::size_t i = 0;
    while (i < count && filled_ < capacity) {
        if (step_fill_ == 0 && count - i >= step_) {
            // Whole steps, as many as the input and the chunk allow. Each
            // processed sample is the sum of this step's samples and the
            // last step's: a triangle that keeps hiss above the new rate
            // from folding into the signal's band (at the lowest rates,
            // where a step is one sample, every sample is kept as it is).
            const std::size_t steps = std::min((count - i) / step_, capacity - filled_);
            float* out = input_.data() + filled_;
            const float* in = samples + i;
            switch (step_) {
            case 1: std::copy(in, in + steps, out); break;
            case 2: previous_step_sum_ = sum_steps<2>(in, steps, step_, previous_step_sum_, out); break;
            case 3: {  // 44.1 and 48 kHz
                std::size_t done = 0;
#if defined(__SSE2__)
                previous_step_sum_ = sum_steps_of_three(in, steps, previous_step_sum_, out, done);
#endif
                previous_step_sum_ = sum_steps<3>(in + 3 * done, steps - done, step_, previous_step_sum_, out + done);
                break;
            }
            default: previous_step_sum_ = sum_steps<0>(in, steps, step_, previous_step_sum_, out); break;
            }
            filled_ += steps;
            i += steps * step_;
        } else {
            // A step that runs across two calls.
            step_sum_ += samples[i++];
            if (++step_fill_ == step_) {
                input_[filled_++] = step_ == 1 ? step_sum_ : step_sum_ + previous_step_sum_;
                previous_step_sum_ = step_sum_;
                step_sum_ = 0;
                step_fill_ = 0;
            }
        }
    }
    return i;
}

void SignalFilter::filter()
{
    // The new samples, as they came, for judging the channel at a leader.
    const std::size_t count = pending();
    const auto at = static_cast<std::size_t>(position_) % kRecentSamples;
    const std::size_t first = std::min(count, kRecentSamples - at);  // up to the ring's end, then from its start
    const float* in = input_.data() + history_;
    std::copy(in, in + first, recent_.data() + at);
    std::copy(in + first, in + count, recent_.data());
    std::size_t split = count;
    if (switch_pending_ && switch_at_ < position_ + static_cast<std::int64_t>(count))
        split = static_cast<std::size_t>(std::max<std::int64_t>(0, switch_at_ - position_));
    filter_part(0, split);
    if (split < count) {
        equalizing_ = next_equalizing_;
        if (equalizing_) shaped_taps_ = next_shaped_taps_;
        switch_pending_ = false;
        filter_part(split, count);
    }
}

void SignalFilter::next_chunk()
{
    // The last samples stay for the next chunk's first outputs.
    const std::size_t count = pending();
    std::copy(input_.begin() + static_cast<std::ptrdiff_t>(count), input_.begin() + static_cast<std::ptrdiff_t>(filled_),
              input_.begin());
    filled_ = history_;
    position_ += static_cast<std::int64_t>(count);
}

void SignalFilter::filter_part(std::size_t from, std::size_t to)
{
    if (to <= from) return;
    float* out = output_.data() + from;
    const std::size_t count = to - from;
    if (equalizing_) {
        const float* in = input_.data() + from;
        const std::size_t done = plain_filter(shaped_taps_.data(), shaped_taps_.size(), in, out, count);
        convolve_one_by_one(shaped_taps_, in, out, done, count);
        return;
    }
    // It starts `half_span_` in, to keep the same centre as the shaped filter.
    const float* in = input_.data() + half_span_ + from;
    const std::size_t done = symmetric_filter(taps_.data(), taps_.size(), in, out, count);
    convolve_one_by_one(taps_, in, out, done, count);
}

void SignalFilter::judge_channel_at(double time, double period)
{
    // The samples before the filters that the output at `time` came from.
    const auto end = static_cast<std::int64_t>(time) - static_cast<std::int64_t>(centre_);
    const auto length = static_cast<std::int64_t>(kJudgedPeriods * period);
    if (end - length < 0 || length > static_cast<std::int64_t>(kRecentSamples - kChunk - history_)) return;
    std::vector<float> stretch(static_cast<std::size_t>(length));
    for (std::int64_t n = 0; n < length; ++n)
        stretch[static_cast<std::size_t>(n)] = recent_[static_cast<std::size_t>(end - length + n) % kRecentSamples];
    const ChannelVerdict verdict = judge_channel(stretch.data(), stretch.size(), period, half_span_);
    if (verdict.kind != ChannelVerdict::flat && verdict.kind != ChannelVerdict::distorted) return;
    // The chunk that holds `time` is filtered already, and is no longer
    // than a chunk (a crossing is told a little after its time): the new
    // filter starts past its end however it was cut.
    switch_pending_ = true;
    switch_at_ = static_cast<std::int64_t>(std::ceil(time)) + static_cast<std::int64_t>(kChunk + kCrossingLate);
    next_equalizing_ = verdict.kind == ChannelVerdict::distorted;
    if (!next_equalizing_) return;
    // The band-pass after the channel's inverse, as one filter.
    next_shaped_taps_.assign(taps_.size() + verdict.taps.size() - 1, 0.0f);
    for (std::size_t i = 0; i < taps_.size(); ++i)
        for (std::size_t j = 0; j < verdict.taps.size(); ++j) next_shaped_taps_[i + j] += taps_[i] * verdict.taps[j];
}

}  // namespace morlevix
