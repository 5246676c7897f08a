// Builds tape images byte by byte for tests, the fuzzing corpus, the
// benchmark and the bundled example.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace morlevix::testing {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kDataBlock = 0x01;
inline constexpr std::uint8_t kEndOfFileBlock = 0xFF;
inline constexpr std::uint8_t kMachineCodeFile = 0x02;

// The cassette checksum: type, length and payload added up, modulo 256.
inline std::uint8_t checksum(std::uint8_t type, const Bytes& payload)
{
    unsigned sum = type + static_cast<unsigned>(payload.size());
    for (auto b : payload) sum += b;
    return static_cast<std::uint8_t>(sum & 0xFF);
}

// Sync byte, type, length, payload and closing byte (the checksum unless given).
inline Bytes tape_block(std::uint8_t type, const Bytes& payload, int closing = -1)
{
    Bytes block(payload.size() + 4);
    block[0] = 0x3C;
    block[1] = type;
    block[2] = static_cast<std::uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), block.begin() + 3);
    block.pop_back();
    block.push_back(closing < 0 ? checksum(type, payload) : static_cast<std::uint8_t>(closing));
    return block;
}

// A file header block (L = 15): the name padded with spaces to 8 characters,
// file type, ASCII flag, gap flag, start and load addresses.
inline Bytes header_block(const std::string& name, std::uint8_t gap_flag, std::uint8_t file_type = kMachineCodeFile)
{
    Bytes payload(name.begin(), name.end());
    payload.resize(8, ' ');
    const Bytes fields = {file_type, 0x00, gap_flag, 0x50, 0x00, 0x50, 0x00};
    payload.insert(payload.end(), fields.begin(), fields.end());
    return tape_block(0x00, payload);
}

inline Bytes data_block(const Bytes& payload) { return tape_block(kDataBlock, payload); }
inline Bytes end_of_file_block() { return tape_block(kEndOfFileBlock, {}); }

// `count` bytes counting up from `first`, as a payload.
inline Bytes counting_payload(std::size_t count, std::uint8_t first = 0)
{
    Bytes payload(count);
    for (std::size_t i = 0; i < count; ++i) payload[i] = static_cast<std::uint8_t>(first + i);
    return payload;
}

inline Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A whole file on tape: header, data blocks of up to 255 bytes, end of file.
inline Bytes tape_file(const std::string& name, const Bytes& content, std::uint8_t gap_flag = 0)
{
    Bytes image = header_block(name, gap_flag);
    for (std::size_t at = 0; at < content.size(); at += 255) {
        const auto end = content.begin() + static_cast<std::ptrdiff_t>(std::min(content.size(), at + 255));
        const Bytes block = data_block(Bytes(content.begin() + static_cast<std::ptrdiff_t>(at), end));
        image.insert(image.end(), block.begin(), block.end());
    }
    const Bytes eof = end_of_file_block();
    image.insert(image.end(), eof.begin(), eof.end());
    return image;
}

}  // namespace morlevix::testing
