// Whether blocks make a tape of whole files, told from the blocks alone,
// without the decoder's own account: what a recording's status 0 promises,
// for the fuzzers and the tests to hold the decoder to.
#pragma once

#include <string>
#include <vector>

#include "tape_builder.h"

namespace morlevix::testing {

// Empty when the blocks (each sync byte first, whole) are files one after
// another, each whole: a header, its data blocks with the right checksums,
// every one but the last as long as the longest, a tokenized BASIC
// program's bytes as many as its header says, and an end block. Otherwise
// what is not so.
std::string not_whole_files(const std::vector<Bytes>& blocks);

}  // namespace morlevix::testing
