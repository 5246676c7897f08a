// What a tape holds: its files (one per header block, with the blocks that
// follow it) and every block with its checksum checked, then what is wrong
// with the tape, if anything. Built from a tape image, or block by block
// from blocks heard in a recording.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "tape/decoder/cassette_decoder.h"
#include "tape/image/cassette_format.h"
#include "tape/sound/recording_time.h"
#include "common/two_languages.h"

namespace morlevix {

struct CatalogBlock {
    std::uint64_t position = 0;  // of its sync byte in the image
    std::uint8_t type = 0;
    std::uint8_t length = 0;     // payload bytes
    bool checksum_right = false;
    bool broken_off = false;        // the recording's signal broke off inside it
    // In a recording, why its reading is in doubt (see kUnclosedText), or null.
    const Text* doubt = nullptr;
    std::optional<double> seconds;  // where it starts in a recording
    std::optional<BlockFigures> figures;  // how it was heard in a recording
};

struct CatalogFile {
    std::string name;  // safe to print, see shown_file_name
    std::uint8_t file_type = 0;
    std::uint8_t ascii_flag = 0;
    std::uint8_t gap_flag = 0;
    std::uint16_t first_address = 0;
    std::uint16_t second_address = 0;
    std::size_t header_block = 0;  // index of its header in TapeCatalog::blocks
    std::size_t blocks = 0;        // blocks after the header, end block left out
    std::uint64_t bytes = 0;       // their payload bytes
    bool end_block = false;        // its end block (type 0xFF) is there
};

// The block that the image ends inside.
struct CutBlock {
    std::uint64_t position = 0;
    std::size_t bytes_read = 0;  // sync byte included
    std::uint8_t type = 0;       // once bytes_read > 1
    std::uint8_t length = 0;     // once bytes_read > 2
    std::optional<double> seconds;
};

struct TapeCatalog {
    std::vector<CatalogBlock> blocks;
    std::vector<CatalogFile> files;
    std::size_t blocks_before_first_header = 0;
    std::optional<CutBlock> cut;
    bool read_failed = false;

    // Blocks with a wrong checksum or broken off.
    std::size_t bad_blocks() const;
    // Every block whole with a right checksum, and the image read to its end.
    bool sound() const { return bad_blocks() == 0 && !cut && !read_failed; }
};

// Gathers a catalog block by block.
class TapeCatalogBuilder {
public:
    void add(const TapeBlock& block, std::uint64_t position, std::optional<double> seconds = std::nullopt,
             bool broken_off = false, std::optional<BlockFigures> figures = std::nullopt, const Text* doubt = nullptr);
    void cut_short(const TapeBlock& partial, std::uint64_t position, std::optional<double> seconds = std::nullopt);
    void read_failed() { catalog_.read_failed = true; }
    const TapeCatalog& catalog() const { return catalog_; }

private:
    TapeCatalog catalog_;
};

// Blocks and bytes counted, as counted() takes them.
inline constexpr Text kBlockWord{"bloc", "block"};
inline constexpr Text kBlocksWord{"blocs", "blocks"};
inline constexpr Text kByteWord{"octet", "byte"};
inline constexpr Text kBytesWord{"octets", "bytes"};

// The problems of a block: its checksum is wrong, or (heard in a
// recording) the signal broke off inside it.
inline constexpr Text kWrongChecksumText{"somme de controle fausse", "wrong checksum"};
inline constexpr Text kBrokenOffText{"signal interrompu dans le bloc", "signal broken off inside the block"};
// A block whose checksum is right but whose reading is in doubt: its
// closing marker did not follow and a bit of it lay near the line between
// a 0 and a 1, or a bit lay on that line and no reading of its cycles took
// its place.
inline constexpr Text kUnclosedText{
    "pas de marqueur de fin apres la somme de controle, et un bit pres de la limite entre 0 et 1 (lecture douteuse)",
    "no closing marker after the checksum, and a bit near the line between 0 and 1 (doubtful reading)"};
inline constexpr Text kGuessedBitText{
    "un bit a la limite entre 0 et 1, que la seconde lecture ne confirme pas (lecture douteuse)",
    "a bit on the line between 0 and 1, that the second reading does not confirm (doubtful reading)"};

// Where a block lies in an image, before its position: "a la position 1234".
inline constexpr Text kAtPositionText{"a la position ", "at position "};

// How a console shows a catalog: the file type in words, one line per file
// under a heading, one line per block under another, and one sentence per
// problem. The problems name no file: the caller puts the name in front.
// Two hex digits, as the console shows a byte.
std::string hex_byte(std::uint8_t value);
Said file_type_text(std::uint8_t file_type);
Said catalog_files_heading(bool with_times);
Said catalog_file_line(const TapeCatalog& catalog, const CatalogFile& file, bool with_times);
Said catalog_blocks_heading(bool with_times);
Said catalog_block_line(const CatalogBlock& block, bool with_times);
std::vector<Said> catalog_problems(const TapeCatalog& catalog);
// The same, each with a stable kind in English ("wrong_checksum",
// "broken_off", "doubtful_reading", "cut_by_image_end",
// "blocks_before_first_header", "read_failed") and where it is.
struct CatalogProblem {
    const char* kind;
    Said text;
    std::optional<double> seconds;
    std::optional<std::uint64_t> position;
};
std::vector<CatalogProblem> catalog_problem_list(const TapeCatalog& catalog);
// How a block was heard: "vitesse 99.6 %, niveau -6.0 dBFS, marge 84 %".
Said block_figures_text(const BlockFigures& figures);

}  // namespace morlevix
