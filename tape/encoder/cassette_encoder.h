// The cassette signal: tape blocks turned into a two-frequency square wave
// (cassette_format.h says how bits and bytes sound). Every block is framed
// by a marker byte on each side and followed by a short silence; a file
// header block gets half a second of silence and a leader of 128 marker
// bytes before and after it.
#pragma once

#include <cstddef>
#include <array>
#include <cstdint>

#include "tape/image/cassette_format.h"
#include "tape/sound/wav_output.h"

namespace morlevix {

inline constexpr std::uint8_t kHighLevel = 0xFA;
inline constexpr std::uint8_t kLowLevel = 0x05;

inline constexpr std::uint64_t kGapSamples = kSampleRate / 2;
inline constexpr std::uint64_t kSilenceAfterBlock = 180;

// Zero writes the slow cycle, any other value the fast one.
void write_bit(WavWriter& wav, int bit);
// The low 8 bits of `value`, least significant bit first.
void write_byte(WavWriter& wav, int value);
// Half a second of silence, then the 128-byte leader.
void write_gap_and_leader(WavWriter& wav);
// One whole block, sync byte to closing byte (`length` bytes, at least 2 so
// that its type byte is there), with its framing, silence, gaps and leaders.
void write_block(WavWriter& wav, const std::uint8_t* block, std::size_t length, std::uint8_t gap_flag);

// Samples that write_byte and write_block produce, without producing them.
std::uint64_t byte_sample_count(std::uint8_t value);
std::uint64_t block_sample_count(const std::uint8_t* block, std::size_t length, std::uint8_t gap_flag);

// What write_block writes, part by part, in order: at most a gap and
// leader, the framed block, its silence, and a gap and leader.
struct SignalPart {
    enum Kind { silence, leader, block } kind;
    std::uint64_t samples;
};
struct BlockSignal {
    static constexpr std::size_t kMostParts = 6;
    std::array<SignalPart, kMostParts> parts;
    std::size_t count = 0;
    const SignalPart* begin() const { return parts.data(); }
    const SignalPart* end() const { return parts.data() + count; }
};
BlockSignal block_signal_parts(const std::uint8_t* block, std::size_t length, std::uint8_t gap_flag);

}  // namespace morlevix
