#include "cassette_format.h"

namespace morlevix {
namespace {

// Bytes of a file name shown as they are; any other byte shows as a stand-in.
constexpr std::uint8_t kFirstPrintable = 0x20;
constexpr std::uint8_t kLastPrintable = 0x7E;
constexpr char kUnprintableStandIn = '?';
constexpr unsigned kByteMask = 0xFF;

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

}  // namespace morlevix
