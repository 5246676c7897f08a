// What was heard on a tape (an image listed, a recording decoded, or takes
// merged), as one report: each file (whole or not, and why), each block
// (where, how it was heard, which take gave it), the stretches lost and the
// tape signal no block covers, the problems and notes, each with a stable
// kind and its time. Built from what the console's lines are built from:
// the console prints it (cli/), a script reads it as JSON (report_json.h),
// the page draws it. It never says more than the lines do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/two_languages.h"
#include "tape/account/take_merger.h"
#include "tape/account/tape_account.h"
#include "tape/catalog/tape_catalog.h"
#include "tape/reading/recording_converter.h"
#include "tape/reading/tape_contents.h"

namespace morlevix {

// A problem or a note, as the console says it after the file's name.
struct ReportLine {
    std::string kind;  // stable, in English: "lost_blocks", "wrong_checksum"...
    Said text;
    std::optional<double> seconds;          // where in the recording
    std::optional<std::uint64_t> position;  // where in the image
    std::optional<std::size_t> file;        // the file it is about (its place in `files`)
    std::optional<std::size_t> take;        // a merge: the take of the block it is about
};

struct ReportFile {
    CatalogFile info;  // name, type, flags, addresses, blocks, bytes, end block
    std::optional<double> seconds;
    bool whole = true;
    Said line;  // as list shows it
};

struct ReportBlock {
    CatalogBlock block;              // position, type, length, checksum, time, figures
    double duration = 0;             // a recording's: how long it lasts as heard
    std::optional<std::size_t> file;  // the file it belongs to (its place in `files`)
    std::optional<std::size_t> take;  // a merge: the take that gave it
    // How it was read: "sound", "wrong_checksum", "broken_off",
    // "doubtful_reading"; "read_without_sync" for a sound block read back
    // from its end.
    const char* reading = "sound";
};

struct TapeReport {
    enum class Kind { image, recording, merge } kind = Kind::image;
    std::string name;                  // the file as given; a merge's takes, joined
    std::vector<std::string> takes;    // a merge's, as given
    std::optional<std::string> image;  // where decode wrote the image
    std::optional<double> seconds;     // a recording's length
    unsigned channel = 0;              // the channel its blocks come from
    Said files_heading;                // as list shows it above the files
    std::vector<ReportFile> files;
    std::vector<Said> takes_of_files;  // a merge: which take gave which block of each file
    std::vector<ReportBlock> blocks;
    std::vector<LostStretch> lost;
    std::vector<HeardStretch> unread;
    std::vector<ReportLine> problems;
    std::vector<ReportLine> notes;
    std::optional<ReportLine> error;  // the file could not be read (whole)
    // The file was read far enough to say what it holds (else `error`
    // says why not, and nothing else is said).
    bool read = true;

    // Every file whole, and the file read to its end: status 0.
    bool whole() const { return !error && problems.empty(); }
};

// `list` of a tape image or a recording; `decode` of a recording into
// `image`; `decode --merge` of takes into `image`, with what went wrong
// with the takes themselves (a take that could not be read).
TapeReport list_report(const std::string& name, const TapeContents& contents);
TapeReport decode_report(const std::string& name, const std::string& image, const DecodedRecording& decoded);
TapeReport merge_tape_report(const std::vector<std::string>& takes, const std::string& image, const MergedTape& tape,
                             const std::vector<ReportLine>& take_problems);

// A recording where no block was heard at all, and a take that could not be
// read: the kinds of their lines.
inline constexpr char kNoBlockKind[] = "no_block_heard";
inline constexpr char kRecordingErrorKind[] = "recording_error";
inline constexpr char kImageErrorKind[] = "image_error";

}  // namespace morlevix
