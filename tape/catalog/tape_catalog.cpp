#include "tape_catalog.h"

#include <cmath>
#include <cstdio>

namespace morlevix {
namespace {

constexpr Text kYes{"oui", "yes"};
constexpr Text kNo{"non", "no"};
constexpr Text kRight{"juste", "right"};
constexpr Text kWrong{"fausse", "wrong"};
constexpr Text kBroken{"coupe", "cut"};
constexpr Text kDoubtful{"douteuse", "doubtful"};
constexpr Text kOf{" de ", " of "};
constexpr Text kBeforeFirstHeader{" avant le premier en-tete de fichier", " before the first file header"};
constexpr Text kCutByImageEnd{"coupe par la fin de l'image apres ", "cut by the end of the image after "};
constexpr Text kReadFailed{"lecture interrompue par une erreur", "reading stopped by an error"};
constexpr Text kBasicType{"00 BASIC", "00 BASIC"};
constexpr Text kDataType{"01 donnees", "01 data"};
constexpr Text kMachineCodeType{"02 code machine", "02 machine code"};
constexpr Text kFilesHeading{"  ASCII  Ecart  Adresses   Blocs  Octets  Fin", "  ASCII  Gap    Addresses Blocks   Bytes  End"};
constexpr Text kName{"Nom", "Name"};
constexpr Text kType{"Type", "Type"};
constexpr Text kTime{"  Temps", "  Time"};
constexpr Text kBlocksHeading{"   Position  Type  Longueur  Somme", "   Position  Type    Length  Check"};
constexpr Text kFiguresHeading{"   Temps    Vitesse     Niveau  Marge", "   Time       Speed      Level  Margin"};
constexpr Text kFiguresText{"vitesse %.1f %%, niveau %.1f dBFS, marge %.0f %%", "speed %.1f %%, level %.1f dBFS, margin %.0f %%"};

// Column widths of the tables.
constexpr int kNameColumn = 8;
constexpr int kTypeColumn = 16;
constexpr int kCountColumn = 6;
constexpr int kPositionColumn = 9;
constexpr int kTimeColumn = 7;

std::string hex(unsigned value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*x", digits, value);
    return text;
}

std::string padded(const std::string& text, int width)
{
    return text.size() >= static_cast<std::size_t>(width) ? text : text + std::string(width - text.size(), ' ');
}

std::string right_aligned(std::uint64_t value, int width)
{
    const std::string text = std::to_string(value);
    return text.size() >= static_cast<std::size_t>(width) ? text : std::string(width - text.size(), ' ') + text;
}

Said where(std::uint64_t position, const std::optional<double>& seconds)
{
    Said text = kAtPositionText + std::to_string(position);
    if (seconds) text += " (" + recording_time_text(*seconds) + ")";
    return text;
}

}  // namespace

std::size_t TapeCatalog::bad_blocks() const
{
    std::size_t bad = 0;
    for (const auto& block : blocks) bad += block.checksum_right && !block.broken_off && !block.doubt ? 0 : 1;
    return bad;
}

void TapeCatalogBuilder::add(const TapeBlock& block, std::uint64_t position, std::optional<double> seconds,
                             bool broken_off, std::optional<BlockFigures> figures, const Text* doubt)
{
    CatalogBlock entry;
    entry.position = position;
    entry.type = block.type();
    entry.length = static_cast<std::uint8_t>(block.payload_length());
    entry.checksum_right = checksum_is_right(block);
    entry.seconds = seconds;
    entry.broken_off = broken_off;
    entry.doubt = doubt;
    entry.figures = figures;
    catalog_.blocks.push_back(entry);

    if (block.is_header()) {
        CatalogFile file;
        file.name = shown_file_name(block);
        file.file_type = block.at(kFileTypeOffset);
        file.ascii_flag = block.at(kAsciiFlagOffset);
        file.gap_flag = block.at(kGapFlagOffset);
        file.first_address = block.word_at(kFirstAddressOffset);
        file.second_address = block.word_at(kSecondAddressOffset);
        file.header_block = catalog_.blocks.size() - 1;
        catalog_.files.push_back(file);
    } else if (catalog_.files.empty()) {
        ++catalog_.blocks_before_first_header;
    } else if (block.type() == kEndBlockType) {
        catalog_.files.back().end_block = true;
    } else {
        ++catalog_.files.back().blocks;
        catalog_.files.back().bytes += block.payload_length();
    }
}

void TapeCatalogBuilder::cut_short(const TapeBlock& partial, std::uint64_t position, std::optional<double> seconds)
{
    CutBlock cut;
    cut.position = position;
    cut.bytes_read = partial.length;
    cut.type = partial.at(kBlockTypeOffset);
    cut.length = partial.at(kBlockLengthOffset);
    cut.seconds = seconds;
    catalog_.cut = cut;
}

std::string hex_byte(std::uint8_t value) { return hex(value, 2); }

Said file_type_text(std::uint8_t file_type)
{
    switch (file_type) {
    case kBasicFile: return kBasicType;
    case kDataFile: return kDataType;
    case kMachineCodeFile: return kMachineCodeType;
    default: return Said::same(hex(file_type, 2));
    }
}

namespace {

constexpr double kPercent = 100;

// The figures in the columns of a block line: "  99.6 %   -6.0 dBFS   84 %".
std::string figures_columns(const BlockFigures& figures)
{
    char text[64];
    std::snprintf(text, sizeof text, "  %5.1f %%  %6.1f dBFS  %3.0f %%", figures.speed * kPercent, figures.level,
                  std::floor(figures.margin * kPercent));
    return text;
}

}  // namespace

Said block_figures_text(const BlockFigures& figures)
{
    return in_both([&](Language language) {
        char text[96];
        std::snprintf(text, sizeof text, kFiguresText.in(language), figures.speed * kPercent, figures.level,
                      std::floor(figures.margin * kPercent));
        return std::string(text);
    });
}

Said catalog_files_heading(bool with_times)
{
    return in_both([&](Language language) {
        return "  " + padded(kName.in(language), kNameColumn) + "  " + padded(kType.in(language), kTypeColumn) +
               kFilesHeading.in(language) + (with_times ? kTime.in(language) : "");
    });
}

Said catalog_file_line(const TapeCatalog& catalog, const CatalogFile& file, bool with_times)
{
    return in_both([&](Language language) {
        std::string line = "  " + padded(file.name, kNameColumn) + "  " +
                           padded(file_type_text(file.file_type).in(language), kTypeColumn) + "  " +
                           hex(file.ascii_flag, 2) + "     " + hex(file.gap_flag, 2) + "     " +
                           hex(file.first_address, 4) + " " + hex(file.second_address, 4) + "  " +
                           right_aligned(file.blocks, kCountColumn - 1) + "  " +
                           right_aligned(file.bytes, kCountColumn) + "  " + (file.end_block ? kYes : kNo).in(language);
        const auto& seconds = catalog.blocks[file.header_block].seconds;
        if (with_times && seconds) line += "  " + recording_time_text(*seconds);
        return line;
    });
}

Said catalog_blocks_heading(bool with_times)
{
    return in_both([&](Language language) {
        return std::string(kBlocksHeading.in(language)) + (with_times ? kFiguresHeading.in(language) : "");
    });
}

Said catalog_block_line(const CatalogBlock& block, bool with_times)
{
    return in_both([&](Language language) {
        std::string line = "  " + right_aligned(block.position, kPositionColumn) + "  " + hex(block.type, 2) + "    " +
                           right_aligned(block.length, kPositionColumn - 1) + "  " +
                           padded((block.broken_off        ? kBroken
                                   : !block.checksum_right ? kWrong
                                   : block.doubt           ? kDoubtful
                                                           : kRight)
                                      .in(language),
                                  kCountColumn);
        if (with_times && block.seconds) line += "  " + padded(recording_time_text(*block.seconds), kTimeColumn);
        if (with_times && block.figures) line += figures_columns(*block.figures);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        return line;
    });
}

std::vector<CatalogProblem> catalog_problem_list(const TapeCatalog& catalog)
{
    std::vector<CatalogProblem> problems;
    if (catalog.blocks_before_first_header > 0)
        problems.push_back({"blocks_before_first_header",
                            counted(catalog.blocks_before_first_header, kBlockWord, kBlocksWord) + kBeforeFirstHeader,
                            std::nullopt, std::nullopt});
    for (const auto& block : catalog.blocks)
        if (block.broken_off || !block.checksum_right || block.doubt)
            problems.push_back({block.broken_off ? "broken_off" : !block.checksum_right ? "wrong_checksum" : "doubtful_reading",
                                kBlockWord + (" " + hex(block.type, 2)) + kOf + counted(block.length, kByteWord, kBytesWord) +
                                    std::string(" ") + where(block.position, block.seconds) + kFieldSeparator +
                                    (block.broken_off ? kBrokenOffText : !block.checksum_right ? kWrongChecksumText : *block.doubt),
                                block.seconds, block.position});
    if (catalog.cut) {
        const CutBlock& cut = *catalog.cut;
        Said block = kBlockWord;
        if (cut.bytes_read > kBlockTypeOffset) block += " " + hex(cut.type, 2);
        if (cut.bytes_read > kBlockLengthOffset) block += kOf + counted(cut.length, kByteWord, kBytesWord);
        // In a recording it is the signal that broke off; in an image, the file.
        problems.push_back({cut.seconds ? "broken_off" : "cut_by_image_end",
                            block + std::string(" ") + where(cut.position, cut.seconds) + kFieldSeparator +
                                (cut.seconds ? Said(kBrokenOffText) : kCutByImageEnd + counted(cut.bytes_read, kByteWord, kBytesWord)),
                            cut.seconds, cut.position});
    }
    if (catalog.read_failed) problems.push_back({"read_failed", kReadFailed, std::nullopt, std::nullopt});
    return problems;
}

std::vector<Said> catalog_problems(const TapeCatalog& catalog)
{
    std::vector<Said> texts;
    for (const auto& problem : catalog_problem_list(catalog)) texts.push_back(problem.text);
    return texts;
}

}  // namespace morlevix
