#include "tape_files.h"

#include <algorithm>
#include <cctype>


namespace morlevix {
namespace {

constexpr unsigned kByteBits = 8;
constexpr unsigned kByteMask = 0xFF;
constexpr char kNamePadding = ' ';

std::string folded(std::string name)
{
    while (!name.empty() && name.back() == ' ') name.pop_back();
    for (auto& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

}  // namespace

std::vector<TapeFileContents> files_on_tape(const std::vector<HeardBlock>& blocks)
{
    TapeCatalogBuilder catalog;
    std::vector<TapeFileContents> files;
    for (const auto& heard : blocks) {
        if (!heard.complete) {
            if (!files.empty()) files.back().whole = false;
            continue;
        }
        const TapeBlock& block = heard.block;
        catalog.add(block, 0);
        if (block.is_header()) {
            files.push_back({catalog.catalog().files.back(), {}, heard.sound()});
            continue;
        }
        if (files.empty()) continue;  // before the first header: nobody's
        TapeFileContents& file = files.back();
        if (!heard.sound()) file.whole = false;
        if (block.type() == kEndBlockType) continue;
        file.bytes.insert(file.bytes.end(), block.payload(), block.payload() + block.payload_length());
    }
    // The catalog has counted every file's blocks and bytes by now.
    for (std::size_t i = 0; i < files.size(); ++i) {
        files[i].info = catalog.catalog().files[i];
        files[i].whole = files[i].whole && files[i].info.end_block;
    }
    return files;
}

const TapeFileContents* find_tape_file(const std::vector<TapeFileContents>& files, const std::string& name)
{
    const std::string wanted = folded(name);
    for (const auto& file : files)
        if (folded(file.info.name) == wanted) return &file;
    return nullptr;
}

void append_block(std::vector<std::uint8_t>& image, std::uint8_t type, const std::uint8_t* payload, std::size_t length)
{
    image.insert(image.end(), kImageLeaderLength, kLeaderByte);
    image.push_back(kSyncByte);
    image.push_back(type);
    image.push_back(static_cast<std::uint8_t>(length));
    image.insert(image.end(), payload, payload + length);
    image.push_back(block_checksum(type, payload, length));
}

std::vector<std::uint8_t> tape_image_of_files(const std::vector<NewTapeFile>& files)
{
    std::vector<std::uint8_t> image;
    for (const auto& file : files) {
        std::vector<std::uint8_t> header(file.name.begin(), file.name.end());
        header.resize(kNameLength, kNamePadding);
        for (unsigned value : {unsigned{file.file_type}, unsigned{file.ascii_flag}, unsigned{file.gap_flag}})
            header.push_back(static_cast<std::uint8_t>(value));
        for (unsigned address : {unsigned{file.first_address}, unsigned{file.second_address}}) {
            header.push_back(static_cast<std::uint8_t>((address >> kByteBits) & kByteMask));
            header.push_back(static_cast<std::uint8_t>(address & kByteMask));
        }
        append_block(image, kHeaderBlockType, header.data(), header.size());
        for (std::size_t at = 0; at < file.bytes.size(); at += kMaxBlockPayload)
            append_block(image, kDataBlockType, file.bytes.data() + at, std::min(kMaxBlockPayload, file.bytes.size() - at));
        append_block(image, kEndBlockType, nullptr, 0);
    }
    return image;
}

}  // namespace morlevix
