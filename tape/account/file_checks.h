// What a tape's blocks alone say of its files, in an image as in a
// recording: blocks that belong to no file, each file's end block, and the
// note of a BASIC program whose header gives another size.
#pragma once

#include <cstddef>

#include "heard_tape.h"

namespace morlevix {

// The blocks before the first header, and those after a file's end block
// with no header before them, in runs.
void check_blocks_outside_files(const HeardTape& tape, const TapeFiles& files, TapeAccount& account);

// A file as its problems name it, "fichier JEU      : "; by its place
// where its header broke off before the end of its name.
Said file_name(const HeardTape& tape, const FileBlocks& file);

// While a recording is still coming, the file heard last may end yet.
bool may_still_end(const HeardTape& tape, std::size_t next_header);

// A file with no end block before `next_header` (the index of the next
// file's header, or the blocks' count).
void check_end_block(const HeardTape& tape, const FileBlocks& file, std::size_t next_header, const Said& name,
                     TapeAccount& account);

// A tokenized BASIC program's header gives its length where the machine
// saved it; tools that write a tape from a listing put the load address
// there, programs moved from other machines leftovers or zeros. Where it
// differs from what the blocks hold, a note: never a loss by itself.
void note_program_size(const HeardTape& tape, const FileBlocks& file, const Said& name, TapeAccount& account);

}  // namespace morlevix
