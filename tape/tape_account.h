// A recording's blocks accounted for, file by file: whether every file is
// whole (its header, each of its data blocks once, in order, sound, and its
// end block), and where it is not, what is missing or wrong and when in the
// recording. Found from the blocks heard and the stretches of tape signal
// heard, per block and per stretch.
//
// Between two blocks of a file lies only what the format puts there: after
// a data block, a moment's silence; after a header, or before every block
// of a file whose gap flag is 0xFF, a gap and the next block's leader,
// which ends where that block starts. Anything longer, another leader, or
// signal that no block covers, held blocks that were lost.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "decoder/heard_block.h"
#include "two_languages.h"

namespace morlevix {

// What is wrong, as the console says it (naming no file of the computer).
struct AccountProblem {
    enum Kind {
        bad_block,           // heard, but wrong or broken off (see heard_block_problem)
        lost_blocks,         // signal or silence where blocks of a file must have been
        no_end_block,        // a file with no end block before the next header or the recording's end
        before_any_header,   // blocks before the first header
        without_header,      // blocks after a file's end block, with no header before them
        short_block,         // a data block shorter than the others, followed by another
        wrong_size,          // a BASIC program whose blocks hold another size than its header says
        // Notes, not problems:
        without_sync,        // a block read back from its end, its sync byte not heard
        noise_aside,         // noise read as a block, set aside
    } kind;
    double seconds = 0;  // where in the recording
    Said text;
};

// A stretch of the recording where blocks of a file were lost.
struct LostStretch {
    double start = 0;  // seconds in the recording
    double end = 0;
    std::size_t blocks = 1;  // how many blocks it could hold, at the least 1
    bool signal = false;     // tape signal was heard there (else silence, or noise)
};

struct TapeAccount {
    std::vector<AccountProblem> problems;  // in the order of their times
    std::vector<bool> whole_files;         // one per header heard (see opens_file), in order
    std::vector<LostStretch> lost;         // in the order of their times
    std::vector<HeardStretch> unread;      // tape signal that no block covers, leaders aside
    // Said, though nothing is wrong: blocks read back without their sync
    // byte, noise set aside (see set_noise_aside). In the order of their times.
    std::vector<AccountProblem> notes;

    bool whole() const { return problems.empty(); }
};

// The tape's blocks among those a decoder heard. A block heard broken off
// or wrong outside every file (before the first header, or after an end
// block), far quieter than the tape's sound blocks, is hiss or a room's
// noise read as a block: it is set aside, and said in `notes`.
std::vector<HeardBlock> set_noise_aside(const std::vector<HeardBlock>& heard, std::vector<AccountProblem>& notes);

// What a decoder heard, noise set aside, and its account (its notes in the
// order of their times).
struct AccountedBlocks {
    std::vector<HeardBlock> blocks;
    TapeAccount account;
};
AccountedBlocks account_for_heard(const std::vector<HeardBlock>& heard, const std::vector<HeardStretch>& stretches,
                                  double seconds);

// A heard block that opens a file: a header whose length byte was heard.
bool opens_file(const HeardBlock& heard);

// `blocks` and `stretches` in the order of their times; `seconds` the
// recording's length.
TapeAccount account_for_recording(const std::vector<HeardBlock>& blocks, const std::vector<HeardStretch>& stretches,
                                  double seconds);

// How long a block lasts on the tape as heard, in seconds, sync byte to
// closing byte: a block broken off still lasts its whole length, its bytes
// not heard taken as the average byte (as in a marker).
double heard_duration(const HeardBlock& heard);

// What is wrong with a heard block that is not sound, for the console:
// "bloc 01 a 2:41.3 : somme de controle fausse (vitesse ...)", or "... :
// signal interrompu dans le bloc (...)".
Said heard_block_problem(const HeardBlock& heard);

// Why the reading of a block heard whole with its checksum right is in
// doubt (kUnclosedText, kGuessedBitText), or null.
const Text* reading_doubt(const HeardBlock& heard);

// Lines of their own among a recording's blocks (list --blocks): where
// blocks were lost, and tape signal that no block covers.
Said lost_stretch_line(const LostStretch& lost);
Said unread_stretch_line(const HeardStretch& unread);

// A block read back from its end, after its type and time.
inline constexpr Text kReadWithoutSyncText{"lu sans sa synchronisation, a partir de sa fin",
                                           "read without its sync, from its end"};

// A file said not to be whole, after its name on the console.
inline constexpr Text kIncompleteFileText{"incomplet", "incomplete"};

}  // namespace morlevix
