// What must hold for BASIC programs, whatever the bytes: checked by the
// fuzzer on arbitrary bytes and by the tests on the seed tapes.
#pragma once

#include <string>
#include <vector>

#include "tape_builder.h"

namespace morlevix::testing {

// Reads `bytes` as a tape image (listing every BASIC file on it), as a
// program, and as a listing to tokenize; returns the first property that
// does not hold, or an empty text when all hold.
std::string broken_basic_property(const Bytes& bytes);

// A listing using keywords, strings, DATA and REM; a tape of it; a program.
std::vector<Bytes> seed_basic();

}  // namespace morlevix::testing
