// The tape image converter: one .k7 image in, one .wav file out.
//
// A tape image is a plain byte stream. Blocks are found by their sync byte
// 0x3C; a block is sync, type, length L, L payload bytes and a closing byte.
// Bytes between blocks are skipped whatever they hold. Nothing in a block is
// checked: it goes to the cassette signal exactly as read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>

#include "wav_output.h"

namespace morlevix {

inline constexpr std::uint8_t kSyncByte = 0x3C;
inline constexpr std::size_t kBlockFraming = 4;  // sync, type, length, closing byte
inline constexpr std::size_t kMaxBlockSize = 255 + kBlockFraming;

// Console texts of a conversion.
inline constexpr char kTruncatedBlockMessage[] = "\nAnomalie bloc ";  // followed by two hex digits
inline constexpr char kTooLongMessage[] = "\nFichier .wav trop long : conversion arretee";
inline constexpr char kCannotReadMessage[] = "\nImpossible de lire ";
inline constexpr char kCannotCreateMessage[] = "\nImpossible de creer ";
inline constexpr char kWriteErrorMessage[] = "\nErreur d'ecriture de ";

// One block as read from the image, sync byte first.
struct TapeBlock {
    std::array<std::uint8_t, kMaxBlockSize> bytes{};
    std::size_t length = 0;  // L + 4 once the block is complete

    // The byte at `offset`, or 0 past the end of the block: header fields
    // of a short header block read as 0, never as leftovers of another block.
    std::uint8_t at(std::size_t offset) const { return offset < length ? bytes[offset] : 0; }
};

enum class ConversionOutcome {
    finished,      // the image ended between blocks
    truncated,     // the image ended inside a block; the blocks before it are in the file
    too_long,      // the next block would not fit in a WAV file; the blocks before it are in the file
    read_failed,   // the image could not be read to its end
    write_failed,  // the WAV could not be written; the file is incomplete
};

// Converts the tape image read from `tape` into a WAV file written through
// `wav`, header and closing silence included. Header names and anomalies go
// to `console`. No block is started that would take the data past
// `max_data_size` samples (with room kept for the closing silence).
ConversionOutcome convert_tape_stream(std::istream& tape, WavWriter& wav, std::ostream& console,
                                      std::uint64_t max_data_size = kMaxWavDataSize);

// The WAV name for an image: the file name cut at its first dot, plus ".wav";
// any directory part is kept as it stands.
std::string wav_name_for(const std::string& tape_name);

// Converts the image file `name` into the WAV file beside it, reporting on
// `console` what went wrong. Never leaves an incomplete WAV behind.
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
