// The recording converter: one recording of a cassette in (a WAV, or any
// format this build reads), the tape image it holds out; or several takes of
// one tape, decoded and merged into one. The mirror of the tape image
// converter.
//
// Every channel is decoded (a channel that only repeats the first costs
// nothing), and the one that gives the most sound blocks is kept: a
// recording with the signal on one channel only reads like a mono one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "tape/decoder/cassette_decoder.h"
#include "tape/account/tape_account.h"
#include "tape/catalog/tape_catalog.h"
#include "tape/catalog/tape_files.h"
#include "tape/account/take_merger.h"

namespace morlevix {

struct DecodedRecording {
    Said error;  // what is wrong with the recording's file; empty when it could be read
    std::vector<HeardBlock> blocks;
    std::vector<HeardStretch> stretches;  // where the tape's signal was heard
    unsigned channel = 0;  // the channel the blocks come from
    double seconds = 0;    // the recording's length
    TapeAccount account;   // every file whole, or what is missing or wrong

    // The image is the tape: the recording read to its end, blocks heard, and
    // every file whole.
    bool sound() const;
};

// What a decoding has heard so far, handed to a watcher as the recording
// comes (a terminal's live view, a page's recorder).
struct DecodingProgress {
    double seconds = 0;  // of the recording read so far
    // The latest samples of the channel that reads best so far, and what was
    // heard on it so far.
    const float* latest = nullptr;
    std::size_t latest_count = 0;
    const std::vector<HeardBlock>& blocks;
    const std::vector<HeardStretch>& stretches;

    // The loudest of the latest samples, in dB below full scale (reckoned
    // only when asked: a watcher that shows nothing now need not).
    double level() const;
};
class DecodingWatcher {
public:
    virtual ~DecodingWatcher() = default;
    // After each piece of the recording is decoded (a third of a second or so).
    virtual void heard(const DecodingProgress& progress) = 0;
};

// `recording` must be able to seek (a file, or bytes in memory), or be a
// WAV read on as it comes. `watcher`, where given, hears how it goes.
DecodedRecording decode_recording(std::istream& recording, DecodingWatcher* watcher = nullptr);

// The tape image of the blocks heard: each preceded by a leader of 0x55
// bytes. A block the signal broke off inside keeps its length, the bytes
// not heard as 0, so that the blocks after it stay whole; one broken off
// before its length byte was heard has nothing to keep.
std::vector<std::uint8_t> tape_image_of(const std::vector<HeardBlock>& blocks);

// What the blocks heard make of a tape, positions counted in that image.
TapeCatalog catalog_of(const std::vector<HeardBlock>& blocks);

// The takes of one tape, decoded one after another as they are given, then
// merged; a take keeps its place (its number in the report) even when it
// could not be read.
class TakeSet {
public:
    // Decodes one more take (`watcher`, where given, hears how it goes).
    // What is wrong with it, for the console (what is wrong with its WAV
    // file, or that no block was heard), or "".
    Said add(std::istream& recording, DecodingWatcher* watcher = nullptr);
    // A take that could not be read at all: nothing heard.
    void add_unread() { takes_.emplace_back(); }
    // A take decoded already.
    void add_decoded(const DecodedRecording& take) { takes_.push_back({take.blocks, take.account}); }
    MergedTape merge() const { return merge_takes(takes_); }

private:
    std::vector<HeardTake> takes_;
};

// A recording where no block was heard at all.
inline constexpr Text kNoBlockText{"aucun bloc entendu dans l'enregistrement", "no block heard in the recording"};

}  // namespace morlevix
