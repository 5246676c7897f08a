#include "block_reader.h"

#include <algorithm>
#include <cmath>

namespace morlevix {
namespace {

// A cycle longer than this (in short cycles) whose middle crossing lies
// outside this part of it is two cycles, one crossing lost.
constexpr double kMergedAtLeast = 1.3;
constexpr double kCentreLow = 0.38;
constexpr double kCentreHigh = 1 - kCentreLow;

// A block whose weakest bit lay this near the line between a 0 and a 1
// (its margin) may have bits read the wrong way: noise over it gives such
// cycles, and two bits wrong can leave the checksum right. Its cycles are
// read a second time, and that reading is kept where it is sound.
constexpr double kWeakMargin = 0.10;
// Nearer than this, the bit is a guess.
constexpr double kGuessedMargin = 0.03;

// Levels in dB below full scale, and the level of a block heard as silence.
constexpr double kDecibelsPerDecade = 20;
constexpr double kSilentLevel = -120;

}  // namespace

double level_in_decibels(double peak) { return peak > 0 ? kDecibelsPerDecade * std::log10(peak) : kSilentLevel; }

BlockReader::BlockReader(double seconds_per_step, double delay, std::size_t step)
    : seconds_per_step_(seconds_per_step),
      delay_(delay),
      // A processed sample is the sum of two steps of samples (one sample
      // at the lowest rates).
      peak_scale_(step == 1 ? 1.0f : 1.0f / static_cast<float>(2 * step))
{
}

void BlockReader::start(int direction, double sync_start, double marker_start)
{
    reading_ = true;
    direction_ = direction;
    current_ = HeardBlock{};
    current_.block.bytes[0] = kSyncByte;
    current_.block.length = 1;
    // The filters delay everything by half their length.
    current_.seconds = std::max(0.0, sync_start - delay_) * seconds_per_step_;
    marker_start_ = marker_start;
    bits_ = 0;
    byte_ = 0;
    pending_ = 0;
    nominal_time_ = 0;
    heard_time_ = 0;
    block_peak_ = 0;
    weakest_margin_ = 1;
    bytes_end_ = sync_start;
    closing_bits_ = -1;
}

bool BlockReader::cycle(double start, double period, double other, CycleLengths& lengths)
{
    // Crossings alternate, so the other direction's latest one lies inside
    // this cycle: in its middle, unless a crossing was lost to noise and
    // this is really two cycles.
    if (pending_ == 0 && period > kMergedAtLeast * lengths.short_cycle()) {
        const double first_half = other - start;
        const double centre = first_half / period;
        if (centre < kCentreLow || centre > kCentreHigh) {
            const double first = centre < kCentreLow ? 2 * first_half : period - 2 * (period - first_half);
            const double shortest = lengths.shortest();
            if (first > shortest && period - first > shortest) {
                return read_bit(first, start + first, lengths) || read_bit(period - first, start + period, lengths);
            }
        }
    }
    return read_bit(period, start + period, lengths);
}

bool BlockReader::read_bit(double period, double end_time, CycleLengths& lengths)
{
    period += pending_;
    pending_ = 0;
    if (period < lengths.shortest()) {
        pending_ = period;  // a glitch cut this cycle: wait for the rest of it
        return false;
    }
    const int bit = lengths.classify(period);
    if (bit < 0) {
        end(false, lengths);  // a silence or a dropout
        return true;
    }
    weakest_margin_ = std::min(weakest_margin_, lengths.margin_of(period));
    // The speed is the bits' nominal time over the time they took: the
    // band-pass moves single crossings, never the whole.
    nominal_time_ += bit != 0 ? lengths.nominal_short() : 2 * lengths.nominal_short();
    heard_time_ += period;
    lengths.learn(bit, period);
    byte_ = (byte_ >> 1) | static_cast<unsigned>(bit) << (kBitsPerByte - 1);
    if (++bits_ < kBitsPerByte) return false;
    TapeBlock& block = current_.block;
    block.bytes[block.length++] = static_cast<std::uint8_t>(byte_);
    bits_ = 0;
    byte_ = 0;
    bytes_end_ = end_time;
    if (!block.whole()) return false;
    bytes_heard(end_time, lengths);
    return true;
}

void BlockReader::bytes_heard(double end_time, const CycleLengths& lengths)
{
    end(true, lengths);
    bytes_end_ = end_time;
    closing_bits_ = 0;
}

bool BlockReader::closing_cycle(double period, const CycleLengths& lengths)
{
    // A silence or another bit there, and the block's reading is in doubt.
    const int bit = lengths.classify(period);
    const bool expected = bit == static_cast<int>((kMarkerByte >> closing_bits_) & 1);
    if (expected && ++closing_bits_ < kClosingBits) return false;
    current_.closed = expected;
    closing_bits_ = -1;
    return true;
}

void BlockReader::stop(const CycleLengths& lengths)
{
    if (closing_bits_ >= 0) {
        current_.closed = false;  // the recording ended before the closing marker
        closing_bits_ = -1;
        return;
    }
    end(false, lengths);
}

void BlockReader::end(bool complete, const CycleLengths& lengths)
{
    BlockFigures& figures = current_.figures;
    figures.speed = heard_time_ > 0 ? nominal_time_ / heard_time_ : lengths.nominal_short() / lengths.short_cycle();
    figures.level = level_in_decibels(static_cast<double>(block_peak_ * peak_scale_));
    figures.margin = heard_time_ > 0 ? weakest_margin_ : 0;
    current_.complete = complete;
    current_.weak = complete && figures.margin < kWeakMargin;
    current_.guessed = complete && figures.margin < kGuessedMargin;
    reading_ = false;
}

}  // namespace morlevix
