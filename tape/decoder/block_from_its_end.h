// A data block whose first bytes were lost (a dropout over its marker and
// sync byte, say), read back from its end.
//
// Between two data blocks of a file the format leaves only the closing
// marker, a moment's silence and the next block's marker: before the
// silence, the cycles are the block's closing marker, then its checksum
// and its bytes, eight cycles each, last first. Its type and length are a
// data block's: the full length when another data block follows; before
// an end block, the length its own length byte gives, when that byte and
// the type byte were heard. Such a reading counts only when every cycle of
// it is plainly a tone's (none in silence or noise), its closing marker is
// there and its checksum is right, and when it can be read one way only.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "cycle_sequence.h"
#include "heard_block.h"

namespace morlevix {

struct BlockFromItsEnd {
    HeardBlock heard;            // a whole block, sync byte first; figures not set
    std::size_t first = 0;       // the cycle its first heard byte starts with
    std::size_t end = 0;         // the cycle after its last byte (the checksum)
    std::size_t lost_bytes = 0;  // bytes before `first`, the sync byte's first: not heard but taken
};

// The block that ends `silence` samples before the cycle `next_marker`
// (the first of the marker byte before the next block's sync byte), in
// `cycles` read by read_cycle_sequence; `long_cycle` samples long a 0 bit.
std::optional<BlockFromItsEnd> block_before(const std::vector<SequenceCycle>& cycles, std::size_t next_marker,
                                            double silence, double long_cycle);

}  // namespace morlevix
