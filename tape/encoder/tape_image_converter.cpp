#include "tape_image_converter.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "cassette_encoder.h"
#include "common/file_names.h"
#include "common/file_replacement.h"

namespace morlevix {
namespace {

// Reads the image block by block and decides, for each, whether it goes
// into the WAV: `take(block, gap_flag)` gets every block that does, in
// order. `data_size` is what the WAV holds before the first block and is
// kept up to date. Shared by the conversion and its plan, so that the two
// cannot disagree on a single block.
template <typename Take>
ConversionOutcome walk_blocks(std::istream& tape, ConversionReport& report, std::uint64_t max_data_size,
                              std::uint64_t& data_size, Take&& take)
{
    TapeImageReader reader(tape);
    TapeBlock block;
    std::uint8_t gap_flag = 0;  // no gaps for blocks before the first header
    for (;;) {
        const BlockRead read = reader.next(block);
        if (read == BlockRead::end_of_image) return ConversionOutcome::finished;
        if (read == BlockRead::read_error) return ConversionOutcome::read_failed;
        if (read == BlockRead::truncated) {
            // The type byte names the block once it was read; before that
            // only the sync byte is there.
            report.truncated_block(block.length > kBlockTypeOffset ? block.type() : kSyncByte);
            return ConversionOutcome::truncated;
        }
        const std::uint8_t block_gap_flag = block.is_header() ? block.at(kGapFlagOffset) : gap_flag;
        const std::uint64_t block_samples = block_sample_count(block.bytes.data(), block.length, block_gap_flag);
        if (data_size + block_samples + kClosingSilenceSamples > max_data_size) {
            report.too_long();
            return ConversionOutcome::too_long;
        }
        if (block.is_header()) report.file_header(shown_file_name(block));
        gap_flag = block_gap_flag;
        data_size += block_samples;
        if (!take(block, gap_flag)) return ConversionOutcome::write_failed;
    }
}

ConversionOutcome write_blocks(std::istream& tape, WavWriter& wav, ConversionReport& report,
                               std::uint64_t max_data_size)
{
    std::uint64_t data_size = wav.data_size();
    const auto outcome = walk_blocks(tape, report, max_data_size, data_size,
                                     [&wav](const TapeBlock& block, std::uint8_t gap_flag) {
                                         write_block(wav, block.bytes.data(), block.length, gap_flag);
                                         return !wav.failed();
                                     });
    if (outcome == ConversionOutcome::read_failed || outcome == ConversionOutcome::write_failed) return outcome;
    if (!wav.finish_wav()) return ConversionOutcome::write_failed;
    return outcome;
}

}  // namespace

FileConversion file_conversion(ConversionOutcome outcome)
{
    switch (outcome) {
    case ConversionOutcome::finished: return FileConversion::converted;
    case ConversionOutcome::truncated: return FileConversion::truncated;
    case ConversionOutcome::too_long: return FileConversion::too_long;
    case ConversionOutcome::read_failed: return FileConversion::cannot_read;
    case ConversionOutcome::write_failed: break;
    }
    return FileConversion::write_failed;
}

ConversionOutcome convert_tape_stream(std::istream& tape, WavWriter& wav, ConversionReport& report,
                                      std::uint64_t max_data_size)
{
    wav.write_wav_header();
    return write_blocks(tape, wav, report, max_data_size);
}

ConversionPlan plan_conversion(std::istream& tape, std::uint64_t max_data_size)
{
    SilentReport silent;
    std::uint64_t data_size = 0;
    auto outcome =
        walk_blocks(tape, silent, max_data_size, data_size, [](const TapeBlock&, std::uint8_t) { return true; });
    return {outcome, data_size + kClosingSilenceSamples};
}

std::vector<SignalSegment> signal_layout(std::istream& tape)
{
    SilentReport silent;
    std::vector<SignalSegment> segments;
    std::uint64_t data_size = 0;
    int file = -1;
    const auto add = [&segments](SignalSegment::Kind kind, std::uint64_t start, std::uint64_t samples,
                                 std::uint8_t type, int in_file) {
        segments.push_back({kind, start, samples, type, in_file});
    };
    std::uint64_t at = 0;
    walk_blocks(tape, silent, kMaxWavDataSize, data_size, [&](const TapeBlock& block, std::uint8_t gap_flag) {
        if (block.is_header()) ++file;
        for (const auto& part : block_signal_parts(block.bytes.data(), block.length, gap_flag)) {
            const auto kind = part.kind == SignalPart::leader  ? SignalSegment::leader
                              : part.kind == SignalPart::block ? SignalSegment::block
                                                               : SignalSegment::silence;
            add(kind, at, part.samples, block.type(), file);
            at += part.samples;
        }
        return true;
    });
    add(SignalSegment::silence, at, kClosingSilenceSamples, 0, file);
    return segments;
}

ConversionOutcome convert_tape_stream_sized_first(std::istream& tape, ByteSink& sink, ConversionReport& report)
{
    const ConversionPlan plan = plan_conversion(tape);
    if (plan.outcome == ConversionOutcome::read_failed) return plan.outcome;
    tape.clear();
    if (!tape.seekg(0)) return ConversionOutcome::read_failed;
    WavWriter wav(sink);
    wav.write_wav_header(plan.data_size);
    return write_blocks(tape, wav, report, kMaxWavDataSize);
}

FileConversion write_wav_file(std::istream& tape, const std::string& wav_name, ConversionReport& report)
{
    const auto wav_path = path_from_name(wav_name);
    std::error_code ignored;
    if (std::filesystem::is_directory(wav_path, ignored)) return FileConversion::cannot_create;
    FileReplacement file(wav_path);
    if (!file.is_open()) return FileConversion::cannot_create;
    ConversionOutcome outcome;
    {
        WavWriter wav(file.sink());
        outcome = convert_tape_stream(tape, wav, report);
    }
    const FileConversion result = file_conversion(outcome);
    if (result == FileConversion::cannot_read || result == FileConversion::write_failed) return result;
    // The complete file takes the WAV's name; an existing WAV of that name
    // goes only now.
    return file.commit() ? result : FileConversion::cannot_create;
}

FileConversion convert_tape_file(const std::string& image_name, const std::string& wav_name,
                                 ConversionReport& report)
{
    // The image is opened, and its first byte read, before anything else:
    // an image that cannot be read leaves everything as it was.
    std::ifstream tape;
    if (!open_input_file(image_name, tape)) return FileConversion::cannot_read;
    if (same_file(image_name, wav_name)) return FileConversion::cannot_create;  // it would replace the image itself
    return write_wav_file(tape, wav_name, report);
}

}  // namespace morlevix
