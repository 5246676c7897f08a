// The tape image converter: one .k7 image in, one .wav file out.
//
// Every complete block of the image goes to the cassette signal exactly as
// read (nothing in a block is checked), with the name of every file header
// reported on the way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iosfwd>
#include <string>
#include <vector>

#include "tape_image_reader.h"
#include "wav_output.h"

namespace morlevix {

// Console texts of a conversion, the same for the batch (which starts each
// on a new line) and the command line.
inline constexpr char kTruncatedBlockText[] = "Anomalie bloc ";  // followed by two hex digits
inline constexpr char kTooLongText[] = "Fichier .wav trop long : conversion arretee";
inline constexpr char kCannotReadText[] = "Impossible de lire ";       // followed by the file's name
inline constexpr char kCannotCreateText[] = "Impossible de creer ";    // followed by the file's name
inline constexpr char kWriteErrorText[] = "Erreur d'ecriture de ";     // followed by the file's name

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

// The batch's console lines, each starting with a line break.
class BatchConsoleReport final : public ConversionReport {
public:
    explicit BatchConsoleReport(std::ostream& console) : console_(console) {}
    void file_header(const std::string& name) override;
    void truncated_block(std::uint8_t shown) override;
    void too_long() override;

private:
    std::ostream& console_;
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
// The same, with the batch's console lines on `console`.
ConversionOutcome convert_tape_stream(std::istream& tape, WavWriter& wav, std::ostream& console,
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

// Opens the image file `name` and reads its first byte: false when it
// cannot be read. Nothing else is touched before that is known.
bool open_tape_image(const std::string& name, std::ifstream& tape);

// True when the two names stand for one and the same existing file.
bool same_file(const std::string& a, const std::string& b);

// Two hex digits, as the console shows a byte.
std::string hex_byte(std::uint8_t value);

// Writes the WAV of `tape` to the file `wav_name`. The file takes that name
// only once it is complete: when anything fails, a file of that name stays
// as it was and nothing is left behind.
FileConversion write_wav_file(std::istream& tape, const std::string& wav_name, ConversionReport& report);

// Converts the image file `image_name` into the file `wav_name`.
FileConversion convert_tape_file(const std::string& image_name, const std::string& wav_name,
                                 ConversionReport& report);

// The WAV name for an image: the file name cut at its first dot, plus ".wav";
// any directory part is kept as it stands.
std::string wav_name_for(const std::string& tape_name);
// The same with another extension (".k7" for a tape image).
inline constexpr char kTapeExtension[] = ".k7";
std::string name_with_extension(const std::string& file_name, const char* extension);

// Converts the image file `name` into the WAV file beside it, reporting on
// `console`, in the batch's words, what went wrong.
void convert_tape_image(const std::string& name, std::ostream& console);
void convert_tape_image(const std::string& name);

// What separates the directory part of a file name from the name itself.
#ifdef _WIN32
inline constexpr char kPathSeparators[] = "/\\";
#else
inline constexpr char kPathSeparators[] = "/";
#endif

// File names as the console and the listing carry them (UTF-8 on every
// system), and the paths they stand for.
std::filesystem::path path_from_name(const std::string& name);
std::string name_from_path(const std::filesystem::path& path);

}  // namespace morlevix
