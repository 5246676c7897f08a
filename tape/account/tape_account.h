// A tape's blocks accounted for, file by file: whether every file is whole
// (its header, each of its data blocks once, in order, sound, and its end
// block), and where it is not, what is missing or wrong, and where on the
// tape. The same judge for a tape image (by its blocks alone) and for a
// recording, where the timeline speaks too: the blocks heard and the
// stretches of tape signal heard, per block and per stretch.
//
// Only what the format guarantees decides. What varies between machines
// and tools never makes a file incomplete by itself: a header's address
// fields (a BASIC program's length is given there by the machine, not by
// every tool: said as a note where it differs), data block lengths (any,
// in any order), the marker byte after a block (a block read with a clean
// margin and its checksum right is sound without it).
//
// The checks, by what they read: file_checks (the blocks alone: blocks
// outside every file, each file's end block, a BASIC program's size) and
// timeline_checks (a recording's pauses, leaders and signal), over a
// heard_tape (the blocks, where each lies, the files they make).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tape/decoder/heard_block.h"
#include "common/two_languages.h"

namespace morlevix {

// What is wrong, as the console says it (naming no file of the computer).
struct AccountProblem {
    enum Kind {
        bad_block,           // heard, but wrong or broken off (see heard_block_problem)
        lost_blocks,         // signal or silence where blocks of a file must have been
        no_end_block,        // a file with no end block before the next header or the tape's end
        before_any_header,   // blocks before the first header
        without_header,      // blocks after a file's end block, with no header before them
        leader_without_block,  // outside the files, a leader no block follows: a file's, lost
        // Notes, not problems:
        without_sync,        // a block read back from its end, its sync byte not heard
        noise_aside,         // noise read as a block, set aside
        other_size,          // a BASIC program of another size than its header's second address
    } kind;
    double seconds = 0;  // where in the recording (0 in an image)
    Said text;
    // The file it is about (its place in TapeAccount::whole_files), where it
    // is about one.
    std::optional<std::size_t> file;
    // A block heard wrong: why ("wrong_checksum", "broken_off",
    // "doubtful_reading").
    const char* why = nullptr;
};

// A stable name for a kind, in English, for a report read by programs: the
// problems and notes above, and for a block heard wrong, why.
const char* problem_kind_name(const AccountProblem& problem);

// A stretch of the recording where blocks of a file were lost.
struct LostStretch {
    double start = 0;  // seconds in the recording
    double end = 0;
    std::size_t blocks = 1;  // how many blocks it could hold, at the least 1
    bool signal = false;     // tape signal was heard there (else silence, or noise)
    // Only a leader was heard there, that no block followed: a file was
    // coming (its header, at the least, is lost).
    bool file = false;
};

struct TapeAccount {
    std::vector<AccountProblem> problems;  // in the order of their times (of their blocks, in an image)
    std::vector<bool> whole_files;         // one per header heard (see opens_file), in order
    std::vector<LostStretch> lost;         // in the order of their times
    std::vector<HeardStretch> unread;      // tape signal that no block covers, leaders aside
    // Said, though nothing is wrong: blocks read back without their sync
    // byte, noise set aside (see set_noise_aside), a BASIC program of
    // another size than its header says. In the order of their times.
    std::vector<AccountProblem> notes;

    bool whole() const { return problems.empty(); }
};

// The tape's blocks among those a decoder heard. A block heard broken off
// or wrong outside every file (before the first header, or after an end
// block), far quieter than the tape's sound blocks, is hiss or a room's
// noise read as a block: it is set aside, and said in `notes`.
std::vector<HeardBlock> set_noise_aside(const std::vector<HeardBlock>& heard, std::vector<AccountProblem>& notes);

// Whether the recording has ended, or is still coming (heard as it plays):
// then the file being heard has not ended yet, and a leader heard last
// brings a block still to come.
enum class RecordingEnd { ended, still_coming };

// What a decoder heard, noise set aside, and its account (its notes in the
// order of their times).
struct AccountedBlocks {
    std::vector<HeardBlock> blocks;
    TapeAccount account;
};
AccountedBlocks account_for_heard(const std::vector<HeardBlock>& heard, const std::vector<HeardStretch>& stretches,
                                  double seconds, RecordingEnd end = RecordingEnd::ended);

// A heard block that opens a file: a header whose length byte was heard.
bool opens_file(const HeardBlock& heard);

// `blocks` and `stretches` in the order of their times; `seconds` the
// recording's length.
TapeAccount account_for_recording(const std::vector<HeardBlock>& blocks, const std::vector<HeardStretch>& stretches,
                                  double seconds, RecordingEnd end = RecordingEnd::ended);

// The blocks of a tape image, in order (a block the image ends inside
// last, not complete), each at its position in the image: the same
// account by the blocks alone, with no timeline.
TapeAccount account_for_image(const std::vector<HeardBlock>& blocks, const std::vector<std::uint64_t>& positions);

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
