// Tapes drawn as the family's real tapes are, not as our own tools write
// them: BASIC, machine code and data files; a header's address fields
// holding the program's length, the load address twice, zeros or leftovers;
// data blocks of any length from 1 to 255, varying inside a file; files
// with a gap and leader before every block. Recorded by our encoder or by
// another writer (the tones of the family's other machines, no silence
// between blocks, no marker after the last block); clean, lightly
// degraded or damaged; alone or as takes merged; stopped anywhere. For
// each case both directions of the decoder's word are checked: status 0
// means the image is the tape (or, the recording stopped in the silence
// between two files, the files before it, whole), and a recording whose
// every block survives says status 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "recordings.h"

namespace morlevix::testing {

// Another writer of these tapes: the image's blocks at the family's other
// machines' tones (cycles of 1,200 and 2,400 Hz, sine), a pause (of
// silence) and a leader before each header, before the block after a
// header or an end block and before every block of a file whose gap flag
// is 0xFF; the other blocks right after the one before, with no silence
// between (or, in the style of MAME's castool, each after a leader of its
// own); no marker after the tape's last block; a pause to end.
struct OtherWriterStyle {
    double pause = 0.5;  // seconds
    int leader_bytes = 128;
    bool leader_before_every_block = false;
};
Recording recording_by_other_writer(const Bytes& image, const OtherWriterStyle& style = {});

// A real tape's case, from a seed.
struct RealTapeCase {
    Bytes image;
    std::vector<Recording> takes;
    std::vector<bool> light;  // each take clean, or lightly degraded
    std::string said;          // what was drawn, for the message
};
RealTapeCase drawn_real_tape_case(std::uint32_t seed, int takes);

// What did not hold of that case, or an empty text.
std::string broken_real_tape_property(std::uint32_t seed, int takes);

}  // namespace morlevix::testing
