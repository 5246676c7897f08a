// What every check of a tape's account reads: the tape's blocks (heard in
// a recording, or an image's), where each lies on the tape and how long it
// lasts, the stretches of tape signal heard, and the files the blocks make.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/two_languages.h"
#include "tape/account/tape_account.h"
#include "tape/decoder/heard_block.h"

namespace morlevix {

// A speed figure below this is no tape's: it stands for "not measured".
inline constexpr double kSlowestPlausibleSpeed = 0.1;
inline double speed_of(const HeardBlock& heard) { return std::max(heard.figures.speed, kSlowestPlausibleSpeed); }

// What an average byte lasts (a marker byte's four short and four long
// cycles), in samples at the nominal speed.
double average_byte_samples();

// A header, even one the signal broke off inside before its length byte:
// the blocks after it are its file's, not blocks with no header. And the
// other two kinds of block a file holds.
bool is_header(const HeardBlock& heard);
bool is_data(const HeardBlock& heard);
bool is_end(const HeardBlock& heard);

// The blocks of one file: its header, and those after it up to its end
// block, the next header, or the end of the tape.
struct FileBlocks {
    std::size_t header;
    std::vector<std::size_t> members;  // data blocks, then the end block if heard
    bool ended = false;
};

// The files of a tape, and the blocks no file owns: those before the first
// header, and those after a file's end block with no header before them.
struct TapeFiles {
    std::vector<FileBlocks> files;
    std::vector<std::size_t> before_any;
    std::vector<std::size_t> without;
};

class HeardTape {
public:
    // A recording's blocks and stretches, in the order of their times.
    HeardTape(const std::vector<HeardBlock>& blocks, const std::vector<HeardStretch>& stretches, double seconds,
              RecordingEnd end);
    // An image's blocks, at their positions: no timeline.
    HeardTape(const std::vector<HeardBlock>& blocks, const std::vector<std::uint64_t>& positions);

    const std::vector<HeardBlock>& blocks() const { return blocks_; }
    const HeardBlock& block(std::size_t b) const { return blocks_[b]; }
    const std::vector<HeardStretch>& stretches() const { return stretches_; }
    // A recording, whose timeline speaks; its length; whether it goes on.
    bool timed() const { return timed_; }
    double seconds() const { return seconds_; }
    bool still_coming() const { return still_coming_; }
    TapeFiles files() const;

    double start_of(std::size_t b) const { return blocks_[b].seconds; }
    // Where a block ends. One heard wrong or broken off may have had its
    // length byte wrong: it is taken to last as long as a full block, so
    // that nothing after it is said lost that it covered.
    double end_of(std::size_t b) const;
    // How long it lasts as heard (see heard_duration).
    double duration(std::size_t b) const { return durations_[b]; }
    // How many blocks start before `seconds`, and the latest end among the
    // first `count` of them.
    std::size_t blocks_starting_before(double seconds) const;
    double latest_end(std::size_t count) const { return latest_end_[count - 1]; }

    // Where a block is on the tape, as the console says it: "2:41.3" in a
    // recording, "position 1234" in an image; in an image, "at position
    // 1234"; and the span of the blocks `first` to `last`, after what they are.
    Said place_of(std::size_t b) const;
    Said at_place_of(std::size_t b) const;
    Said span_of(std::size_t first, std::size_t last) const;

private:
    static const std::vector<HeardStretch> no_stretches_;
    const std::vector<HeardBlock>& blocks_;
    const std::vector<std::uint64_t> positions_;  // in an image
    const std::vector<HeardStretch>& stretches_;
    std::vector<double> durations_;   // of each block, as heard_duration says
    std::vector<double> latest_end_;  // of the blocks up to each
    double seconds_ = 0;
    bool timed_ = false;
    bool still_coming_ = false;
};

// Words the account's lines share.
inline constexpr Text kTo{" a ", " to "};
inline constexpr Text kRecordingEnds{", fin de l'enregistrement a ", ", end of the recording at "};

// A problem said in the account.
inline void add_problem(TapeAccount& account, AccountProblem::Kind kind, double seconds, const Said& text)
{
    account.problems.push_back({kind, seconds, text, std::nullopt});
}

}  // namespace morlevix
