#include "block_from_cycles.h"

#include <algorithm>
#include <cstdint>

#include "sync_search.h"

namespace morlevix {
namespace {

// A cycle with less energy than this part of its tone's is silence. This
// many silent cycles in a row inside a block, or this many noisy on
// average, is damage.
constexpr double kSilentEnergy = 0.05;
constexpr std::size_t kDamagedRun = 8;
// A cycle whose other reading (a long one as two short, or two short as a
// long) fitted within this part as well is a guess (see SequenceCycle).
// Through a burst of noise, a reading with two such cycles each way, one
// wrong in each of two bytes, can keep the checksum: at 1 % it did.
constexpr double kGuessedMargin = 0.03;

}  // namespace

std::uint8_t byte_at(const std::vector<SequenceCycle>& cycles, std::size_t first)
{
    unsigned byte = 0;
    for (std::size_t b = 0; b < kBitsPerByte; ++b) byte |= static_cast<unsigned>(cycles[first + b].short_cycle) << b;
    return static_cast<std::uint8_t>(byte);
}

bool closing_marker_at(const std::vector<SequenceCycle>& cycles, std::size_t first)
{
    if (first + kClosingBits > cycles.size()) return false;
    for (std::size_t b = 0; b < kClosingBits; ++b)
        if (cycles[first + b].short_cycle != (((kMarkerByte >> b) & 1) != 0)) return false;
    return true;
}

std::size_t sync_in(const std::vector<SequenceCycle>& cycles, std::size_t from)
{
    constexpr std::size_t kSyncBits = 2 * kBitsPerByte;  // a marker byte and the sync byte
    std::uint32_t window = 0;
    for (std::size_t k = from; k < cycles.size(); ++k) {
        window = (window >> 1) | static_cast<std::uint32_t>(cycles[k].short_cycle) << (kSyncBits - 1);
        if (k + 1 >= from + kSyncBits && (window & kSyncMask) == (kSyncWindow & kSyncMask)) return k + 1 - kBitsPerByte;
    }
    return cycles.size();
}

std::pair<std::size_t, std::size_t> block_in(const std::vector<SequenceCycle>& cycles, HeardBlock& heard)
{
    const std::size_t sync = sync_in(cycles, 0);
    if (sync == cycles.size()) return {sync, sync};
    TapeBlock& block = heard.block;
    block.bytes[0] = kSyncByte;
    block.length = 1;
    std::size_t k = sync + kBitsPerByte;
    for (; k + kBitsPerByte <= cycles.size() && !heard.complete; k += kBitsPerByte) {
        block.bytes[block.length++] = byte_at(cycles, k);
        heard.complete = block.whole();
    }
    if (heard.complete) heard.complete = closing_marker_at(cycles, k);
    return {sync, k};
}

bool through_damage(const std::vector<SequenceCycle>& cycles, std::size_t from, std::size_t to, double noisy)
{
    std::size_t silent = 0;
    double residual = 0;  // of the latest kDamagedRun cycles
    to = std::min(to, cycles.size());
    for (std::size_t k = from; k < to; ++k) {
        if (cycles[k].margin < kGuessedMargin) return true;
        silent = cycles[k].energy < kSilentEnergy ? silent + 1 : 0;
        residual += cycles[k].residual;
        if (k >= from + kDamagedRun) residual -= cycles[k - kDamagedRun].residual;
        if (silent >= kDamagedRun) return true;
        if (k + 1 >= from + kDamagedRun && residual > noisy * static_cast<double>(kDamagedRun)) return true;
    }
    return false;
}

}  // namespace morlevix
