// Reading a tape image: a plain byte stream in which blocks are found by
// their sync byte 0x3C (see cassette_format.h for a block's layout). Bytes
// between blocks are skipped whatever they hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>

#include "cassette_format.h"

namespace morlevix {

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
