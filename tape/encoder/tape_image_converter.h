// The tape image converter: one .k7 image in, one .wav file out.
//
// Every complete block of the image goes to the cassette signal exactly as
// read (nothing in a block is checked), with the name of every file header
// reported on the way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "tape/image/tape_image_reader.h"
#include "tape/sound/wav_output.h"

namespace morlevix {

enum class ConversionOutcome {
    finished,      // the image ended between blocks
    truncated,     // the image ended inside a block; the blocks before it are in the file
    too_long,      // the next block would not fit in a WAV file; the blocks before it are in the file
    read_failed,   // the image could not be read to its end
    write_failed,  // the WAV could not be written; the file is incomplete
};

// What a conversion tells as it goes, for a console to show.
class ConversionReport {
public:
    virtual ~ConversionReport() = default;
    // A file header block goes into the WAV; `name` is safe to print.
    virtual void file_header(const std::string& name) = 0;
    // The image ends inside a block. `shown` is its type byte, or its sync
    // byte when the image ends right after that.
    virtual void truncated_block(std::uint8_t shown) = 0;
    // The next block would take the WAV past what its size fields can hold.
    virtual void too_long() = 0;
};

// Tells nothing.
class SilentReport final : public ConversionReport {
public:
    void file_header(const std::string&) override {}
    void truncated_block(std::uint8_t) override {}
    void too_long() override {}
};

// Converts the tape image read from `tape` into a WAV file written through
// `wav`, header and closing silence included. No block is started that
// would take the data past `max_data_size` samples (with room kept for the
// closing silence).
ConversionOutcome convert_tape_stream(std::istream& tape, WavWriter& wav, ConversionReport& report,
                                      std::uint64_t max_data_size = kMaxWavDataSize);

// What convert_tape_stream would do with `tape`, found without making a
// single sample: how it would end and the data size of the WAV.
struct ConversionPlan {
    ConversionOutcome outcome;
    std::uint64_t data_size;
};
ConversionPlan plan_conversion(std::istream& tape, std::uint64_t max_data_size = kMaxWavDataSize);

// Converts `tape` for a destination that cannot be rewound (a pipe): the
// image is read twice, once to size the WAV, then from its start again to
// write it, sizes first. The bytes are those convert_tape_stream writes.
// `tape` must be able to seek back to its start.
ConversionOutcome convert_tape_stream_sized_first(std::istream& tape, ByteSink& sink, ConversionReport& report);

// Where each part of the signal lies in the WAV that convert_tape_stream
// writes, in samples from the start of its data: gaps, leaders, blocks
// (with their markers) and silences, the closing second included.
struct SignalSegment {
    enum Kind { silence, leader, block } kind;
    std::uint64_t start;
    std::uint64_t samples;
    std::uint8_t block_type;  // of a block
    int file;                 // the latest file header's index, -1 before the first
};
std::vector<SignalSegment> signal_layout(std::istream& tape);

// How a conversion between files ended.
enum class FileConversion {
    converted,       // the whole image is in the WAV
    truncated,       // the image ends inside a block; the WAV holds the blocks before it
    too_long,        // the WAV holds the blocks that fit
    cannot_read,     // the image cannot be opened or read; no WAV was written
    cannot_create,   // the WAV cannot be created; nothing was written
    write_failed,    // the WAV could not be written whole; nothing was written
};

FileConversion file_conversion(ConversionOutcome outcome);

// Writes the WAV of `tape` to the file `wav_name`. The file takes that name
// only once it is complete: when anything fails, a file of that name stays
// as it was and nothing is left behind.
FileConversion write_wav_file(std::istream& tape, const std::string& wav_name, ConversionReport& report);

// Converts the image file `image_name` into the file `wav_name`.
FileConversion convert_tape_file(const std::string& image_name, const std::string& wav_name,
                                 ConversionReport& report);

}  // namespace morlevix
