// The decoder's stages driven alone, in memory: the filter's sums against
// plain ones, the crossings of a known wave, a leader and a sync byte found
// among cycles, and a block read from its bits.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "tape/decoder/block_reader.h"
#include "tape/decoder/crossing_detector.h"
#include "tape/decoder/signal_filter.h"
#include "tape/decoder/sync_search.h"

namespace morlevix {
namespace {

constexpr double kPi = 3.14159265358979323846;

TEST(DecoderStages, TheFilterSumsEachStepAndFiltersAsPlainArithmeticDoes)
{
    // The summing down and the band-pass run several outputs at once: each
    // output must still be the very sum one output alone gives, bit for
    // bit, at every rate's step and however the samples arrive.
    std::mt19937 generator(5);
    std::normal_distribution<float> noise;
    for (const double rate : {8000.0, 22050.0, 44100.0, 48000.0, 96000.0}) {
        SignalFilter filter(rate);
        const std::size_t step = filter.step();
        std::vector<float> samples(step * (SignalFilter::kChunk + 37));
        for (auto& s : samples) s = noise(generator);
        std::size_t at = 0;
        for (const std::size_t piece : {std::size_t{1}, step * 5 + 2, samples.size()}) {
            at += filter.sum_down(samples.data() + at, std::min(piece, samples.size() - at));
            if (filter.full()) break;
        }
        ASSERT_TRUE(filter.full()) << rate;
        filter.filter();
        // The samples before the filters: a step and the one before it summed.
        const float* before = filter.before();
        const auto first = static_cast<std::ptrdiff_t>(filter.history() - filter.centre());  // the chunk's first new sample
        for (std::size_t n = 0; n < SignalFilter::kChunk; ++n) {
            float sum = 0, previous = 0;
            for (std::size_t k = 0; k < step; ++k) sum += samples[n * step + k];
            if (n > 0)
                for (std::size_t k = 0; k < step; ++k) previous += samples[(n - 1) * step + k];
            const float expected = step == 1 ? sum : sum + previous;
            ASSERT_EQ(before[first + static_cast<std::ptrdiff_t>(n)], expected) << rate << " Hz, sample " << n;
        }
        // The band-pass, its two samples of a tap added first.
        const auto& taps = filter.taps();
        const std::size_t half = taps.size() / 2;
        for (std::size_t n = 0; n < SignalFilter::kChunk; ++n) {
            const float* x = before + n - half;
            float expected = taps[half] * x[half];
            for (std::size_t k = 0; k < half; ++k) expected += taps[k] * (x[k] + x[taps.size() - 1 - k]);
            ASSERT_EQ(filter.output()[n], expected) << rate << " Hz, output " << n;
        }
    }
}

// Records the crossings a detector counts.
class Crossings final : public CrossingDetector::Listener {
public:
    bool crossing(int direction, double time, float peak) override
    {
        times[direction].push_back(time);
        loudest = std::max(loudest, peak);
        return reading;
    }
    void peak(float peak) override { loudest = std::max(loudest, peak); }
    std::vector<double> times[kDirections];
    float loudest = 0;
    bool reading = false;
};

TEST(DecoderStages, CrossingsFallBetweenSamplesWhereTheWaveCrossesZero)
{
    // A sine of 9.3 samples a cycle, with hiss far under the hysteresis:
    // one crossing each way per cycle, each within a fiftieth of a sample
    // of where the sine crosses zero (the ramp between two samples).
    constexpr double kPeriod = 9.3;
    constexpr std::size_t kCount = 2000;
    std::mt19937 generator(3);
    std::normal_distribution<float> hiss(0.0f, 0.002f);
    std::vector<float> wave(kCount), before(kCount, 0.0f);
    for (std::size_t n = 0; n < kCount; ++n)
        wave[n] = static_cast<float>(std::sin(2 * kPi * (static_cast<double>(n) + 0.25) / kPeriod)) + hiss(generator);
    before[1234] = 0.75f;  // the loudest sample before the filters
    CrossingDetector detector(14700);
    Crossings heard;
    heard.reading = true;
    detector.detect(before.data(), wave.data(), kCount / 2, 0, true, heard);
    detector.detect(before.data() + kCount / 2, wave.data() + kCount / 2, kCount / 2, kCount / 2, true, heard);
    for (int direction : {kRising, kFalling}) {
        ASSERT_NEAR(static_cast<double>(heard.times[direction].size()), kCount / kPeriod, 2) << direction;
        for (std::size_t i = 1; i < heard.times[direction].size(); ++i) {  // the first has no zero crossing before it
            const double time = heard.times[direction][i];
            const double phase = (time + 0.25) / kPeriod * 2;  // whole numbers where the sine crosses zero
            EXPECT_NEAR(phase, std::round(phase), 0.02 * 2 / kPeriod) << direction << " at " << time;
        }
    }
    EXPECT_EQ(heard.loudest, 0.75f);

    // Hiss alone, after the wave and while no block is being read: the
    // level it had just before keeps it from making crossings.
    std::vector<float> hiss_only(kCount);
    for (auto& h : hiss_only) h = hiss(generator) * 10;  // 30 dB under the wave
    Crossings quiet;
    detector.detect(before.data(), hiss_only.data(), kCount, kCount, false, quiet);
    EXPECT_TRUE(quiet.times[kRising].empty() && quiet.times[kFalling].empty());
    EXPECT_EQ(quiet.loudest, 0.0f);  // no peaks are gathered between blocks
}

// Cycle lengths as our own WAVs give them, at the processing rate.
constexpr double kRate = 14700;
constexpr double kShort = 18 * kRate / 44100;
constexpr double kLong = 2 * kShort;

TEST(DecoderStages, ASyncByteAfterALeaderStartsABlockThatIsReadToItsLength)
{
    // A leader, a marker byte, the sync byte, then a short block: the search
    // marks the leader every sixteen cycles and finds the sync byte; the
    // block reader reads the rest bit by bit, to the length its length
    // byte says, and the speed it was heard at.
    CycleLengths lengths(kRate);
    SyncSearch search(lengths.nominal_short());
    std::vector<int> bits;
    for (int byte = 0; byte < 32; ++byte)
        for (int b = 0; b < kBitsPerByte; ++b) bits.push_back((kLeaderByte >> b) & 1);
    const std::vector<int> block = {kMarkerByte, kSyncByte, 0x01, 0x02, 0xA5, 0x5A, 0x02, kMarkerByte};  // checksum 0x102
    for (const int byte : block)
        for (int b = 0; b < kBitsPerByte; ++b) bits.push_back((byte >> b) & 1);
    std::vector<double> starts = {0};
    for (const int b : bits) starts.push_back(starts.back() + (b != 0 ? kShort : kLong));
    constexpr std::size_t kSyncBit = 33 * kBitsPerByte;
    int marks = 0;
    bool found = false;
    std::size_t bit = 0;
    double at = 0;
    for (; bit < bits.size(); ++bit) {
        at = starts[bit + 1];
        const auto heard = search.cycle(kRising, starts[bit], at, (starts[bit] + at) / 2, lengths);
        marks += heard.marked ? 1 : 0;
        if (!heard.sync) continue;
        found = true;
        // Found at the sync byte's last bit: where it and its marker byte began.
        EXPECT_EQ(bit + 1, kSyncBit + kBitsPerByte);
        EXPECT_DOUBLE_EQ(heard.sync_start, starts[kSyncBit]);
        EXPECT_DOUBLE_EQ(heard.marker_start, starts[kSyncBit - kBitsPerByte]);
        BlockReader reader(1 / kRate, 0, 3);
        reader.start(kRising, heard.sync_start, heard.marker_start);
        for (++bit; bit < bits.size() && reader.reading(); ++bit) {
            const double length = bits[bit] != 0 ? kShort : kLong;
            reader.cycle(at, length, at + length / 2, lengths);
            at += length;
        }
        ASSERT_FALSE(reader.reading());
        // Then the closing marker: a long cycle where its first short one
        // should be, and the block is not closed. Read with a clean margin
        // it is sound all the same (not every writer puts the marker after
        // the last block); with a bit near the line, it is in doubt.
        ASSERT_TRUE(reader.closing());
        BlockReader unclosed = reader;
        EXPECT_TRUE(unclosed.closing_cycle(kLong, lengths));
        HeardBlock doubted = unclosed.block();
        EXPECT_FALSE(doubted.closed);
        EXPECT_TRUE(doubted.sound());
        doubted.weak = true;
        EXPECT_FALSE(doubted.sound());
        EXPECT_TRUE(doubted.complete);
        int marker_cycles = 1;
        for (; !reader.closing_cycle(bits[bit] != 0 ? kShort : kLong, lengths); ++bit) ++marker_cycles;
        EXPECT_EQ(marker_cycles, 6);
        const HeardBlock& read = reader.block();
        EXPECT_TRUE(read.sound());
        EXPECT_EQ(std::vector<int>(read.block.bytes.begin(), read.block.bytes.begin() + 6),
                  std::vector<int>(block.begin() + 1, block.end() - 1));
        EXPECT_NEAR(read.figures.speed, 1.0, 1e-9);
        EXPECT_NEAR(read.figures.margin, 1.0, 0.01);
        break;
    }
    EXPECT_TRUE(found) << "no sync byte found";
    EXPECT_GE(marks, 10);  // a leader 256 cycles long is marked every sixteen

    // A cycle far too long inside a block is a dropout: the block breaks off.
    BlockReader reader(1 / kRate, 0, 3);
    reader.start(kRising, 0, 0);
    EXPECT_FALSE(reader.cycle(0, kShort, kShort / 2, lengths));
    EXPECT_TRUE(reader.cycle(kShort, 40 * kLong, 20 * kLong, lengths));
    EXPECT_FALSE(reader.block().complete);
}

}  // namespace
}  // namespace morlevix
