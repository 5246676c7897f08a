// A tape as a file holds it: a tape image, or a recording of a cassette (a
// WAV, FLAC, MP3... file), told apart by their first bytes, and read whole. The one place
// that decides which a file is: the command line and the page both read
// tapes through it.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "tape/decoder/cassette_decoder.h"
#include "tape/account/tape_account.h"
#include "tape/catalog/tape_catalog.h"

namespace morlevix {

struct TapeContents {
    bool recording = false;
    Said error;                      // what is wrong with a recording's file, if anything
    std::vector<HeardBlock> blocks;  // the image's blocks, a cut one last; or the blocks heard
    TapeCatalog catalog;             // what they make of a tape
    TapeAccount account;             // every file whole, or what is missing (and, in a recording, where)
    double seconds = 0;              // a recording's length
};

TapeContents read_tape_contents(std::istream& file);
// The same, knowing the file is a tape image: every complete block as if
// heard whole, a block the image ends inside last, broken off, and the
// catalog of them, positions counted in the image itself.
TapeContents read_tape_image(std::istream& image);

}  // namespace morlevix
