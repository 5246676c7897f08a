#include "whole_tape.h"

namespace morlevix::testing {
namespace {

// Offsets from the sync byte.
constexpr std::size_t kType = 1, kLength = 2, kPayload = 3;
constexpr std::uint8_t kHeader = 0x00;

}  // namespace

std::string not_whole_files(const std::vector<Bytes>& blocks)
{
    if (blocks.empty()) return "no block";
    bool open = false;
    for (const Bytes& block : blocks) {
        if (block.size() < kPayload + 1 || block.size() != block[kLength] + kPayload + 1u) return "a block not whole";
        if (checksum(block[kType], Bytes(block.begin() + kPayload, block.end() - 1)) != block.back())
            return "a block with a wrong checksum";
        const std::uint8_t type = block[kType];
        if (type == kHeader) {
            if (open) return "a file with no end block before the next header";
            open = true;
        } else if (!open) {
            return "a block outside any file";
        } else if (type == kEndOfFileBlock) {
            open = false;
        }
    }
    if (open) return "the last file has no end block";
    return "";
}

}  // namespace morlevix::testing
