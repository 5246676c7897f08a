#include "tape_image_converter.h"

#include <fstream>
#include <iostream>
#include <system_error>

#include "cassette_encoder.h"

namespace morlevix {
namespace {

constexpr std::size_t kTypeOffset = 1;
constexpr std::size_t kLengthOffset = 2;
constexpr std::size_t kPayloadOffset = 3;

// Fields of a file header block.
constexpr std::size_t kNameOffset = 3;
constexpr std::size_t kNameLength = 8;
constexpr std::size_t kGapFlagOffset = 13;

// Bytes of a header name shown as they are; any other byte shows as this,
// so that a tape image cannot send control sequences to the terminal.
constexpr std::uint8_t kFirstPrintable = 0x20;
constexpr std::uint8_t kLastPrintable = 0x7E;
constexpr char kUnprintableStandIn = '?';

constexpr char kWavExtension[] = ".wav";

enum class BlockRead { complete, end_of_image, truncated, read_error };

BlockRead stopped(const std::istream& tape)
{
    return tape.bad() ? BlockRead::read_error : BlockRead::truncated;
}

// Skips to the next sync byte and reads the block that it starts.
BlockRead read_next_block(std::istream& tape, TapeBlock& block)
{
    using traits = std::istream::traits_type;
    for (;;) {
        const auto c = tape.get();
        if (traits::eq_int_type(c, traits::eof()))
            return tape.bad() ? BlockRead::read_error : BlockRead::end_of_image;
        if (traits::to_char_type(c) == static_cast<char>(kSyncByte)) break;
    }
    block.bytes[0] = kSyncByte;
    block.length = 1;
    while (block.length < kPayloadOffset) {
        const auto c = tape.get();
        if (traits::eq_int_type(c, traits::eof())) return stopped(tape);
        block.bytes[block.length++] = static_cast<std::uint8_t>(traits::to_char_type(c));
    }
    const std::size_t total = block.bytes[kLengthOffset] + kBlockFraming;
    tape.read(reinterpret_cast<char*>(block.bytes.data() + block.length),
              static_cast<std::streamsize>(total - block.length));
    block.length += static_cast<std::size_t>(tape.gcount());
    return block.length == total ? BlockRead::complete : stopped(tape);
}

void print_hex_byte(std::ostream& console, std::uint8_t value)
{
    constexpr char kDigits[] = "0123456789abcdef";
    console << kDigits[value >> 4] << kDigits[value & 0x0F];
}

// The header's name up to its first NUL, unprintable bytes shown as '?'.
void print_header_name(std::ostream& console, const TapeBlock& block)
{
    std::string name;
    for (std::size_t i = kNameOffset; i < kNameOffset + kNameLength; ++i) {
        const std::uint8_t b = block.at(i);
        if (b == 0) break;
        name += (b >= kFirstPrintable && b <= kLastPrintable) ? static_cast<char>(b) : kUnprintableStandIn;
    }
    console << '\n' << name;
}

}  // namespace

ConversionOutcome convert_tape_stream(std::istream& tape, WavWriter& wav, std::ostream& console,
                                      std::uint64_t max_data_size)
{
    wav.write_wav_header();
    TapeBlock block;
    std::uint8_t gap_flag = 0;  // no gaps for blocks before the first header
    ConversionOutcome outcome = ConversionOutcome::finished;
    for (;;) {
        const BlockRead read = read_next_block(tape, block);
        if (read == BlockRead::end_of_image) break;
        if (read == BlockRead::read_error) return ConversionOutcome::read_failed;
        if (read == BlockRead::truncated) {
            // The type byte names the block once it was read; before that
            // only the sync byte is there.
            console << kTruncatedBlockMessage;
            print_hex_byte(console, block.length > kTypeOffset ? block.bytes[kTypeOffset] : kSyncByte);
            outcome = ConversionOutcome::truncated;
            break;
        }
        const bool header = block.bytes[kTypeOffset] == kHeaderBlockType;
        const std::uint8_t block_gap_flag = header ? block.at(kGapFlagOffset) : gap_flag;
        const std::uint64_t block_samples = block_sample_count(block.bytes.data(), block.length, block_gap_flag);
        if (wav.data_size() + block_samples + kClosingSilenceSamples > max_data_size) {
            console << kTooLongMessage;
            outcome = ConversionOutcome::too_long;
            break;
        }
        if (header) print_header_name(console, block);
        gap_flag = block_gap_flag;
        write_block(wav, block.bytes.data(), block.length, gap_flag);
        if (wav.failed()) return ConversionOutcome::write_failed;
    }
    if (!wav.finish_wav()) return ConversionOutcome::write_failed;
    return outcome;
}

std::string wav_name_for(const std::string& tape_name)
{
    const auto separator = tape_name.find_last_of(kPathSeparators);
    const auto file_start = separator == std::string::npos ? 0 : separator + 1;
    return tape_name.substr(0, tape_name.find('.', file_start)) + kWavExtension;
}

std::filesystem::path path_from_name(const std::string& name)
{
#ifdef _WIN32
    return std::filesystem::u8path(name);
#else
    return std::filesystem::path(name);
#endif
}

std::string name_from_path(const std::filesystem::path& path)
{
#ifdef _WIN32
    return path.u8string();
#else
    return path.string();
#endif
}

void convert_tape_image(const std::string& name, std::ostream& console)
{
    const std::string wav_name = wav_name_for(name);
    const auto tape_path = path_from_name(name);
    const auto wav_path = path_from_name(wav_name);

    // The image is opened, and its first byte read, before the WAV is
    // touched: an image that cannot be read leaves any existing WAV as it was.
    std::ifstream tape(tape_path, std::ios::binary);
    if (tape.is_open()) tape.peek();
    if (!tape.is_open() || tape.bad()) {
        console << kCannotReadMessage << name;
        return;
    }
    std::error_code ignored;
    if (std::filesystem::equivalent(tape_path, wav_path, ignored)) {
        console << kCannotCreateMessage << wav_name;  // it would overwrite the image itself
        return;
    }

    ConversionOutcome outcome;
    {
        FileSink sink(wav_path);
        if (!sink.is_open()) {
            console << kCannotCreateMessage << wav_name;
            return;
        }
        WavWriter wav(sink);
        outcome = convert_tape_stream(tape, wav, console);
    }
    // An incomplete WAV would look like a good one: it does not stay.
    if (outcome == ConversionOutcome::write_failed) {
        console << kWriteErrorMessage << wav_name;
        std::filesystem::remove(wav_path, ignored);
    } else if (outcome == ConversionOutcome::read_failed) {
        console << kCannotReadMessage << name;
        std::filesystem::remove(wav_path, ignored);
    }
}

void convert_tape_image(const std::string& name) { convert_tape_image(name, std::cout); }

}  // namespace morlevix
