#include "whole_tape.h"

#include <algorithm>

namespace morlevix::testing {
namespace {

// Offsets from the sync byte.
constexpr std::size_t kType = 1, kLength = 2, kPayload = 3;
constexpr std::size_t kFileType = 11, kAsciiFlag = 12, kProgramSize = 16;
constexpr std::uint8_t kHeader = 0x00, kBasic = 0x00, kTokenized = 0x00;

struct OpenFile {
    const Bytes* header = nullptr;
    std::size_t longest = 0;  // the longest data block's payload
    std::size_t bytes = 0;    // of its data blocks
    // The payloads of data blocks followed by another data block.
    std::vector<std::size_t> followed;
    int previous_data = -1;  // the block before was a data block of this payload
};

std::string closed(const OpenFile& file)
{
    for (const std::size_t length : file.followed)
        if (length < file.longest) return "a data block shorter than the longest, followed by another";
    // A header's fields past its end read as 0, as everywhere on a tape.
    const Bytes& header = *file.header;
    const auto field = [&](std::size_t offset) -> std::size_t { return offset < header.size() ? header[offset] : 0; };
    if (field(kFileType) == kBasic && field(kAsciiFlag) == kTokenized &&
        file.bytes != (field(kProgramSize) << 8 | field(kProgramSize + 1)))
        return "a BASIC program of another size than its header says";
    return "";
}

}  // namespace

std::string not_whole_files(const std::vector<Bytes>& blocks)
{
    if (blocks.empty()) return "no block";
    bool open = false;
    OpenFile file;
    for (const Bytes& block : blocks) {
        if (block.size() < kPayload + 1 || block.size() != block[kLength] + kPayload + 1u) return "a block not whole";
        if (checksum(block[kType], Bytes(block.begin() + kPayload, block.end() - 1)) != block.back())
            return "a block with a wrong checksum";
        const std::uint8_t type = block[kType];
        if (type == kHeader) {
            if (open) return "a file with no end block before the next header";
            open = true;
            file = OpenFile{};
            file.header = &block;
            continue;
        }
        if (!open) return "a block outside any file";
        if (type == kEndOfFileBlock) {
            open = false;
            const std::string problem = closed(file);
            if (!problem.empty()) return problem;
        } else if (type == kDataBlock) {
            if (file.previous_data >= 0) file.followed.push_back(static_cast<std::size_t>(file.previous_data));
            file.longest = std::max<std::size_t>(file.longest, block[kLength]);
            file.bytes += block[kLength];
        }
        file.previous_data = type == kDataBlock ? block[kLength] : -1;
    }
    if (open) return "the last file has no end block";
    return "";
}

}  // namespace morlevix::testing
