#include "block_from_its_end.h"

#include <cmath>

#include "block_from_cycles.h"
#include "tape/image/cassette_format.h"

namespace morlevix {
namespace {

// A cycle is a tone's when the tone leaves at most this much of it
// unexplained (a square wave read as a sine leaves a fifth).
constexpr double kMostResidual = 0.5;
constexpr std::size_t kByte = kBitsPerByte;

bool tones(const std::vector<SequenceCycle>& cycles, std::size_t from, std::size_t to)
{
    for (std::size_t k = from; k < to; ++k)
        if (!(cycles[k].residual <= kMostResidual)) return false;
    return true;
}

// The block whose closing marker's last cycle ends at `e`.
std::optional<BlockFromItsEnd> block_ending(const std::vector<SequenceCycle>& cycles, std::size_t e, bool full_length)
{
    if (e < 2 * kByte) return std::nullopt;
    const std::size_t marker = e - kByte, checksum = marker - kByte;
    if (!closing_marker_at(cycles, marker)) return std::nullopt;
    std::optional<BlockFromItsEnd> found;
    for (std::size_t length = 0; length <= kMaxBlockPayload; ++length) {
        if (full_length && length != kMaxBlockPayload) continue;
        if (checksum < length * kByte) break;
        const std::size_t payload = checksum - length * kByte;
        // Before an end block, the type and length bytes say the length.
        std::size_t first = payload;
        if (!full_length) {
            if (payload < 2 * kByte) break;
            first = payload - 2 * kByte;
            if (byte_at(cycles, first) != kDataBlockType || byte_at(cycles, first + kByte) != length) continue;
        }
        if (!tones(cycles, first, e - (kByte - kClosingBits))) continue;
        // Where the type and length bytes were heard, they are a full data block's.
        if (full_length && payload >= 2 * kByte && tones(cycles, payload - 2 * kByte, payload) &&
            (byte_at(cycles, payload - 2 * kByte) != kDataBlockType || byte_at(cycles, payload - kByte) != length))
            continue;
        BlockFromItsEnd block;
        TapeBlock& bytes = block.heard.block;
        bytes.bytes[0] = kSyncByte;
        bytes.bytes[kBlockTypeOffset] = kDataBlockType;
        bytes.bytes[kBlockLengthOffset] = static_cast<std::uint8_t>(length);
        for (std::size_t i = 0; i < length; ++i) bytes.bytes[kPayloadOffset + i] = byte_at(cycles, payload + i * kByte);
        bytes.bytes[kPayloadOffset + length] = byte_at(cycles, checksum);
        bytes.length = length + kBlockFraming;
        block.heard.complete = true;
        if (!block.heard.sound()) continue;
        if (found) return std::nullopt;  // two lengths fit: neither is sure
        block.first = first;
        block.end = marker;
        block.lost_bytes = full_length ? kPayloadOffset : 1;
        found = block;
    }
    return found;
}

}  // namespace

std::optional<BlockFromItsEnd> block_before(const std::vector<SequenceCycle>& cycles, std::size_t next_marker,
                                            double silence, double long_cycle)
{
    const std::size_t next_type = next_marker + 2 * kByte;
    if (next_marker == 0 || next_type + kByte > cycles.size()) return std::nullopt;
    const std::uint8_t next = byte_at(cycles, next_type);
    if (next != kDataBlockType && next != kEndBlockType) return std::nullopt;
    // The closing marker's end, about: the silence takes what cycles the
    // reading puts there, the marker's last may stretch into it.
    const double target = static_cast<double>(cycles[next_marker].start) - silence;
    std::optional<BlockFromItsEnd> found;
    for (std::size_t e = next_marker; e > 0; --e) {
        const double ends = static_cast<double>(cycles[e - 1].start + cycles[e - 1].length);
        if (ends < target - long_cycle) break;
        if (ends > target + long_cycle) continue;
        const auto block = block_ending(cycles, e, next == kDataBlockType);
        if (!block) continue;
        if (found && found->heard.block.bytes != block->heard.block.bytes) return std::nullopt;
        if (!found) found = block;
    }
    return found;
}

}  // namespace morlevix
