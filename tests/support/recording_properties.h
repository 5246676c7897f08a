// What must hold for every recording the decoder is given, whatever its
// bytes: checked by the fuzzer on arbitrary bytes and by the tests on the
// seed recordings.
#pragma once

#include <string>
#include <vector>

#include "tape_builder.h"

namespace morlevix::testing {

// Reads `file` as a WAV recording, and as raw samples fed to the decoder
// whole and in pieces of many sizes; returns the first property that does
// not hold, or an empty text when all hold.
std::string broken_recording_property(const Bytes& file);

// Small WAV files of every sample format and layout, some holding a tape.
std::vector<Bytes> seed_recordings();

}  // namespace morlevix::testing
