// Reading a stretch of signal as a sequence of whole short and long cycles.
#include "tape/decoder/cycle_sequence.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

namespace morlevix {
namespace {

constexpr double kShort = 18;  // samples, as in our own WAVs
constexpr double kLong = 36;

// Square cycles, high first, of the bits in `bits` ('1' short, '0' long),
// `speed` times as fast, after `silence` samples of nothing.
std::vector<float> cycles_of(const std::string& bits, double speed = 1, std::size_t silence = 0)
{
    std::vector<float> samples(silence, 0.0f);
    double at = 0;
    for (const char bit : bits) {
        const double length = (bit == '1' ? kShort : kLong) / speed;
        const double end = at + length;
        for (auto i = static_cast<std::size_t>(std::ceil(at)); static_cast<double>(i) < end; ++i)
            samples.push_back(static_cast<double>(i) - at < length / 2 ? 1.0f : -1.0f);
        at = end;
    }
    return samples;
}

std::string bits_of(const std::vector<SequenceCycle>& cycles)
{
    std::string bits;
    for (const auto& cycle : cycles) bits += cycle.short_cycle ? '1' : '0';
    return bits;
}

const std::string kBits = "1010101000111100" "10000000" "11110000" "01101001" "00110101" "11100010";

TEST(CycleSequence, CleanCyclesAreReadWithTheirPlacesAndAClearMargin)
{
    // A silence before the first cycle is passed over.
    const auto cycles = read_cycle_sequence(cycles_of(kBits, 1, 50), kShort, kLong, 1.0, 60);
    EXPECT_EQ(bits_of(cycles), kBits);
    ASSERT_FALSE(cycles.empty());
    EXPECT_EQ(cycles.front().start, 50u);
    for (std::size_t i = 1; i < cycles.size(); ++i) EXPECT_EQ(cycles[i].start, cycles[i - 1].start + cycles[i - 1].length);
    for (const auto& cycle : cycles) EXPECT_GT(cycle.margin, 0.6);

    // A tape 4 % fast or slow: the cycles stretch by a sample here and there.
    for (const double speed : {0.96, 1.04})
        EXPECT_EQ(bits_of(read_cycle_sequence(cycles_of(kBits, speed), kShort / speed, kLong / speed, 1.0, 0)), kBits)
            << speed;
}

TEST(CycleSequence, WhatMovesTheCrossingsDoesNotChangeTheCycles)
{
    // Into every long cycle, a stray crossing pair (a spike the other way
    // in its first half) and an echo of the short cycles' tone at half the
    // level: either would make two short cycles of it for a zero-crossing
    // reader.
    std::vector<float> samples = cycles_of(kBits);
    constexpr double kPi = 3.14159265358979323846;
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] += 0.5f * static_cast<float>(std::sin(2 * kPi * static_cast<double>(i) / kShort + 1.0));
    std::size_t at = 0;
    for (const char bit : kBits) {
        const auto length = static_cast<std::size_t>(bit == '1' ? kShort : kLong);
        if (bit == '0') samples[at + length / 4] = -1.5f;
        at += length;
    }
    EXPECT_EQ(bits_of(read_cycle_sequence(samples, kShort, kLong, 1.0, 0)), kBits);

    // White noise at 3 dB below the signal, over the whole band.
    std::mt19937 generator(3);
    std::normal_distribution<float> noise(0.0f, 0.7f);
    std::vector<float> noisy = cycles_of(kBits);
    for (auto& s : noisy) s += noise(generator);
    EXPECT_EQ(bits_of(read_cycle_sequence(noisy, kShort, kLong, 1.0, 0)), kBits);
}

TEST(CycleSequence, ShapesLearnedFromAFirstReadingFitWherePureTonesDoNot)
{
    // An echo one short cycle late, nearly as loud, and noise: no cycle
    // looks like a pure tone any more, and a first reading slips. Compared
    // with the shapes that reading shows, every cycle comes back.
    std::mt19937 generator(5);
    std::string bits;
    for (int i = 0; i < 2000; ++i) bits += (generator() & 1) != 0 ? '1' : '0';
    const std::vector<float> clean = cycles_of(bits);
    std::normal_distribution<float> noise(0.0f, 0.5f);
    std::vector<float> heard(clean.size());
    const auto delay = static_cast<std::size_t>(kShort);
    for (std::size_t i = 0; i < heard.size(); ++i)
        heard[i] = clean[i] + (i >= delay ? 0.9f * clean[i - delay] : 0.0f) + noise(generator);
    const auto first = read_cycle_sequence(heard, kShort, kLong, 1.0, 0);
    EXPECT_NE(bits_of(first), bits);
    EXPECT_EQ(bits_of(read_cycle_sequence(heard, kShort, kLong, 1.0, 0, &first)), bits);
}

}  // namespace
}  // namespace morlevix
