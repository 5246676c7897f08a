#include "tape_image_reader.h"

#include <istream>

namespace morlevix {
namespace {

using traits = std::istream::traits_type;

}  // namespace

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
    return block.whole() ? BlockRead::complete : stopped();
}

}  // namespace morlevix
