#include "tape_catalog.h"

#include <cmath>
#include <cstdio>

namespace morlevix {
namespace {

constexpr char kYes[] = "oui";
constexpr char kNo[] = "non";
constexpr char kRight[] = "juste";
constexpr char kWrong[] = "fausse";
constexpr char kBroken[] = "coupe";
constexpr char kDoubtful[] = "douteuse";
constexpr int kSecondsPerMinute = 60;
constexpr double kTenthsPerSecond = 10.0;

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

// "1 octet", "2 octets": French takes the singular for 0 and 1.
std::string counted(std::uint64_t count, const std::string& word)
{
    return std::to_string(count) + " " + word + (count > 1 ? "s" : "");
}

std::string where(std::uint64_t position, const std::optional<double>& seconds)
{
    std::string text = "a la position " + std::to_string(position);
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
                             bool broken_off, std::optional<BlockFigures> figures, const char* doubt)
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

std::string file_type_text(std::uint8_t file_type)
{
    switch (file_type) {
    case kBasicFile: return "00 BASIC";
    case kDataFile: return "01 donnees";
    case kMachineCodeFile: return "02 code machine";
    default: return hex(file_type, 2);
    }
}

std::string recording_time_text(double seconds)
{
    const auto tenths = static_cast<long long>(std::floor(seconds * kTenthsPerSecond));
    const long long whole_seconds = tenths / 10;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld.%lld", whole_seconds / kSecondsPerMinute,
                  whole_seconds % kSecondsPerMinute, tenths % 10);
    return text;
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

std::string block_figures_text(const BlockFigures& figures)
{
    char text[96];
    std::snprintf(text, sizeof text, "vitesse %.1f %%, niveau %.1f dBFS, marge %.0f %%", figures.speed * kPercent,
                  figures.level, std::floor(figures.margin * kPercent));
    return text;
}

std::string catalog_files_heading(bool with_times)
{
    return "  " + padded("Nom", kNameColumn) + "  " + padded("Type", kTypeColumn) +
           "  ASCII  Ecart  Adresses   Blocs  Octets  Fin" + (with_times ? "  Temps" : "");
}

std::string catalog_file_line(const TapeCatalog& catalog, const CatalogFile& file, bool with_times)
{
    std::string line = "  " + padded(file.name, kNameColumn) + "  " + padded(file_type_text(file.file_type), kTypeColumn) +
                       "  " + hex(file.ascii_flag, 2) + "     " + hex(file.gap_flag, 2) + "     " +
                       hex(file.first_address, 4) + " " + hex(file.second_address, 4) + "  " +
                       right_aligned(file.blocks, kCountColumn - 1) + "  " + right_aligned(file.bytes, kCountColumn) +
                       "  " + (file.end_block ? kYes : kNo);
    const auto& seconds = catalog.blocks[file.header_block].seconds;
    if (with_times && seconds) line += "  " + recording_time_text(*seconds);
    return line;
}

std::string catalog_blocks_heading(bool with_times)
{
    return std::string("   Position  Type  Longueur  Somme") +
           (with_times ? "   Temps    Vitesse     Niveau  Marge" : "");
}

std::string catalog_block_line(const CatalogBlock& block, bool with_times)
{
    std::string line = "  " + right_aligned(block.position, kPositionColumn) + "  " + hex(block.type, 2) + "    " +
                       right_aligned(block.length, kPositionColumn - 1) + "  " +
                       padded(block.broken_off      ? kBroken
                              : !block.checksum_right ? kWrong
                              : block.doubt           ? kDoubtful
                                                      : kRight,
                              kCountColumn);
    if (with_times && block.seconds) line += "  " + padded(recording_time_text(*block.seconds), kTimeColumn);
    if (with_times && block.figures) line += figures_columns(*block.figures);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

std::vector<std::string> catalog_problems(const TapeCatalog& catalog)
{
    std::vector<std::string> problems;
    if (catalog.blocks_before_first_header > 0)
        problems.push_back(counted(catalog.blocks_before_first_header, "bloc") + " avant le premier en-tete de fichier");
    for (const auto& block : catalog.blocks)
        if (block.broken_off || !block.checksum_right || block.doubt)
            problems.push_back("bloc " + hex(block.type, 2) + " de " + counted(block.length, "octet") + " " +
                               where(block.position, block.seconds) + " : " +
                               (block.broken_off ? kBrokenOffText : !block.checksum_right ? kWrongChecksumText : block.doubt));
    if (catalog.cut) {
        const CutBlock& cut = *catalog.cut;
        std::string block = "bloc";
        if (cut.bytes_read > kBlockTypeOffset) block += " " + hex(cut.type, 2);
        if (cut.bytes_read > kBlockLengthOffset) block += " de " + counted(cut.length, "octet");
        // In a recording it is the signal that broke off; in an image, the file.
        problems.push_back(block + " " + where(cut.position, cut.seconds) + " : " +
                           (cut.seconds ? std::string(kBrokenOffText) : "coupe par la fin de l'image apres " + counted(cut.bytes_read, "octet")));
    }
    if (catalog.read_failed) problems.push_back("lecture interrompue par une erreur");
    return problems;
}

}  // namespace morlevix
