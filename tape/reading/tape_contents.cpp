#include "tape_contents.h"

#include <utility>

#include "recording_converter.h"
#include "tape/image/tape_image_reader.h"
#include "tape/sound/recording_input.h"

namespace morlevix {

TapeContents read_tape_image(std::istream& image)
{
    TapeContents contents;
    TapeImageReader reader(image);
    TapeCatalogBuilder catalog;
    HeardBlock heard;
    std::vector<std::uint64_t> positions;
    for (;;) {
        const BlockRead read = reader.next(heard.block);
        if (read == BlockRead::end_of_image) break;
        if (read == BlockRead::read_error) {
            catalog.read_failed();
            break;
        }
        heard.complete = read == BlockRead::complete;
        contents.blocks.push_back(heard);
        positions.push_back(reader.block_position());
        if (!heard.complete) {
            catalog.cut_short(heard.block, reader.block_position());
            break;
        }
        catalog.add(heard.block, reader.block_position());
    }
    contents.catalog = catalog.catalog();
    contents.account = account_for_image(contents.blocks, positions);
    return contents;
}

TapeContents read_tape_contents(std::istream& file)
{
    if (!is_recording(file_kind_of(file))) return read_tape_image(file);
    TapeContents contents;
    contents.recording = true;
    DecodedRecording decoded = decode_recording(file);
    contents.error = std::move(decoded.error);
    contents.blocks = std::move(decoded.blocks);
    contents.catalog = catalog_of(contents.blocks);
    contents.account = std::move(decoded.account);
    contents.seconds = decoded.seconds;
    return contents;
}

}  // namespace morlevix
