// Whether blocks make a tape of whole files, told from the blocks alone,
// without the decoder's own account: what a recording's status 0 promises,
// for the fuzzers and the tests to hold the decoder to.
#pragma once

#include <string>
#include <vector>

#include "tape_builder.h"

namespace morlevix::testing {

// Empty when the blocks (each sync byte first, whole) are files one after
// another, each whole: a header, its data blocks (of any lengths) with the
// right checksums, and an end block. Otherwise what is not so. A header's
// address fields say nothing of it: tools and machines fill them
// otherwise.
std::string not_whole_files(const std::vector<Bytes>& blocks);

}  // namespace morlevix::testing
