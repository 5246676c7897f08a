// What must hold for every conversion, whatever the tape image: checked by
// the fuzzer on arbitrary bytes and by the tests on known images.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tape_builder.h"

namespace morlevix::testing {

// Converts `image` in memory with the given data size limit and returns the
// first property that does not hold, or an empty text when all hold.
std::string broken_conversion_property(const Bytes& image, std::uint64_t max_data_size);

// Reads `input` as files to put on a tape (how many, their kinds, gaps,
// lengths and contents), makes the tape, converts it and decodes it back:
// the same tape, every file whole, said whole. The first property that
// does not hold, or an empty text.
std::string broken_whole_tape_property(const Bytes& input);

// Well-formed images, truncations, junk, several headers and gap flags.
std::vector<Bytes> seed_tapes();

}  // namespace morlevix::testing
