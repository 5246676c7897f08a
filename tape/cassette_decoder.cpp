#include "cassette_decoder.h"

#include <algorithm>
#include <cmath>

#include "cassette_encoder.h"
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
// Processed samples filtered at a time.
constexpr std::size_t kChunk = 1024;
constexpr std::size_t kOutputsAtOnce = 8;

// The level is the signal's mean magnitude over about 10 ms; a crossing
// counts once the signal has gone this far past zero on the other side.
constexpr double kLevelTimeConstant = 0.010;
constexpr float kHysteresis = 0.2f;
// While searching, the threshold is at least this part of the highest level
// of the last few tenths of a second.
constexpr float kSilenceGate = 0.3f;
constexpr double kLevelHoldTime = 0.3;

// Cycle lengths, in samples of the WAV files we write.
constexpr double kNominalShortCycle = 2.0 * kOneBitHalfCycle;
constexpr double kNominalLongCycle = 2.0 * kZeroBitHalfCycle;
// A cycle shorter than this part of a short cycle is a glitch; one longer
// than this many long cycles is a silence or a dropout.
constexpr double kShortestCycle = 0.55;
constexpr double kLongestCycle = 1.6;
// While searching, a cycle this close to the line between short and long
// (in short cycles) is neither: the other direction's crossings time half
// a short and half a long cycle, right on that line.
constexpr double kUndecided = 0.1;
// While searching, a cycle must also lie this close to the learned length
// of its kind: the crossings of hiss in a silence fall anywhere, and must
// not make a sync byte.
constexpr double kSearchTolerance = 0.3;
constexpr double kSearchCentreLow = 0.3;
// How fast the learned lengths follow each cycle of a block, and each
// leader, and how far from nominal they may go (tape speed, wow).
constexpr double kLearningRate = 1.0 / 16;
constexpr double kLeaderLearningRate = 0.05;
constexpr double kSlowestSpeed = 0.7;
constexpr double kFastestSpeed = 1.4;
// A leader: cycles alternately shorter and longer, the short ones less than
// this part of the long ones and the long ones less than this many short
// ones, each within these bounds (in nominal short cycles).
constexpr double kLeaderMostShort = 0.8;
constexpr double kLeaderMostLong = 2.6;
constexpr double kLeaderShortestCycle = 0.35;
constexpr double kLeaderLongestCycle = 3.2;
// Inside a block: a cycle longer than this (in short cycles) whose middle
// crossing lies outside this part of it is two cycles, one crossing lost.
constexpr double kMergedAtLeast = 1.3;
constexpr double kCentreLow = 0.38;
constexpr double kCentreHigh = 1 - kCentreLow;

// A block starts with a marker byte 0x55 and the sync byte 0x3C. The first
// two bits of the marker may be lost to the filter's onset after a silence.
constexpr std::uint32_t kSyncWindow = kMarkerByte | kSyncByte << kBitsPerByte;
constexpr std::uint32_t kSyncMask = 0xFFFC;
constexpr int kSyncBitsNeeded = 14;

// Levels in dB below full scale, and the level of a block heard as silence.
constexpr double kDecibelsPerDecade = 20;
constexpr double kSilentLevel = -120;

// The channel is judged from the latest leader periods, once a leader has
// gone on for this many cycles and again every so many cycles after.
constexpr int kLeaderCyclesBeforeJudging = 48;
constexpr int kLeaderCyclesBetweenJudgings = 256;
constexpr double kJudgedPeriods = 16;
// The processed samples kept for that: the longest leader stretch judged,
// at the slowest speed, and a chunk (a power of two, for the ring).
constexpr std::size_t kRecentSamples = 4096;

constexpr int kRising = 0;
constexpr int kFalling = 1;

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

}  // namespace

CassetteDecoder::CassetteDecoder(double sample_rate)
{
    step_ = std::max<std::size_t>(1, static_cast<std::size_t>(sample_rate / kProcessingRate));
    const double rate = sample_rate / static_cast<double>(step_);
    seconds_per_step_ = 1.0 / rate;

    const auto span = static_cast<std::size_t>(std::lround(kFilterSpan * rate));
    taps_ = band_pass(kBandLow / rate, kBandHigh / rate, std::max(kFewestTaps, span | 1));
    nominal_short_ = kNominalShortCycle * rate / kSampleRate;
    // The channel's inverse spans two leader periods, at the slowest speed.
    const double longest_period = (kNominalShortCycle + kNominalLongCycle) / kSlowestSpeed * rate / kSampleRate;
    half_span_ = static_cast<std::size_t>(std::ceil(longest_period));
    history_ = taps_.size() - 1 + 2 * half_span_;
    centre_ = history_ / 2;
    input_.assign(history_ + kChunk, 0.0f);
    recent_.assign(kRecentSamples, 0.0f);
    output_.assign(kChunk, 0.0f);
    filled_ = history_;
    level_rate_ = static_cast<float>(1.0 - std::exp(-1.0 / (kLevelTimeConstant * rate)));
    held_level_decay_ = static_cast<float>(std::exp(-1.0 / (kLevelHoldTime * rate)));

    // A processed sample is the sum of two steps of samples (one sample at
    // the lowest rates).
    peak_scale_ = step_ == 1 ? 1.0f : 1.0f / static_cast<float>(2 * step_);
    short_cycle_ = nominal_short_;
    long_cycle_ = kNominalLongCycle * rate / kSampleRate;
}

void CassetteDecoder::feed(const float* samples, std::size_t count)
{
    const std::size_t capacity = history_ + kChunk;
    std::size_t i = 0;
    while (i < count) {
        if (step_fill_ == 0 && filled_ < capacity && count - i >= step_) {
            // Whole steps, as many as the input and the chunk allow. Each
            // processed sample is the sum of this step's samples and the
            // last step's: a triangle that keeps hiss above the new rate
            // from folding into the signal's band (at the lowest rates,
            // where a step is one sample, every sample is kept as it is).
            const std::size_t steps = std::min((count - i) / step_, capacity - filled_);
            float* out = input_.data() + filled_;
            const float* in = samples + i;
            if (step_ == 1) {
                std::copy(in, in + steps, out);
            } else {
                float previous = previous_step_sum_;
                for (std::size_t s = 0; s < steps; ++s, in += step_) {
                    float sum = 0;
                    for (std::size_t k = 0; k < step_; ++k) sum += in[k];
                    out[s] = sum + previous;
                    previous = sum;
                }
                previous_step_sum_ = previous;
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
        if (filled_ == capacity) filter_and_detect();
    }
    if (filled_ > history_) filter_and_detect();
}

void CassetteDecoder::filter_and_detect()
{
    const std::size_t count = filled_ - history_;
    // The new samples, as they came, for judging the channel at a leader.
    for (std::size_t n = 0; n < count; ++n)
        recent_[static_cast<std::size_t>(position_ + static_cast<std::int64_t>(n)) % kRecentSamples] = input_[history_ + n];
    if (equalizing_) {
        shaped_filter(count);
    } else {
        band_pass_filter(count);
    }
    detect(count);
    // The last samples stay for the next chunk's first outputs.
    std::copy(input_.begin() + static_cast<std::ptrdiff_t>(count), input_.begin() + static_cast<std::ptrdiff_t>(filled_),
              input_.begin());
    filled_ = history_;
    position_ += static_cast<std::int64_t>(count);
}

namespace {

// Outputs `from` to `count` of the filter `taps` over `in`, each on its own.
void convolve_one_by_one(const std::vector<float>& taps, const float* in, float* out,
                         std::size_t from, std::size_t count)
{
    for (std::size_t i = from; i < count; ++i) {
        float sum = 0;
        for (std::size_t k = 0; k < taps.size(); ++k) sum += taps[k] * in[i + k];
        out[i] = sum;
    }
}

} // namespace

void CassetteDecoder::shaped_filter(std::size_t count)
{
    const std::size_t taps = shaped_taps_.size();
    const float* in = input_.data();
    float* out = output_.data();
    std::size_t i = 0;
    for (; i + kOutputsAtOnce <= count; i += kOutputsAtOnce) {
        float sums[kOutputsAtOnce] = {};
        for (std::size_t k = 0; k < taps; ++k) {
            const float tap = shaped_taps_[k];
            for (std::size_t j = 0; j < kOutputsAtOnce; ++j) sums[j] += tap * in[i + k + j];
        }
        std::copy(sums, sums + kOutputsAtOnce, out + i);
    }
    convolve_one_by_one(shaped_taps_, in, out, i, count);
}

void CassetteDecoder::band_pass_filter(std::size_t count)
{
    // Its taps are symmetric: the two samples that share a tap are added
    // first. A few outputs at a time stay in registers. It starts
    // `half_span_` in, to keep the same centre as the shaped filter.
    const std::size_t taps = taps_.size();
    const std::size_t half = taps / 2;
    const float* in = input_.data() + half_span_;
    float* out = output_.data();
    std::size_t i = 0;
    for (; i + kOutputsAtOnce <= count; i += kOutputsAtOnce) {
        float sums[kOutputsAtOnce];
        const float middle = taps_[half];
        for (std::size_t j = 0; j < kOutputsAtOnce; ++j) sums[j] = middle * in[i + half + j];
        for (std::size_t k = 0; k < half; ++k) {
            const float tap = taps_[k];
            const float* early = in + i + k;
            const float* late = in + i + taps - 1 - k;
            for (std::size_t j = 0; j < kOutputsAtOnce; ++j) sums[j] += tap * (early[j] + late[j]);
        }
        std::copy(sums, sums + kOutputsAtOnce, out + i);
    }
    // The last few outputs, one at a time.
    convolve_one_by_one(taps_, in, out, i, count);
}

void CassetteDecoder::detect(std::size_t count)
{
    const float* in = input_.data();
    const float* out = output_.data();
    // Crossings: the state lives in locals for the length of the chunk.
    float level = level_;
    float previous = previous_;
    bool above = above_;
    double candidate = candidate_;
    const float rate = level_rate_;
    float held = held_level_;
    const float hold = held_level_decay_;
    float peak = 0;
    for (std::size_t n = 0; n < count; ++n) {
        const float y = out[n];
        level += rate * (std::fabs(y) - level);
        held = std::max(level, held * hold);
        // While searching, hiss in a silence after a signal stays under the
        // threshold: it is a part of the level the signal had just before.
        const float threshold = std::max(kHysteresis * level, reading_ ? 0.0f : kSilenceGate * held);
        const auto now = static_cast<double>(position_ + static_cast<std::int64_t>(n));
        // The loudest sample since the last crossing, as it was before the
        // band-pass; a block's is gathered at each crossing.
        peak = std::max(peak, std::fabs(in[n + centre_]));
        if (above) {
            if (previous >= 0 && y < 0) candidate = now - 1 + previous / (previous - y);
            if (y < -threshold) {
                above = false;
                gather_peak(peak);
                crossing(kFalling, candidate);
            }
        } else {
            if (previous < 0 && y >= 0) candidate = now - 1 + previous / (previous - y);
            if (y > threshold) {
                above = true;
                gather_peak(peak);
                crossing(kRising, candidate);
            }
        }
        previous = y;
    }
    gather_peak(peak);
    level_ = level;
    held_level_ = held;
    previous_ = previous;
    above_ = above;
    candidate_ = candidate;
}

void CassetteDecoder::gather_peak(float& peak)
{
    if (reading_) block_peak_ = std::max(block_peak_, peak);
    peak = 0;
}

int CassetteDecoder::classify(double period) const
{
    if (period < kShortestCycle * short_cycle_ || period > kLongestCycle * long_cycle_) return -1;
    return period < (short_cycle_ + long_cycle_) / 2 ? 1 : 0;
}

void CassetteDecoder::learn(int bit, double period)
{
    double& cycle = bit != 0 ? short_cycle_ : long_cycle_;
    cycle += kLearningRate * (period - cycle);
    const double nominal = bit != 0 ? nominal_short_ : 2 * nominal_short_;
    cycle = std::clamp(cycle, kSlowestSpeed * nominal, kFastestSpeed * nominal);
}

void CassetteDecoder::crossing(int direction, double time)
{
    CycleTrack& track = tracks_[direction];
    const double start = track.last_crossing;
    track.last_crossing = time;
    if (!reading_) {
        search(track, start, time - start);
        if (reading_) reading_direction_ = direction;
    } else if (direction == reading_direction_) {
        read_cycle(start, time - start);
    }
}

void CassetteDecoder::learn_from_leader(CycleTrack& track, double period)
{
    std::copy(track.periods + 1, track.periods + kLeaderCycles, track.periods);
    track.periods[kLeaderCycles - 1] = period;
    if (track.periods_seen < kLeaderCycles) {
        ++track.periods_seen;
        return;
    }
    const bool first_short = track.periods[0] < track.periods[1];
    double shorts = 0, longs = 0;
    for (int i = 0; i < kLeaderCycles; ++i) {
        const double p = track.periods[i];
        const bool is_short = (i % 2 == 0) == first_short;
        if (p < kLeaderShortestCycle * nominal_short_ || p > kLeaderLongestCycle * nominal_short_ ||
            (i > 0 && (is_short ? p >= track.periods[i - 1] : p <= track.periods[i - 1]))) {
            track.leader_run = 0;
            return;
        }
        (is_short ? shorts : longs) += p;
    }
    if (shorts >= kLeaderMostShort * longs || longs >= kLeaderMostLong * shorts) {
        track.leader_run = 0;
        return;
    }
    constexpr double kHalf = kLeaderCycles / 2;
    ++track.leader_run;
    if (track.leader_run == kLeaderCyclesBeforeJudging ||
        (track.leader_run > kLeaderCyclesBeforeJudging &&
         (track.leader_run - kLeaderCyclesBeforeJudging) % kLeaderCyclesBetweenJudgings == 0))
        judge_channel_at(track.last_crossing, (shorts + longs) / kHalf);
    short_cycle_ += kLeaderLearningRate * (shorts / kHalf - short_cycle_);
    long_cycle_ += kLeaderLearningRate * (longs / kHalf - long_cycle_);
}

void CassetteDecoder::judge_channel_at(double time, double period)
{
    // The samples before the filters that the output at `time` came from.
    const auto end = static_cast<std::int64_t>(time) - static_cast<std::int64_t>(centre_);
    const auto length = static_cast<std::int64_t>(kJudgedPeriods * period);
    if (end - length < 0 || length > static_cast<std::int64_t>(kRecentSamples - kChunk - history_)) return;
    std::vector<float> stretch(static_cast<std::size_t>(length));
    for (std::int64_t n = 0; n < length; ++n)
        stretch[static_cast<std::size_t>(n)] = recent_[static_cast<std::size_t>(end - length + n) % kRecentSamples];
    const ChannelVerdict verdict = judge_channel(stretch.data(), stretch.size(), period, half_span_);
    if (verdict.kind == ChannelVerdict::flat) equalizing_ = false;
    if (verdict.kind != ChannelVerdict::distorted) return;
    // The band-pass after the channel's inverse, as one filter.
    shaped_taps_.assign(taps_.size() + verdict.taps.size() - 1, 0.0f);
    for (std::size_t i = 0; i < taps_.size(); ++i)
        for (std::size_t j = 0; j < verdict.taps.size(); ++j) shaped_taps_[i + j] += taps_[i] * verdict.taps[j];
    equalizing_ = true;
}

void CassetteDecoder::search(CycleTrack& track, double start, double period)
{
    learn_from_leader(track, period);
    int bit = classify(period);
    if (bit >= 0) {
        const double expected = bit != 0 ? short_cycle_ : long_cycle_;
        const bool undecided = std::fabs(period - (short_cycle_ + long_cycle_) / 2) < kUndecided * short_cycle_;
        // The crossing the other way lies in the middle of a real cycle.
        const double centre = (tracks_[&track == tracks_ ? kFalling : kRising].last_crossing - start) / period;
        const bool centred = centre > kSearchCentreLow && centre < 1 - kSearchCentreLow;
        if (undecided || !centred || std::fabs(period - expected) > kSearchTolerance * expected) bit = -1;
    }
    if (bit < 0) {
        track.window = 0;
        track.valid_run = 0;
        return;
    }
    track.window = (track.window >> 1) | static_cast<std::uint32_t>(bit) << (kBitsInSync - 1);
    std::copy(track.bit_starts + 1, track.bit_starts + kBitsInSync, track.bit_starts);
    track.bit_starts[kBitsInSync - 1] = start;
    ++track.valid_run;
    if (track.valid_run >= kSyncBitsNeeded && (track.window & kSyncMask) == (kSyncWindow & kSyncMask))
        start_block(track);
}

void CassetteDecoder::start_block(const CycleTrack& track)
{
    reading_ = true;
    current_ = HeardBlock{};
    current_.block.bytes[0] = kSyncByte;
    current_.block.length = 1;
    // The filters delay everything by half their length.
    const double delay = static_cast<double>(centre_);
    current_.seconds = std::max(0.0, track.bit_starts[kBitsPerByte] - delay) * seconds_per_step_;
    bits_ = 0;
    byte_ = 0;
    pending_ = 0;
    nominal_time_ = 0;
    heard_time_ = 0;
    block_peak_ = 0;
    weakest_margin_ = 1;
    for (auto& t : tracks_) {
        t.window = 0;
        t.valid_run = 0;
    }
}

void CassetteDecoder::read_cycle(double start, double period)
{
    // Crossings alternate, so the other direction's latest one lies inside
    // this cycle: in its middle, unless a crossing was lost to noise and
    // this is really two cycles.
    if (pending_ == 0 && period > kMergedAtLeast * short_cycle_) {
        const double first_half = tracks_[1 - reading_direction_].last_crossing - start;
        const double centre = first_half / period;
        if (centre < kCentreLow || centre > kCentreHigh) {
            const double first = centre < kCentreLow ? 2 * first_half : period - 2 * (period - first_half);
            const double shortest = kShortestCycle * short_cycle_;
            if (first > shortest && period - first > shortest) {
                read_bit(first);
                if (reading_) read_bit(period - first);
                return;
            }
        }
    }
    read_bit(period);
}

void CassetteDecoder::read_bit(double period)
{
    period += pending_;
    pending_ = 0;
    if (period < kShortestCycle * short_cycle_) {
        pending_ = period;  // a glitch cut this cycle: wait for the rest of it
        return;
    }
    const int bit = classify(period);
    if (bit < 0) {
        end_block(false);  // a silence or a dropout
        return;
    }
    weakest_margin_ = std::min(weakest_margin_, margin_of(period));
    // The speed is the bits' nominal time over the time they took: the
    // band-pass moves single crossings, never the whole.
    nominal_time_ += bit != 0 ? nominal_short_ : 2 * nominal_short_;
    heard_time_ += period;
    learn(bit, period);
    byte_ = (byte_ >> 1) | static_cast<unsigned>(bit) << (kBitsPerByte - 1);
    if (++bits_ < kBitsPerByte) return;
    TapeBlock& block = current_.block;
    block.bytes[block.length++] = static_cast<std::uint8_t>(byte_);
    bits_ = 0;
    byte_ = 0;
    if (block.length > kBlockLengthOffset && block.length == block.payload_length() + kBlockFraming)
        end_block(true);
}

double CassetteDecoder::margin_of(double period) const
{
    const double line = (short_cycle_ + long_cycle_) / 2;
    const double half_gap = (long_cycle_ - short_cycle_) / 2;
    return std::clamp(std::fabs(period - line) / half_gap, 0.0, 1.0);
}

void CassetteDecoder::end_block(bool complete)
{
    BlockFigures& figures = current_.figures;
    figures.speed = heard_time_ > 0 ? nominal_time_ / heard_time_ : nominal_short_ / short_cycle_;
    const double peak = static_cast<double>(block_peak_ * peak_scale_);
    figures.level = peak > 0 ? kDecibelsPerDecade * std::log10(peak) : kSilentLevel;
    figures.margin = heard_time_ > 0 ? weakest_margin_ : 0;
    current_.complete = complete;
    blocks_.push_back(current_);
    reading_ = false;
}

void CassetteDecoder::finish()
{
    if (reading_) end_block(false);
}

}  // namespace morlevix
