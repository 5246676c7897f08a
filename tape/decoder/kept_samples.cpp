#include "kept_samples.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "crossing_detector.h"
#include "signal_filter.h"

namespace morlevix {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Samples are kept at about this rate, and read back at it at least:
// slower recordings are interpolated up to it.
constexpr double kKeptRate = 40000.0;
// The lobes of the interpolation kernel on either side.
constexpr int kLanczosLobes = 4;
// Below this (Hz), DC and rumble are taken away when read back.
constexpr double kHighPass = 20.0;
// The newest samples are read back only this far: the interpolation reaches past them.
constexpr double kNewestUnread = 3;

}  // namespace

KeptSamples::KeptSamples(double sample_rate, std::size_t processing_step, double seconds_per_step, double span,
                         std::size_t margin)
    : processing_step_(processing_step), seconds_per_step_(seconds_per_step), span_(span)
{
    step_ = std::max<std::size_t>(1, static_cast<std::size_t>(sample_rate / kKeptRate));
    per_processed_ = static_cast<double>(processing_step_) / static_cast<double>(step_);
    std::size_t kept = 1;
    while (static_cast<double>(kept) < (span_ + static_cast<double>(margin)) * per_processed_) kept *= 2;
    mask_ = kept - 1;
}

void KeptSamples::keep(const float* samples, std::size_t count)
{
    // The ring grows to its full length only as a recording reaches it: a
    // short one costs no more than it holds.
    const std::size_t ring = mask_ + 1;
    if (samples_.size() < ring) {
        const std::size_t needed = std::min(ring, static_cast<std::size_t>(count_) + count / step_ + 1);
        if (needed > samples_.size()) samples_.resize(std::min(ring, std::max(needed, 2 * samples_.size())), 0.0f);
    }
    if (step_ == 1) {  // copied in pieces up to the ring's end
        while (count > 0) {
            const std::size_t at = static_cast<std::size_t>(count_) & mask_;
            const std::size_t piece = std::min(count, ring - at);
            std::copy(samples, samples + piece, samples_.data() + at);
            count_ += static_cast<std::int64_t>(piece);
            samples += piece;
            count -= piece;
        }
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        sum_ += samples[i];
        if (++fill_ < step_) continue;
        samples_[static_cast<std::size_t>(count_++) & mask_] = sum_;
        sum_ = 0;
        fill_ = 0;
    }
}

// A processed sample (before the filters) and a kept one cover the same
// samples of the recording: a processed one is two steps, centred half a
// sample before its own step starts (one sample, at the lowest rates).
double KeptSamples::kept_position(double processed) const
{
    const double sample = processed * static_cast<double>(processing_step_) - (processing_step_ == 1 ? 0.0 : 0.5);
    return (sample - static_cast<double>(step_ - 1) / 2) / static_cast<double>(step_);
}

double KeptSamples::processed_position(double kept) const
{
    const double sample = kept * static_cast<double>(step_) + static_cast<double>(step_ - 1) / 2;
    return (sample + (processing_step_ == 1 ? 0.0 : 0.5)) / static_cast<double>(processing_step_);
}

double KeptSamples::oldest_readable() const
{
    return static_cast<double>(count_) - static_cast<double>(mask_ + 1) +
           static_cast<double>(2 * SignalFilter::kChunk) * per_processed_;
}

bool KeptSamples::kept_later(double first, std::size_t more) const
{
    return first - 1 >= oldest_readable() + static_cast<double>(more) * per_processed_;
}

double KeptSamples::fineness() const
{
    return std::max(1.0, std::ceil(kKeptRate * seconds_per_step_ / per_processed_));
}

std::vector<float> KeptSamples::stretch(double first, double up, int direction, const StretchEnd& end) const
{
    const double last = std::min(static_cast<double>(count_) - kNewestUnread, first + span_ * per_processed_);
    if (first - 1 < oldest_readable() || last <= first) return {};
    std::vector<float> stretch(std::min(end.most, static_cast<std::size_t>((last - first) * up)));
    const float sign = direction == kRising ? 1.0f : -1.0f;
    const double kept_seconds = seconds_per_step_ / per_processed_;
    const auto keep_above = static_cast<float>(std::exp(-2 * kPi * kHighPass * kept_seconds / up));
    // Lanczos: the band-limited signal between the samples, which the two
    // tones near a low rate's Nyquist frequency need. The `up` outputs
    // between two kept samples each fall at their own fraction of the way,
    // the same all along: their weights are reckoned once.
    const auto phases = static_cast<std::size_t>(up);
    std::vector<std::int64_t> offsets(phases);
    std::vector<std::array<float, 2 * kLanczosLobes>> weights(phases);
    for (std::size_t p = 0; p < phases; ++p) {
        const double t = first + static_cast<double>(p) / up;
        offsets[p] = static_cast<std::int64_t>(std::floor(t));
        const double f = t - static_cast<double>(offsets[p]);
        for (int j = 1 - kLanczosLobes; j <= kLanczosLobes; ++j) {
            const double x = static_cast<double>(j) - f;
            const double weight =
                f == 0 ? (j == 0 ? 1.0 : 0.0)
                       : std::sin(kPi * x) * std::sin(kPi * x / kLanczosLobes) / (kPi * kPi * x * x / kLanczosLobes);
            weights[p][static_cast<std::size_t>(j + kLanczosLobes - 1)] = static_cast<float>(weight);
        }
    }
    float input = 0, output = 0;
    std::size_t silent = 0;
    for (std::size_t k = 0; k < stretch.size(); ++k) {
        const std::size_t p = k % phases;
        const std::int64_t i = offsets[p] + static_cast<std::int64_t>(k / phases);
        float value = 0;
        for (int j = 1 - kLanczosLobes; j <= kLanczosLobes; ++j)
            value += weights[p][static_cast<std::size_t>(j + kLanczosLobes - 1)] * at(i + j);
        output = keep_above * (output + value - input);
        input = value;
        stretch[k] = sign * output;
        silent = std::fabs(output) < end.silent_below ? silent + 1 : 0;
        if (end.silent_run > 0 && silent >= end.silent_run && k >= end.silence_after) {
            stretch.resize(k + 1);
            break;
        }
    }
    return stretch;
}

}  // namespace morlevix
