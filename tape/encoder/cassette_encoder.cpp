#include "cassette_encoder.h"

#include <array>
#include <bitset>
#include <cstring>
#include <utility>

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

// Both cycles in slots of the longer one's size, indexed by the bit, so that
// a byte is written without a branch per bit: each bit copies a whole slot
// and moves on by its own cycle's length; the next bit overwrites the rest.
constexpr std::size_t kCycleSlot = kZeroCycle.size();
constexpr std::size_t kLongestByte = kBitsPerByte * kCycleSlot;
constexpr std::array<std::array<std::uint8_t, kCycleSlot>, 2> make_cycle_slots()
{
    std::array<std::array<std::uint8_t, kCycleSlot>, 2> slots{};
    for (std::size_t i = 0; i < kZeroCycle.size(); ++i) slots[0][i] = kZeroCycle[i];
    for (std::size_t i = 0; i < kOneCycle.size(); ++i) slots[1][i] = kOneCycle[i];
    return slots;
}
constexpr auto kCycleSlots = make_cycle_slots();
static_assert(kLongestByte <= WavWriter::kMaxRoom, "a byte's samples fit in the writer's bulk room");
constexpr std::size_t kCycleLengths[2] = {kZeroCycle.size(), kOneCycle.size()};

std::uint8_t* put_cycle(std::uint8_t* out, unsigned bit)
{
    std::memcpy(out, kCycleSlots[bit].data(), kCycleSlot);
    return out + kCycleLengths[bit];
}

// The bits of a byte, least significant first, unrolled.
template <std::size_t... Bit>
std::uint8_t* put_bits(std::uint8_t* out, unsigned value, std::index_sequence<Bit...>)
{
    ((out = put_cycle(out, (value >> Bit) & 1u)), ...);
    return out;
}

bool is_header_block(const std::uint8_t* block) { return block[kBlockTypeOffset] == kHeaderBlockType; }

bool has_gap_before(const std::uint8_t* block, std::uint8_t gap_flag)
{
    return is_header_block(block) || gap_flag == kGapBeforeEveryBlock;
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
    std::uint8_t* const start = wav.room_for(kLongestByte);
    const std::uint8_t* const end =
        put_bits(start, static_cast<unsigned>(value), std::make_index_sequence<kBitsPerByte>());
    wav.commit(static_cast<std::size_t>(end - start));
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
    // Every bit is a slow cycle but the 1 bits, which are shorter.
    const std::uint64_t ones = std::bitset<kBitsPerByte>(value).count();
    return kBitsPerByte * kZeroCycle.size() - ones * (kZeroCycle.size() - kOneCycle.size());
}

BlockSignal block_signal_parts(const std::uint8_t* block, std::size_t length, std::uint8_t gap_flag)
{
    const SignalPart gap = {SignalPart::silence, kGapSamples};
    const SignalPart leader = {SignalPart::leader, kLeaderLength * byte_sample_count(kLeaderByte)};
    BlockSignal signal;
    const auto add = [&signal](const SignalPart& part) { signal.parts[signal.count++] = part; };
    if (has_gap_before(block, gap_flag)) {
        add(gap);
        add(leader);
    }
    SignalPart framed = {SignalPart::block, 2 * byte_sample_count(kMarkerByte)};
    for (std::size_t i = 0; i < length; ++i) framed.samples += byte_sample_count(block[i]);
    add(framed);
    add({SignalPart::silence, kSilenceAfterBlock});
    if (is_header_block(block)) {
        add(gap);
        add(leader);
    }
    return signal;
}

std::uint64_t block_sample_count(const std::uint8_t* block, std::size_t length, std::uint8_t gap_flag)
{
    std::uint64_t samples = 0;
    for (const auto& part : block_signal_parts(block, length, gap_flag)) samples += part.samples;
    return samples;
}

}  // namespace morlevix
