// Reading a tape image: a plain byte stream in which blocks are found by
// their sync byte 0x3C. A block is sync, type, length L, L payload bytes and
// a closing byte (the cassette checksum). Bytes between blocks are skipped
// whatever they hold.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>

namespace morlevix {

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

// One block as read from the image, sync byte first.
struct TapeBlock {
    std::array<std::uint8_t, kMaxBlockSize> bytes{};
    std::size_t length = 0;  // L + 4 once the block is complete

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
};

// The cassette checksum of a block: type, length and payload added up,
// modulo 256. A sound block's closing byte holds it.
std::uint8_t block_checksum(std::uint8_t type, const std::uint8_t* payload, std::size_t length);
bool checksum_is_right(const TapeBlock& block);

// The header's file name as a console may show it: up to its first NUL,
// every byte outside printable ASCII as '?' (a tape image cannot send
// control sequences to the terminal); trailing spaces are kept.
std::string shown_file_name(const TapeBlock& header);

enum class BlockRead {
    complete,      // a whole block is in the buffer
    end_of_image,  // the image ended between blocks
    truncated,     // the image ended inside a block; the buffer holds what was read
    read_error,    // the image could not be read
};

// Reads the blocks of an image one after another, each byte once, in order.
class TapeImageReader {
public:
    explicit TapeImageReader(std::istream& tape) : tape_(tape) {}

    // Skips to the next sync byte and reads the block that it starts.
    BlockRead next(TapeBlock& block);
    // Where the sync byte of the block last read lies in the image.
    std::uint64_t block_position() const { return block_position_; }

private:
    int get();

    std::istream& tape_;
    std::uint64_t position_ = 0;
    std::uint64_t block_position_ = 0;
};

}  // namespace morlevix
