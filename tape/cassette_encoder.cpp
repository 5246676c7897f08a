#include "cassette_encoder.h"

#include <array>

namespace morlevix {
namespace {

template <std::size_t HalfCycle>
constexpr std::array<std::uint8_t, 2 * HalfCycle> make_cycle()
{
    std::array<std::uint8_t, 2 * HalfCycle> cycle{};
    for (std::size_t i = 0; i < HalfCycle; ++i) {
        cycle[i] = kHighLevel;  // every cycle starts with its high half
        cycle[HalfCycle + i] = kLowLevel;
    }
    return cycle;
}

// The two bit cycles, sample for sample: the only part of the signal held
// in memory.
constexpr auto kZeroCycle = make_cycle<kZeroBitHalfCycle>();
constexpr auto kOneCycle = make_cycle<kOneBitHalfCycle>();

bool is_header_block(const std::uint8_t* block) { return block[kBlockTypeOffset] == kHeaderBlockType; }

bool has_gap_before(const std::uint8_t* block, std::uint8_t gap_flag)
{
    return is_header_block(block) || gap_flag == kGapBeforeEveryBlock;
}

std::uint64_t gap_and_leader_sample_count()
{
    return kGapSamples + kLeaderLength * byte_sample_count(kLeaderByte);
}

}  // namespace

void write_bit(WavWriter& wav, int bit)
{
    if (bit == 0)
        wav.write_samples(kZeroCycle.data(), kZeroCycle.size());
    else
        wav.write_samples(kOneCycle.data(), kOneCycle.size());
}

void write_byte(WavWriter& wav, int value)
{
    for (int i = 0; i < kBitsPerByte; ++i) write_bit(wav, (value >> i) & 1);
}

void write_gap_and_leader(WavWriter& wav)
{
    wav.write_silence(kGapSamples);
    for (std::size_t i = 0; i < kLeaderLength; ++i) write_byte(wav, kLeaderByte);
}

void write_block(WavWriter& wav, const std::uint8_t* block, std::size_t length, std::uint8_t gap_flag)
{
    if (has_gap_before(block, gap_flag)) write_gap_and_leader(wav);
    write_byte(wav, kMarkerByte);
    for (std::size_t i = 0; i < length; ++i) write_byte(wav, block[i]);
    write_byte(wav, kMarkerByte);
    wav.write_silence(kSilenceAfterBlock);
    if (is_header_block(block)) write_gap_and_leader(wav);
}

std::uint64_t byte_sample_count(std::uint8_t value)
{
    std::uint64_t samples = 0;
    for (int i = 0; i < kBitsPerByte; ++i) samples += ((value >> i) & 1) ? kOneCycle.size() : kZeroCycle.size();
    return samples;
}

std::uint64_t block_sample_count(const std::uint8_t* block, std::size_t length, std::uint8_t gap_flag)
{
    std::uint64_t samples = 2 * byte_sample_count(kMarkerByte) + kSilenceAfterBlock;
    for (std::size_t i = 0; i < length; ++i) samples += byte_sample_count(block[i]);
    if (has_gap_before(block, gap_flag)) samples += gap_and_leader_sample_count();
    if (is_header_block(block)) samples += gap_and_leader_sample_count();
    return samples;
}

}  // namespace morlevix
