// Several takes of one tape merged into one: for every block of the tape, a
// copy that some take heard sound. The takes are lined up by the blocks
// themselves, never by time alone: a block heard sound has the same bytes
// in every take that heard it sound, and each take says, block by block,
// what it missed (the blocks it lost, counted from the time that passed, a
// header it never heard, an end block that never came). So the takes may
// run at different speeds, start anywhere, and each miss its own blocks;
// the merged tape holds each block once, in order.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "tape/decoder/heard_block.h"
#include "take_alignment.h"

namespace morlevix {

// The file of the blocks heard before any header.
inline constexpr std::size_t kBeforeAnyFile = static_cast<std::size_t>(-1);

struct MergedBlock {
    HeardBlock heard;      // the copy kept: a sound one, or the one heard best
    std::size_t take = 0;  // the take it comes from
    std::size_t file = kBeforeAnyFile;   // which file of the merged tape it belongs to
    std::size_t place = 0;        // in that file: 0 its header, then 1, 2, ...
    bool missing = false;  // no take heard it at all (heard is then empty)
    // Another take heard it sound too, with other bytes: that take.
    std::optional<std::size_t> disputed_by;
};

struct MergedTape {
    std::vector<MergedBlock> blocks;  // in the tape's order
    std::vector<std::string> file_names;  // shown as list shows them, one per file
    std::vector<bool> file_ended;         // each file ends with its end block

    // Every file whole: its header, every block sound, its end block; and
    // no block before the first header.
    bool sound() const;
    // The blocks heard, in order, for an image (the missing ones left out).
    std::vector<HeardBlock> heard_blocks() const;
};

MergedTape merge_takes(const std::vector<HeardTake>& takes);
// The same for takes given as their blocks alone (what each lost is
// counted from their times).
MergedTape merge_takes(const std::vector<std::vector<HeardBlock>>& takes);

// What the console says of a merge into `image_name`, the takes named as
// given: per file, which take gave which block ("JEU      : blocs 0-4 de
// A.wav, 5 de B.wav (faux)"), then every block that no take gave sound,
// and every file that ends with no end block.
struct MergeLine {
    const char* kind;  // stable, in English, for a report read by programs
    Said text;
    // The block it is about: its time in the take that gave it, and that
    // take; and the merged file it belongs to.
    std::optional<double> seconds;
    std::optional<std::size_t> take;
    std::optional<std::size_t> file;
};
struct MergeReport {
    std::vector<Said> files;
    std::vector<MergeLine> problems;
    // Said, though nothing is wrong: blocks taken from a take that read
    // them back without their sync byte.
    std::vector<MergeLine> notes;
};
MergeReport merge_report(const MergedTape& tape, const std::vector<std::string>& takes, const std::string& image_name);

// The takes' names as the heading of a merge shows them: "A.wav + B.wav".
std::string takes_heading(const std::vector<std::string>& takes);

}  // namespace morlevix
