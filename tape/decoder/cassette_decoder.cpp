#include "cassette_decoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <limits>
#include <tuple>

#include "cycle_sequence.h"
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

// Reading a block again. A leader is marked every so many of its cycles;
// its block is read from the mark before the latest (a byte or two before
// the leader ends), a block heard without a leader from a long cycle
// before its marker byte. The first cycle read may start anywhere in this
// many long cycles after the mark.
constexpr int kMarkEvery = 16;
// A leader broken for less than this many long cycles goes on.
constexpr double kLeaderBreakCycles = 96;
constexpr double kFreeStartCycles = 3;
// What a read spans beyond the longest block, in bytes: the end of the
// leader, and the marker bytes.
constexpr std::size_t kRereadLeadBytes = 6;
// Cycles are read at this rate at least: slower recordings are
// interpolated up to it.
constexpr double kSequenceRate = 40000.0;
// The lobes of the interpolation kernel on either side.
constexpr int kLanczosLobes = 4;
// Below this (Hz), DC and rumble are taken away before reading.
constexpr double kRereadHighPass = 20.0;
// The tone's peak, from the filtered signal's mean magnitude over this many
// cycles at the read's start (a sine's peak is pi/2 its mean magnitude).
constexpr double kLevelCycles = 16;
constexpr double kPeakOverMeanMagnitude = kPi / 2;
// Two copies of a block whose sync bytes start this close are one block.
constexpr double kSameBlockSeconds = 0.01;
// A data block's next starts this soon after its end at the slowest speed:
// the closing marker, the silence, and the next block's marker byte.
constexpr double kNextBlockSeconds = 0.04;

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

// The first block in a sequence of cycles: after its marker and sync
// bytes, its bytes, eight cycles each, as far as its length byte says or
// the cycles go. Gives the cycles it spans, from its sync byte's first.
// It counts as complete only when the marker byte that closes every block
// follows it: a cycle read wrong makes two of one, or one of two, and every
// byte after it garbage, whose closing byte would still match its checksum
// once in 256 times; with the marker's first bits too, once in 16,000.
std::pair<std::size_t, std::size_t> block_in(const std::vector<SequenceCycle>& cycles, HeardBlock& heard)
{
    constexpr std::size_t kSyncBits = 2 * kBitsPerByte;  // a marker byte and the sync byte
    constexpr std::size_t kClosingBits = 6;              // of the closing marker byte (its last may meet silence)
    std::uint32_t window = 0;
    std::size_t sync = cycles.size();
    for (std::size_t k = 0; k < cycles.size() && sync == cycles.size(); ++k) {
        window = (window >> 1) | static_cast<std::uint32_t>(cycles[k].short_cycle) << (kSyncBits - 1);
        if (k + 1 >= kSyncBits && (window & kSyncMask) == (kSyncWindow & kSyncMask)) sync = k + 1 - kBitsPerByte;
    }
    if (sync == cycles.size()) return {sync, sync};
    TapeBlock& block = heard.block;
    block.bytes[0] = kSyncByte;
    block.length = 1;
    std::size_t k = sync + kBitsPerByte;
    for (; k + kBitsPerByte <= cycles.size() && !heard.complete; k += kBitsPerByte) {
        unsigned byte = 0;
        for (std::size_t b = 0; b < kBitsPerByte; ++b) byte |= static_cast<unsigned>(cycles[k + b].short_cycle) << b;
        block.bytes[block.length++] = static_cast<std::uint8_t>(byte);
        heard.complete = block.whole();
    }
    if (heard.complete) {
        if (k + kClosingBits > cycles.size()) {
            heard.complete = false;
        } else {
            for (std::size_t b = 0; b < kClosingBits; ++b)
                if (cycles[k + b].short_cycle != (((kMarkerByte >> b) & 1) != 0)) heard.complete = false;
        }
    }
    return {sync, k};
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
    // The samples kept for reading blocks again, near the rate cycles are
    // read at: the longest block at the slowest speed, the filters' delay
    // and a chunk on either side.
    reread_span_ = static_cast<double>((kMaxBlockSize + kRereadLeadBytes) * kBitsPerByte) * kFastestSpeed *
                   kNominalLongCycle * rate / kSampleRate;
    keep_step_ = std::max<std::size_t>(1, static_cast<std::size_t>(sample_rate / kSequenceRate));
    kept_per_processed_ = static_cast<double>(step_) / static_cast<double>(keep_step_);
    std::size_t kept = 1;
    while (static_cast<double>(kept) < (reread_span_ + static_cast<double>(history_ + 2 * kChunk)) * kept_per_processed_)
        kept *= 2;
    kept_mask_ = kept - 1;
    kept_.assign(kept, 0.0f);
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
            keep(in, steps * step_);
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
            keep(samples + i, 1);
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

void CassetteDecoder::keep(const float* samples, std::size_t count)
{
    if (keep_step_ == 1) {  // copied in pieces up to the ring's end
        while (count > 0) {
            const std::size_t at = static_cast<std::size_t>(kept_count_) & kept_mask_;
            const std::size_t piece = std::min(count, kept_.size() - at);
            std::copy(samples, samples + piece, kept_.data() + at);
            kept_count_ += static_cast<std::int64_t>(piece);
            samples += piece;
            count -= piece;
        }
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        keep_sum_ += samples[i];
        if (++keep_fill_ < keep_step_) continue;
        kept_[static_cast<std::size_t>(kept_count_++) & kept_mask_] = keep_sum_;
        keep_sum_ = 0;
        keep_fill_ = 0;
    }
}

void CassetteDecoder::filter_and_detect()
{
    const std::size_t count = filled_ - history_;
    reread_due(position_);  // before the rings move on
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
    if (track.leader_run % kMarkEvery == 0) mark_leader(track);
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
    marker_start_ = track.bit_starts[0];
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
    if (block.whole()) end_block(true);
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
    // A block the crossings heard to its end, even with a wrong checksum,
    // ended where its length byte said: a data block's next follows.
    if (complete) {
        const double end = tracks_[reading_direction_].last_crossing;
        mark_end_of(current_, end, block_mark(end));
    }

    // The latest leader's mark, when it is this block's: heard sound, the
    // block needs no second reading; heard wrong, it is read from there.
    const double leader_reach = (2 * kMarkEvery + static_cast<double>(kRereadLeadBytes * kBitsPerByte)) * long_cycle_;
    const auto leaders = [&](const RereadMark& m) {
        return m.from_leader && m.time <= marker_start_ && marker_start_ - m.time < leader_reach;
    };
    if (current_.sound()) {
        rereads_.erase(std::remove_if(rereads_.begin(), rereads_.end(), leaders), rereads_.end());
    } else if (std::none_of(rereads_.begin(), rereads_.end(), leaders)) {
        rereads_.push_back(block_mark(marker_start_ - long_cycle_));
    }
}

CassetteDecoder::RereadMark CassetteDecoder::block_mark(double time) const
{
    // The tape's speed as the file's leader showed it: the crossings of a
    // block that came out wrong, or through echoes, are no measure of it.
    const RereadMark& leader = leader_marks_[1];
    const bool have_leader = leader.long_cycle > 0;
    return {time, reading_direction_, have_leader ? leader.short_cycle : short_cycle_,
            have_leader ? leader.long_cycle : long_cycle_, false};
}

void CassetteDecoder::finish()
{
    if (reading_) end_block(false);
    reread_due(std::numeric_limits<std::int64_t>::max());
}

void CassetteDecoder::mark_leader(const CycleTrack& track)
{
    // The direction whose cycles have shown the leader longer is the one
    // its cycles start in (through echoes, both may show one for a while).
    const int direction = &track == tracks_ ? kRising : kFalling;
    if (tracks_[1 - direction].leader_run > track.leader_run) return;
    const RereadMark mark{track.last_crossing, direction, short_cycle_, long_cycle_, true};
    RereadMark& latest = leader_marks_[1];
    RereadMark& before = leader_marks_[0];
    // A leader heard again after a moment's noise is the same leader, with
    // the same read.
    const bool same_leader = latest.long_cycle > 0 && mark.time - latest.time < kLeaderBreakCycles * long_cycle_;
    if (track.leader_run == kMarkEvery && !same_leader) {  // a new leader
        before = latest = mark;
        return;
    }
    // The leader's block is read from a byte or two before the leader's
    // end, unless the crossings hear it sound: one read per leader, moved
    // on as the leader goes on.
    const bool open = !rereads_.empty() && rereads_.back().from_leader && rereads_.back().time == before.time;
    before = latest;
    latest = mark;
    if (open) {
        rereads_.back() = before;
    } else {
        rereads_.push_back(before);
    }
}

void CassetteDecoder::mark_end_of(const HeardBlock& block, double time, const RereadMark& read)
{
    // After a header or an end block come a gap and a leader, and the
    // leader's own mark.
    if (block.block.type() != kDataBlockType) return;
    // The crossings and a second reading may both have heard it end.
    const double near = kNextBlockSeconds / seconds_per_step_;
    if (std::any_of(rereads_.begin(), rereads_.end(),
                    [&](const RereadMark& m) { return m.after_block && std::fabs(m.time - time) < near; }))
        return;
    RereadMark mark = read;
    mark.time = time;
    mark.from_leader = false;
    mark.after_block = true;
    rereads_.push_back(mark);
}

bool CassetteDecoder::heard_after(double time) const
{
    // The next block was heard; or the file's header says that a gap and a
    // leader come before each of its blocks, and the leader has its mark.
    // The blocks are in the order of their times.
    const double seconds = (time - static_cast<double>(centre_)) * seconds_per_step_;
    const auto next = std::upper_bound(blocks_.begin(), blocks_.end(), seconds,
                                       [](double s, const HeardBlock& b) { return s < b.seconds; });
    if (next != blocks_.end() && next->seconds - seconds < kNextBlockSeconds) return true;
    for (auto b = std::make_reverse_iterator(next); b != blocks_.rend(); ++b) {
        if (!b->sound() || !b->block.is_header()) continue;
        return b->block.length > kGapFlagOffset && b->block.bytes[kGapFlagOffset] == kGapBeforeEveryBlock;
    }
    return false;
}

void CassetteDecoder::reread_due(std::int64_t newest)
{
    // Every read whose block has surely ended by `newest` (all of them at
    // the end of the recording).
    for (std::size_t i = 0; i < rereads_.size();) {
        if (newest != std::numeric_limits<std::int64_t>::max() &&
            rereads_[i].time + reread_span_ > static_cast<double>(newest)) {
            ++i;
            continue;
        }
        const RereadMark mark = rereads_[i];
        rereads_.erase(rereads_.begin() + static_cast<std::ptrdiff_t>(i));
        if (!mark.after_block || !heard_after(mark.time)) reread(mark);
    }
}

std::vector<float> CassetteDecoder::kept_stretch(double first, double up, int direction) const
{
    // The kept samples from `first` on, interpolated `up` times, without
    // DC, turned so that cycles start rising; nothing when they are no
    // longer kept.
    const double last = std::min(static_cast<double>(kept_count_) - 3, first + reread_span_ * kept_per_processed_);
    const double oldest = static_cast<double>(kept_count_) - static_cast<double>(kept_mask_ + 1) +
                          static_cast<double>(2 * kChunk) * kept_per_processed_;
    if (first - 1 < oldest || last <= first) return {};
    std::vector<float> stretch(static_cast<std::size_t>((last - first) * up));
    const float sign = direction == kRising ? 1.0f : -1.0f;
    const double kept_seconds = seconds_per_step_ / kept_per_processed_;
    const auto keep_above = static_cast<float>(std::exp(-2 * kPi * kRereadHighPass * kept_seconds / up));
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
    for (std::size_t k = 0; k < stretch.size(); ++k) {
        const std::size_t p = k % phases;
        const std::int64_t i = offsets[p] + static_cast<std::int64_t>(k / phases);
        float value = 0;
        for (int j = 1 - kLanczosLobes; j <= kLanczosLobes; ++j)
            value += weights[p][static_cast<std::size_t>(j + kLanczosLobes - 1)] * kept_at(i + j);
        output = keep_above * (output + value - input);
        input = value;
        stretch[k] = sign * output;
    }
    return stretch;
}

void CassetteDecoder::reread(const RereadMark& mark)
{
    // At least the rate cycles are read at; where no interpolation is
    // needed, from a whole sample (the first cycle may start anywhere near
    // there anyway).
    const double up = std::max(1.0, std::ceil(kSequenceRate * seconds_per_step_ / kept_per_processed_));
    const double at = kept_position(mark.time - static_cast<double>(centre_));
    const double first = up == 1 ? std::floor(at) : at;
    const std::vector<float> stretch = kept_stretch(first, up, mark.direction);
    // The cycles' own lengths are a third and two thirds of a short and a
    // long one together: a channel that moves the crossings of one kind
    // (echoes, a low-pass) leaves their sum, the tape's speed, alone.
    const double pair = (mark.short_cycle + mark.long_cycle) * kept_per_processed_ * up;
    const double short_cycle = pair * kNominalShortCycle / (kNominalShortCycle + kNominalLongCycle);
    const double long_cycle = pair - short_cycle;
    const auto free_start = static_cast<std::size_t>(kFreeStartCycles * long_cycle);
    const auto level_end =
        std::min(stretch.size(), free_start + static_cast<std::size_t>(kLevelCycles * (short_cycle + long_cycle) / 2));
    if (level_end <= free_start) return;
    double magnitude = 0;
    for (std::size_t k = free_start; k < level_end; ++k) magnitude += std::fabs(stretch[k]);
    const double amplitude = kPeakOverMeanMagnitude * magnitude / static_cast<double>(level_end - free_start);
    if (!(amplitude > 0)) return;
    const std::vector<SequenceCycle> cycles = read_cycle_sequence(stretch, short_cycle, long_cycle, amplitude, free_start);

    HeardBlock heard;
    std::size_t sync = 0, end = 0;  // not a structured binding: the lambda below needs `end`
    std::tie(sync, end) = block_in(cycles, heard);
    // Once more, each cycle compared with the shape that the cycles just
    // read show the channel gives it; taken only when sound, for else the
    // first reading says best where the block ends.
    std::vector<SequenceCycle> again;
    if (!heard.sound()) {
        again = read_cycle_sequence(stretch, short_cycle, long_cycle, amplitude, free_start, &cycles);
        HeardBlock taught;
        const auto span = block_in(again, taught);
        if (taught.sound()) {
            heard = taught;
            std::tie(sync, end) = span;
        } else {
            again.clear();
        }
    }
    const std::vector<SequenceCycle>& used = again.empty() ? cycles : again;
    // Where the block's last byte ends, in filtered samples.
    const auto end_time = [&] {
        const double kept = first + static_cast<double>(used[end - 1].start + used[end - 1].length) / up;
        return processed_position(kept) + static_cast<double>(centre_);
    };
    if (!heard.sound()) {
        // Nothing better than what the crossings heard. Yet a block read to
        // the length its length byte says ended about there, even with a
        // cycle wrong: the block after a data block follows it, and may be
        // one that the crossings never heard either.
        const TapeBlock& block = heard.block;
        if (end > sync && block.whole())
            mark_end_of(heard, end_time(), mark);
        return;
    }
    double nominal = 0, took = 0;
    heard.figures.margin = 1;
    for (std::size_t c = sync; c < end; ++c) {
        nominal += (used[c].short_cycle ? 1 : 2) * nominal_short_ * kept_per_processed_ * up;
        took += static_cast<double>(used[c].length);
        heard.figures.margin = std::min(heard.figures.margin, used[c].margin);
    }
    heard.figures.speed = nominal / took;
    const double starts = first + static_cast<double>(used[sync].start) / up;
    const double ends = first + static_cast<double>(used[end - 1].start + used[end - 1].length) / up;
    heard.seconds = std::max(0.0, processed_position(starts)) * seconds_per_step_;
    float peak = 0;
    for (auto i = static_cast<std::int64_t>(starts); i < static_cast<std::int64_t>(ends); ++i) peak = std::max(peak, std::fabs(kept_at(i)));
    const double level = static_cast<double>(peak) / static_cast<double>(keep_step_);
    heard.figures.level = level > 0 ? kDecibelsPerDecade * std::log10(level) : kSilentLevel;
    place_reread(heard);
    mark_end_of(heard, end_time(), mark);
}

// A processed sample (before the filters) and a kept one cover the same
// samples of the recording: a processed one is two steps, centred half a
// sample before its own step starts (one sample, at the lowest rates).
double CassetteDecoder::kept_position(double processed) const
{
    const double sample = processed * static_cast<double>(step_) - (step_ == 1 ? 0.0 : 0.5);
    return (sample - static_cast<double>(keep_step_ - 1) / 2) / static_cast<double>(keep_step_);
}

double CassetteDecoder::processed_position(double kept) const
{
    const double sample = kept * static_cast<double>(keep_step_) + static_cast<double>(keep_step_ - 1) / 2;
    return (sample + (step_ == 1 ? 0.0 : 0.5)) / static_cast<double>(step_);
}

void CassetteDecoder::place_reread(const HeardBlock& heard)
{
    for (auto& block : blocks_) {
        if (std::fabs(block.seconds - heard.seconds) >= kSameBlockSeconds) continue;
        if (!block.sound()) block = heard;
        return;
    }
    const auto later = std::upper_bound(blocks_.begin(), blocks_.end(), heard.seconds,
                                        [](double seconds, const HeardBlock& b) { return seconds < b.seconds; });
    blocks_.insert(later, heard);
}

}  // namespace morlevix
