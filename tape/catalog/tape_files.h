// The files on a tape, with their contents: read out of the blocks of an
// image or a recording, or laid out as the blocks of a new tape image.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "tape/decoder/cassette_decoder.h"
#include "tape_catalog.h"

namespace morlevix {


// A file whose `whole` is false.
inline constexpr Text kDamagedFileText{"fichier incomplet ou abime (blocs faux ou manquants)",
                                       "file incomplete or damaged (blocks wrong or missing)"};

struct TapeFileContents {
    CatalogFile info;
    std::vector<std::uint8_t> bytes;  // the payloads of its blocks, joined
    bool whole = false;               // every block sound and its end block there
};

// The files that the blocks make up, in order.
std::vector<TapeFileContents> files_on_tape(const std::vector<HeardBlock>& blocks);

// The file named `name` (as list shows it; trailing spaces and case
// ignored), or nullptr.
const TapeFileContents* find_tape_file(const std::vector<TapeFileContents>& files, const std::string& name);

// A file to put on a new tape.
struct NewTapeFile {
    std::string name;  // at most 8 characters; padded with spaces
    std::uint8_t file_type = kMachineCodeFile;
    std::uint8_t ascii_flag = 0;
    std::uint8_t gap_flag = 0;
    std::uint16_t first_address = 0;
    std::uint16_t second_address = 0;
    std::vector<std::uint8_t> bytes;
};

// Appends one block, with its leader and checksum, to an image.
void append_block(std::vector<std::uint8_t>& image, std::uint8_t type, const std::uint8_t* payload, std::size_t length);

// A tape image of the files: for each, a header block, data blocks of 255
// bytes (the last one shorter) and an end block, each after its leader.
std::vector<std::uint8_t> tape_image_of_files(const std::vector<NewTapeFile>& files);

}  // namespace morlevix
