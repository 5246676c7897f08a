// The facts of the Alice and MC-10 cassette format, in one place: how bits
// sound, what surrounds a block, how a block is laid out, and what a file
// header holds. The image reader, the encoder, the decoder and the catalog
// all read them from here.
//
// A 0 bit is one slow cycle (18 samples high, 18 low at 44.1 kHz: 1,225 Hz),
// a 1 bit one fast cycle (9 high, 9 low: 2,450 Hz). Bytes go least
// significant bit first with nothing between bits or bytes. A block is the
// sync byte 0x3C, its type, its payload length L, L payload bytes and a
// closing byte (the checksum), framed on the tape by a marker byte 0x55 on
// each side; leaders are runs of 0x55.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace morlevix {

// The signal: the rate of our WAVs and the two cycles, in its samples.
inline constexpr std::uint32_t kSampleRate = 44100;
inline constexpr std::size_t kZeroBitHalfCycle = 18;
inline constexpr std::size_t kOneBitHalfCycle = 9;
inline constexpr int kBitsPerByte = 8;

// The bytes around blocks: a marker byte on each side of every block, and
// the leader of 0x55 bytes before (and after) a file header.
inline constexpr std::uint8_t kMarkerByte = 0x55;
inline constexpr std::uint8_t kLeaderByte = 0x55;
inline constexpr std::size_t kLeaderLength = 128;

// A block: sync, type, length L, L payload bytes and a closing byte.
inline constexpr std::uint8_t kSyncByte = 0x3C;
inline constexpr std::size_t kBlockFraming = 4;  // sync, type, length, closing byte
inline constexpr std::size_t kMaxBlockPayload = 255;
inline constexpr std::size_t kMaxBlockSize = kMaxBlockPayload + kBlockFraming;

// Offsets inside a block, counted from its sync byte.
inline constexpr std::size_t kBlockTypeOffset = 1;
inline constexpr std::size_t kBlockLengthOffset = 2;
inline constexpr std::size_t kPayloadOffset = 3;

// Block types: a file header, the data blocks, the end of a file.
inline constexpr std::uint8_t kHeaderBlockType = 0x00;
inline constexpr std::uint8_t kDataBlockType = 0x01;
inline constexpr std::uint8_t kEndBlockType = 0xFF;

// Fields of a file header block's payload, at offsets from the sync byte.
inline constexpr std::size_t kNameOffset = 3;
inline constexpr std::size_t kNameLength = 8;
inline constexpr std::size_t kFileTypeOffset = 11;
inline constexpr std::size_t kAsciiFlagOffset = 12;
inline constexpr std::size_t kGapFlagOffset = 13;
inline constexpr std::size_t kFirstAddressOffset = 14;
inline constexpr std::size_t kSecondAddressOffset = 16;
inline constexpr std::size_t kHeaderPayloadLength = 15;

// The gap flag value that gives every block of a file its own gap and leader.
inline constexpr std::uint8_t kGapBeforeEveryBlock = 0xFF;

// File types of a header block.
inline constexpr std::uint8_t kBasicFile = 0x00;
inline constexpr std::uint8_t kDataFile = 0x01;
inline constexpr std::uint8_t kMachineCodeFile = 0x02;

// The layout of Alice tape images in circulation: a leader before every block.
inline constexpr std::size_t kImageLeaderLength = 128;

// One block, sync byte first.
struct TapeBlock {
    std::array<std::uint8_t, kMaxBlockSize> bytes{};
    std::size_t length = 0;  // L + 4 once the block is whole

    // The byte at `offset`, or 0 past the end of the block: header fields
    // of a short header block read as 0, never as leftovers of another block.
    std::uint8_t at(std::size_t offset) const { return offset < length ? bytes[offset] : 0; }
    // A big-endian 16-bit field, read like at().
    std::uint16_t word_at(std::size_t offset) const
    {
        return static_cast<std::uint16_t>(at(offset) << 8 | at(offset + 1));
    }
    std::uint8_t type() const { return bytes[kBlockTypeOffset]; }
    bool is_header() const { return type() == kHeaderBlockType; }
    std::size_t payload_length() const { return bytes[kBlockLengthOffset]; }
    const std::uint8_t* payload() const { return bytes.data() + kPayloadOffset; }
    std::uint8_t closing_byte() const { return bytes[length - 1]; }
    // Every byte its length byte promises is there, the closing byte included.
    bool whole() const { return length > kBlockLengthOffset && length == payload_length() + kBlockFraming; }
};

// The cassette checksum of a block: type, length and payload added up,
// modulo 256. A sound block's closing byte holds it.
std::uint8_t block_checksum(std::uint8_t type, const std::uint8_t* payload, std::size_t length);
bool checksum_is_right(const TapeBlock& block);

// The header's file name as a console may show it: up to its first NUL,
// every byte outside printable ASCII as '?' (a tape image cannot send
// control sequences to the terminal); trailing spaces are kept.
std::string shown_file_name(const TapeBlock& header);

}  // namespace morlevix
