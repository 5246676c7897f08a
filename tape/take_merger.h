// Several takes of one tape merged into one: for every block, a copy that
// some take heard sound. Takes are matched by their blocks, not by time, so
// they may run at different speeds and start anywhere: a file by its header
// block, then each block by its place in the file (a block that a take
// missed altogether is counted from the time that passed).
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

#include "decoder/cassette_decoder.h"

namespace morlevix {

// The file of the blocks heard before any header.
inline constexpr std::size_t kBeforeAnyFile = static_cast<std::size_t>(-1);

struct MergedBlock {
    HeardBlock heard;      // the copy kept: a sound one, or the one heard best
    std::size_t take = 0;  // the take it comes from
    std::size_t file = kBeforeAnyFile;   // which file of the merged tape it belongs to
    std::size_t place = 0;        // in that file: 0 its header, then 1, 2, ...
    bool missing = false;  // no take heard it at all (heard is then empty)
};

struct MergedTape {
    std::vector<MergedBlock> blocks;  // in the tape's order
    std::vector<std::string> file_names;  // shown as list shows them, one per file

    bool sound() const;
    // The blocks heard, in order, for an image (the missing ones left out).
    std::vector<HeardBlock> heard_blocks() const;
};

MergedTape merge_takes(const std::vector<std::vector<HeardBlock>>& takes);

// The takes of one tape, decoded one after another as they are given, then
// merged; a take keeps its place (its number in the report) even when it
// could not be read.
class TakeSet {
public:
    // Decodes one more take. What is wrong with it, for the console (what
    // is wrong with its WAV file, or that no block was heard), or "".
    std::string add(std::istream& recording);
    // A take that could not be read at all: nothing heard.
    void add_unread() { takes_.emplace_back(); }
    MergedTape merge() const { return merge_takes(takes_); }

private:
    std::vector<std::vector<HeardBlock>> takes_;
};

// What the console says of a merge into `image_name`, the takes named as
// given: per file, which take gave which block ("JEU      : blocs 0-4 de
// A.wav, 5 de B.wav (faux)"), then every block that no take gave sound.
struct MergeReport {
    std::vector<std::string> files;
    std::vector<std::string> problems;
};
MergeReport merge_report(const MergedTape& tape, const std::vector<std::string>& takes, const std::string& image_name);

// The takes' names as the heading of a merge shows them: "A.wav + B.wav".
std::string takes_heading(const std::vector<std::string>& takes);

}  // namespace morlevix
