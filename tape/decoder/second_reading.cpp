#include "second_reading.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <tuple>

#include "block_from_cycles.h"
#include "block_from_its_end.h"
#include "block_reader.h"
#include "tape/encoder/cassette_encoder.h"
#include "cycle_sequence.h"
#include "signal_filter.h"

namespace morlevix {
namespace {

constexpr double kPi = 3.14159265358979323846;

// A leader broken for less than this many long cycles goes on.
constexpr double kLeaderBreakCycles = 96;
// The first cycle read may start anywhere in this many long cycles after
// the mark.
constexpr double kFreeStartCycles = 3;
// What a read spans beyond the longest block, in bytes: the end of the
// leader, and the marker bytes.
constexpr std::size_t kReadLeadBytes = 6;
// The tone's peak, from the filtered signal's mean magnitude over this many
// cycles at the read's start (a sine's peak is pi/2 its mean magnitude).
constexpr double kLevelCycles = 16;
constexpr double kPeakOverMeanMagnitude = kPi / 2;
// The longest dropout a block is read through, in seconds, and a sample
// below this part of the block's amplitude is silent: a silence longer
// than that ends what is read.
constexpr double kLongestDropout = 0.25;
constexpr double kSilentBelow = 0.05;
// Nominal samples from a data block's end to the next one's sync byte:
// its closing marker, the silence, the next one's opening marker.
const double kBlockToBlock = static_cast<double>(2 * byte_sample_count(kMarkerByte) + kSilenceAfterBlock);
// The shortest block, in nominal samples: its sync, type, length and
// checksum bytes, none shorter than a byte of ones.
const double kShortestBlock = static_cast<double>(kBlockFraming * byte_sample_count(0xFF));
// The middle of a pause before a block (all but this part of it at either
// end, where the filters ring) is quiet: this much of the marker's level.
constexpr double kQuietPart = 0.8;
constexpr double kQuietBeside = 0.25;
// A block read back from its end starts within this many long cycles of
// where it must: a byte more or less is at least four of them.
constexpr double kStartSlackCycles = 2;
// Bytes of the next block read with a block read back from its end: its
// marker, sync and type bytes.
constexpr std::size_t kNextBytesRead = 3;
// A data block's next starts this soon after its end at the slowest speed:
// the closing marker, the silence, and the next block's marker byte.
constexpr double kNextBlockSeconds = 0.04;

// A mark is read once its span has passed the filters' position, which is
// looked at once a chunk (so up to a chunk late), while the samples kept
// run up to a chunk ahead of that position, and the kept ring's oldest two
// chunks are not read back: what is kept behind a read's span, besides the
// filters' history. (With fewer, at the rates whose ring has no room to
// spare, such as 5.5 kHz, a block after a data block that only the second
// reading could hear was lost: its samples were gone when its turn came.)
constexpr std::size_t kChunksBehindARead = 4;

// How far after its mark a block surely ends, in processed samples at
// `rate`: the longest block, at the slowest speed, with the bytes before it.
double read_span(double rate)
{
    return static_cast<double>((kMaxBlockSize + kReadLeadBytes) * kBitsPerByte) * kFastestSpeed * kNominalLongCycle *
           rate / kSampleRate;
}

// The tone's peak in `samples` from `from` to `to`, from their mean
// magnitude.
double tone_amplitude(const std::vector<float>& samples, std::size_t from, std::size_t to)
{
    double magnitude = 0;
    for (std::size_t k = from; k < to; ++k) magnitude += std::fabs(samples[k]);
    return kPeakOverMeanMagnitude * magnitude / static_cast<double>(to - from);
}

// Whether the `silence` samples before `at` in `stretch` are quiet beside
// the cycle after them: the pause before a block's marker byte.
bool silent_before(const std::vector<float>& stretch, double at, double silence, double long_cycle)
{
    const auto quiet_from = static_cast<std::ptrdiff_t>(at - silence * kQuietPart);
    const auto quiet_to = static_cast<std::ptrdiff_t>(at - silence * (1 - kQuietPart));
    const auto loud_to = static_cast<std::ptrdiff_t>(at + long_cycle);
    if (quiet_from < 0 || quiet_to <= quiet_from || loud_to > static_cast<std::ptrdiff_t>(stretch.size())) return false;
    double quiet = 0, loud = 0;
    for (auto k = quiet_from; k < quiet_to; ++k) quiet += std::fabs(stretch[static_cast<std::size_t>(k)]);
    for (auto k = static_cast<std::ptrdiff_t>(at); k < loud_to; ++k) loud += std::fabs(stretch[static_cast<std::size_t>(k)]);
    return quiet / static_cast<double>(quiet_to - quiet_from) < kQuietBeside * loud / static_cast<double>(loud_to - static_cast<std::ptrdiff_t>(at));
}

}  // namespace

SecondReading::SecondReading(double sample_rate, std::size_t step, double seconds_per_step, std::size_t centre,
                             std::size_t history)
    : seconds_per_step_(seconds_per_step),
      centre_(static_cast<double>(centre)),
      span_(read_span(sample_rate / static_cast<double>(step))),
      kept_(sample_rate, step, seconds_per_step, span_, history + kChunksBehindARead * SignalFilter::kChunk)
{
}

void SecondReading::leader_marked(const LeaderMark& leader)
{
    const Mark mark{leader.time, leader.direction, leader.short_cycle, leader.long_cycle, true};
    Mark& latest = leader_marks_[1];
    Mark& before = leader_marks_[0];
    // A leader heard again after a moment's noise is the same leader, with
    // the same read.
    const bool same_leader = latest.long_cycle > 0 && mark.time - latest.time < kLeaderBreakCycles * leader.long_cycle;
    if (leader.leader_run == kMarkEvery && !same_leader) {  // a new leader
        before = latest = mark;
        return;
    }
    // The leader's block is read from a byte or two before the leader's
    // end, unless the crossings hear it sound: one read per leader, moved
    // on as the leader goes on.
    const bool open = !marks_.empty() && marks_.back().from_leader && marks_.back().time == before.time;
    before = latest;
    latest = mark;
    if (open) {
        marks_.back() = before;
    } else {
        marks_.push_back(before);
    }
}

void SecondReading::leader_ended_in_silence(double time)
{
    const Mark& before = leader_marks_[0];
    if (!marks_.empty() && marks_.back().from_leader && marks_.back().time == before.time) marks_.back().silence_end = time;
}

void SecondReading::block_ended(const HeardBlock& heard, double end, int direction, double marker_start,
                                const CycleLengths& lengths)
{
    // A block the crossings heard to its end, even with a wrong checksum,
    // ended where its length byte said: a data block's next follows.
    if (heard.complete) mark_end_of(heard, end, block_mark(end, direction, lengths));

    // The latest leader's mark, when it is this block's: heard sound, the
    // block needs no second reading; heard wrong, it is read from there.
    const double leader_reach =
        (2 * kMarkEvery + static_cast<double>(kReadLeadBytes * kBitsPerByte)) * lengths.long_cycle();
    const auto leaders = [&](const Mark& m) {
        return m.from_leader && m.time <= marker_start && marker_start - m.time < leader_reach;
    };
    if (heard.sound() && !heard.weak) {
        marks_.erase(std::remove_if(marks_.begin(), marks_.end(), leaders), marks_.end());
    } else if (std::none_of(marks_.begin(), marks_.end(), leaders)) {
        marks_.push_back(block_mark(marker_start - lengths.long_cycle(), direction, lengths));
    }
}

SecondReading::Mark SecondReading::block_mark(double time, int direction, const CycleLengths& lengths) const
{
    // The tape's speed as the file's leader showed it: the crossings of a
    // block that came out wrong, or through echoes, are no measure of it.
    const Mark& leader = leader_marks_[1];
    const bool have_leader = leader.long_cycle > 0;
    return {time, direction, have_leader ? leader.short_cycle : lengths.short_cycle(),
            have_leader ? leader.long_cycle : lengths.long_cycle(), false};
}

void SecondReading::mark_end_of(const HeardBlock& block, double time, const Mark& read)
{
    // After a header or an end block come a gap and a leader, and the
    // leader's own mark.
    if (block.block.type() != kDataBlockType) return;
    // The crossings and a second reading may both have heard it end.
    const double near = kNextBlockSeconds / seconds_per_step_;
    if (std::any_of(marks_.begin(), marks_.end(),
                    [&](const Mark& m) { return m.after_block && std::fabs(m.time - time) < near; }))
        return;
    Mark mark = read;
    mark.time = time;
    mark.from_leader = false;
    mark.after_block = true;
    marks_.push_back(mark);
}

bool SecondReading::heard_after(double time, const std::vector<HeardBlock>& blocks) const
{
    // The next block was heard; or the file's header says that a gap and a
    // leader come before each of its blocks, and the leader has its mark.
    // The blocks are in the order of their times.
    const double seconds = (time - centre_) * seconds_per_step_;
    const auto next = std::upper_bound(blocks.begin(), blocks.end(), seconds,
                                       [](double s, const HeardBlock& b) { return s < b.seconds; });
    if (next != blocks.end() && next->seconds - seconds < kNextBlockSeconds) return true;
    for (auto b = std::make_reverse_iterator(next); b != blocks.rend(); ++b) {
        if (!b->sound() || !b->block.is_header()) continue;
        return b->block.length > kGapFlagOffset && b->block.bytes[kGapFlagOffset] == kGapBeforeEveryBlock;
    }
    return false;
}

void SecondReading::read_due(std::int64_t newest, double reading_since, const CycleLengths& lengths,
                             std::vector<HeardBlock>& blocks)
{
    for (std::size_t i = 0; i < marks_.size();) {
        const Mark& due = marks_[i];
        // A leader's that ended in a silence waits, while its samples stay
        // kept, for the block after the silence being heard to end: the
        // same samples are read, later, or not at all when it was sound.
        const bool waits = due.silence_end >= 0 && reading_since > due.silence_end &&
                           kept_.kept_later(std::floor(kept_.kept_position(due.time - centre_)), SignalFilter::kChunk);
        if (due.time + span_ > static_cast<double>(newest) || waits) {
            ++i;
            continue;
        }
        const Mark mark = due;
        marks_.erase(marks_.begin() + static_cast<std::ptrdiff_t>(i));
        if (needed(mark, blocks)) read(mark, lengths, blocks);
    }
}

bool SecondReading::needed(const Mark& mark, const std::vector<HeardBlock>& blocks) const
{
    if (mark.after_block) return !heard_after(mark.time, blocks);
    if (mark.silence_end < 0) return true;
    // A leader's that ended in a silence finds no block before the first
    // after the silence: when that one is sound, it finds nothing better.
    const double seconds = (mark.silence_end - centre_) * seconds_per_step_;
    const auto next = std::upper_bound(blocks.begin(), blocks.end(), seconds,
                                       [](double s, const HeardBlock& b) { return s < b.seconds; });
    return next == blocks.end() || !next->sound();
}

void SecondReading::read_all(const CycleLengths& lengths, std::vector<HeardBlock>& blocks)
{
    // Marks that a reading adds are read too.
    while (!marks_.empty()) {
        const Mark mark = marks_.front();
        marks_.pop_front();
        if (needed(mark, blocks)) read(mark, lengths, blocks);
    }
}

void SecondReading::read(const Mark& mark, const CycleLengths& lengths, std::vector<HeardBlock>& blocks)
{
    // At least the rate cycles are read at; where no interpolation is
    // needed, from a whole sample (the first cycle may start anywhere near
    // there anyway).
    const double up = kept_.fineness();
    const double at = kept_.kept_position(mark.time - centre_);
    const double first = up == 1 ? std::floor(at) : at;
    // The cycles' own lengths are a third and two thirds of a short and a
    // long one together: a channel that moves the crossings of one kind
    // (echoes, a low-pass) leaves their sum, the tape's speed, alone.
    const double pair = (mark.short_cycle + mark.long_cycle) * kept_.per_processed() * up;
    const double short_cycle = pair * kNominalShortCycle / (kNominalShortCycle + kNominalLongCycle);
    const double long_cycle = pair - short_cycle;
    const auto free_start = static_cast<std::size_t>(kFreeStartCycles * long_cycle);
    KeptSamples::StretchEnd head;
    head.most = free_start + static_cast<std::size_t>(kLevelCycles * (short_cycle + long_cycle) / 2);
    const std::vector<float> level_part = kept_.stretch(first, up, mark.direction, head);
    const std::size_t level_end = level_part.size();
    if (level_end <= free_start) return;
    const double amplitude = tone_amplitude(level_part, free_start, level_end);
    if (!(amplitude > 0)) return;
    // No block runs on through a silence longer than a dropout it is read
    // through (a gap between files, the recording's closing silence): the
    // cycles are read up to there.
    KeptSamples::StretchEnd to_silence;
    to_silence.silent_below = static_cast<float>(kSilentBelow * amplitude);
    to_silence.silent_run = static_cast<std::size_t>(kLongestDropout / seconds_per_step_ * kept_.per_processed() * up);
    to_silence.silence_after = level_end;
    const std::vector<float> stretch = kept_.stretch(first, up, mark.direction, to_silence);
    const std::vector<SequenceCycle> cycles = read_cycle_sequence(stretch, short_cycle, long_cycle, amplitude, free_start);

    HeardBlock heard;
    std::size_t sync = 0, end = 0;  // not a structured binding: the lambda below needs `end`
    std::tie(sync, end) = block_in(cycles, heard);
    if (through_damage(cycles, sync, end, kNoisyFirstReading)) heard.complete = false;
    // Once more, each cycle compared with the shape that the cycles just
    // read show the channel gives it; taken only when sound, for else the
    // first reading says best where the block ends.
    std::vector<SequenceCycle> again;
    if (!heard.sound()) {
        again = read_cycle_sequence(stretch, short_cycle, long_cycle, amplitude, free_start, &cycles);
        HeardBlock taught;
        const auto span = block_in(again, taught);
        if (through_damage(again, span.first, span.second, kNoisyTaughtReading)) taught.complete = false;
        if (taught.sound()) {
            heard = taught;
            std::tie(sync, end) = span;
        } else {
            again.clear();
        }
    }
    const std::vector<SequenceCycle>& used = again.empty() ? cycles : again;
    if (mark.after_block) {
        const double heard_at = heard.sound() ? static_cast<double>(used[sync].start) : -1;
        read_from_its_end(mark, stretch, first, up, cycles, heard_at, short_cycle, long_cycle, lengths, blocks);
    }
    // Where the block's last byte ends, in filtered samples.
    const auto end_time = [&] {
        const double kept = first + static_cast<double>(used[end - 1].start + used[end - 1].length) / up;
        return kept_.processed_position(kept) + centre_;
    };
    if (!heard.sound()) {
        // Nothing better than what the crossings heard. Yet a block read to
        // the length its length byte says ended about there, even with a
        // cycle wrong: the block after a data block follows it, and may be
        // one that the crossings never heard either.
        if (end > sync && heard.block.whole()) mark_end_of(heard, end_time(), mark);
        return;
    }
    measure(heard, used, sync, end, static_cast<double>(used[sync].start), first, up, lengths);
    keep_reading(heard, blocks);
    mark_end_of(heard, end_time(), mark);
}

void SecondReading::measure(HeardBlock& heard, const std::vector<SequenceCycle>& used, std::size_t from, std::size_t to,
                            double starts, double first, double up, const CycleLengths& lengths) const
{
    double nominal = 0, took = 0;
    heard.figures.margin = 1;
    for (std::size_t c = from; c < to; ++c) {
        nominal += (used[c].short_cycle ? 1 : 2) * lengths.nominal_short() * kept_.per_processed() * up;
        took += static_cast<double>(used[c].length);
        heard.figures.margin = std::min(heard.figures.margin, used[c].margin);
    }
    heard.figures.speed = nominal / took;
    const double begins = first + starts / up;
    const double ends = first + static_cast<double>(used[to - 1].start + used[to - 1].length) / up;
    heard.seconds = std::max(0.0, kept_.processed_position(begins)) * seconds_per_step_;
    float peak = 0;
    for (auto i = static_cast<std::int64_t>(begins); i < static_cast<std::int64_t>(ends); ++i)
        peak = std::max(peak, std::fabs(kept_.at(i)));
    heard.figures.level = level_in_decibels(static_cast<double>(peak) / static_cast<double>(kept_.step()));
}

void SecondReading::read_from_its_end(const Mark& mark, const std::vector<float>& stretch, double first, double up,
                                      const std::vector<SequenceCycle>& cycles, double heard_at, double short_cycle,
                                      double long_cycle, const CycleLengths& lengths, std::vector<HeardBlock>& blocks)
{
    // Stretch samples to a nominal sample, at the speed the mark gives.
    const double scale = (short_cycle + long_cycle) / (kNominalShortCycle + kNominalLongCycle);
    // Where the block after the one that ended at the mark starts (its sync
    // byte), in samples of the stretch.
    const double expected = (kept_.kept_position(mark.time - centre_) - first) * up + kBlockToBlock * scale;
    const double slack = kStartSlackCycles * long_cycle;
    if (heard_at >= 0 && std::fabs(heard_at - expected) < slack) return;
    const double silence = static_cast<double>(kSilenceAfterBlock) * scale;
    for (std::size_t sync = sync_in(cycles, 0); sync < cycles.size(); sync = sync_in(cycles, sync + 1)) {
        // The next block heard: its marker byte after a silence, later than
        // the shortest block could end.
        if (sync < kBitsPerByte || static_cast<double>(cycles[sync].start) < expected + kShortestBlock * scale) continue;
        const std::size_t marker = sync - kBitsPerByte;
        const double marker_start = static_cast<double>(cycles[marker].start);
        if (!silent_before(stretch, marker_start, silence, long_cycle)) continue;
        // Read again, at the level of the block's last bytes (its start may
        // be lost in a dropout), up to the next block's type byte.
        const auto level_end = static_cast<std::size_t>(std::max(0.0, marker_start - silence - long_cycle));
        const auto level_start = static_cast<std::size_t>(
            std::max(0.0, static_cast<double>(level_end) - kLevelCycles * (short_cycle + long_cycle) / 2));
        if (level_end <= level_start) return;
        const double amplitude = tone_amplitude(stretch, level_start, level_end);
        if (!(amplitude > 0)) return;
        const auto reach = std::min(stretch.size(), static_cast<std::size_t>(marker_start + kNextBytesRead * kBitsPerByte * long_cycle));
        const std::vector<float> part(stretch.begin(), stretch.begin() + static_cast<std::ptrdiff_t>(reach));
        const auto free_start = static_cast<std::size_t>(kFreeStartCycles * long_cycle);
        const std::vector<SequenceCycle> again = read_cycle_sequence(part, short_cycle, long_cycle, amplitude, free_start);
        // The next block's marker in this reading.
        std::size_t next = sync_in(again, 0);
        while (next < again.size() && static_cast<double>(again[next].start) < static_cast<double>(cycles[sync].start) - long_cycle)
            next = sync_in(again, next + 1);
        if (next >= again.size() || next < kBitsPerByte ||
            std::fabs(static_cast<double>(again[next].start) - static_cast<double>(cycles[sync].start)) > long_cycle)
            return;
        const auto block = block_before(again, next - kBitsPerByte, silence, long_cycle);
        if (!block) return;
        // It starts where a block after the one at the mark must.
        double lost = 0;
        for (std::size_t b = 0; b < block->lost_bytes; ++b)
            lost += static_cast<double>(byte_sample_count(block->heard.block.bytes[b]));
        const double starts = static_cast<double>(again[block->first].start) - lost * scale;
        if (std::fabs(starts - expected) > slack) return;
        HeardBlock heard = block->heard;
        heard.without_sync = true;
        measure(heard, again, block->first, block->end, starts, first, up, lengths);
        keep_reading(heard, blocks);
        return;
    }
}

}  // namespace morlevix
