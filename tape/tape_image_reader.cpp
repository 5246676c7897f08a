#include "tape_image_reader.h"

#include <istream>

namespace morlevix {
namespace {

// Bytes of a file name shown as they are; any other byte shows as a stand-in.
constexpr std::uint8_t kFirstPrintable = 0x20;
constexpr std::uint8_t kLastPrintable = 0x7E;
constexpr char kUnprintableStandIn = '?';
constexpr unsigned kByteMask = 0xFF;

using traits = std::istream::traits_type;

}  // namespace

std::uint8_t block_checksum(std::uint8_t type, const std::uint8_t* payload, std::size_t length)
{
    unsigned sum = type + static_cast<unsigned>(length);
    for (std::size_t i = 0; i < length; ++i) sum += payload[i];
    return static_cast<std::uint8_t>(sum & kByteMask);
}

bool checksum_is_right(const TapeBlock& block)
{
    return block.closing_byte() == block_checksum(block.type(), block.payload(), block.payload_length());
}

std::string shown_file_name(const TapeBlock& header)
{
    std::string name;
    for (std::size_t i = kNameOffset; i < kNameOffset + kNameLength; ++i) {
        const std::uint8_t b = header.at(i);
        if (b == 0) break;
        name += (b >= kFirstPrintable && b <= kLastPrintable) ? static_cast<char>(b) : kUnprintableStandIn;
    }
    return name;
}

int TapeImageReader::get()
{
    const auto c = tape_.get();
    if (traits::eq_int_type(c, traits::eof())) return -1;
    ++position_;
    return static_cast<std::uint8_t>(traits::to_char_type(c));
}

BlockRead TapeImageReader::next(TapeBlock& block)
{
    const auto stopped = [this] { return tape_.bad() ? BlockRead::read_error : BlockRead::truncated; };
    for (;;) {
        const int c = get();
        if (c < 0) return tape_.bad() ? BlockRead::read_error : BlockRead::end_of_image;
        if (c == kSyncByte) break;
    }
    block_position_ = position_ - 1;
    block.bytes[0] = kSyncByte;
    block.length = 1;
    while (block.length < kPayloadOffset) {
        const int c = get();
        if (c < 0) return stopped();
        block.bytes[block.length++] = static_cast<std::uint8_t>(c);
    }
    const std::size_t total = block.bytes[kBlockLengthOffset] + kBlockFraming;
    tape_.read(reinterpret_cast<char*>(block.bytes.data() + block.length),
               static_cast<std::streamsize>(total - block.length));
    const auto got = static_cast<std::size_t>(tape_.gcount());
    position_ += got;
    block.length += got;
    return block.length == total ? BlockRead::complete : stopped();
}

}  // namespace morlevix
