#include "conversion_properties.h"

#include <algorithm>
#include <sstream>

#include "batch/batch_conversion.h"
#include "demo_tape.h"
#include "signal_decoder.h"
#include "tape/reading/recording_converter.h"
#include "tape/catalog/tape_files.h"
#include "tape/encoder/tape_image_converter.h"
#include "tape/sound/wav_output.h"
#include "whole_tape.h"

namespace morlevix::testing {
namespace {

constexpr char kTooLongLine[] = "Fichier .wav trop long : conversion arretee";
constexpr char kAnomalyStart[] = "Anomalie bloc ";

bool printable_name(const std::string& line)
{
    return line.size() <= 8 && std::all_of(line.begin(), line.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

// The console text as lines, each of which must start with a line break.
bool split_lines(const std::string& text, std::vector<std::string>& lines)
{
    for (std::size_t at = 0; at < text.size();) {
        if (text[at] != '\n') return false;
        const auto next = std::min(text.find('\n', at + 1), text.size());
        lines.push_back(text.substr(at + 1, next - at - 1));
        at = next;
    }
    return true;
}

}  // namespace

std::string broken_conversion_property(const Bytes& image, std::uint64_t max_data_size)
{
    std::istringstream tape(std::string(image.begin(), image.end()));
    MemorySink sink;
    WavWriter wav(sink);
    std::ostringstream console;
    BatchConsoleReport report(console);
    const auto outcome = convert_tape_stream(tape, wav, report, max_data_size);
    if (outcome == ConversionOutcome::read_failed || outcome == ConversionOutcome::write_failed)
        return "a conversion in memory failed to read or write";

    const auto parsed = parse_wav(sink.bytes());
    if (!parsed.error.empty()) return "WAV file: " + parsed.error;
    if (parsed.samples.size() % 2 != 0) return "odd data size";
    if (parsed.samples.size() > max_data_size) return "data size past the limit";
    // The decoder takes only silence and whole high-then-low cycles: any
    // other sample value, or a cycle of another length, is an error there.
    auto signal = decode_signal(parsed.samples);
    if (signal.description.rfind("ERROR", 0) == 0) return signal.description;

    const auto decoded = std::move(signal.blocks);
    const auto expected = image_blocks(image);
    if (outcome == ConversionOutcome::too_long) {
        if (decoded.size() >= expected.size() || !std::equal(decoded.begin(), decoded.end(), expected.begin()))
            return "a stopped conversion does not hold exactly the blocks before the stop";
    } else if (decoded != expected) {
        return "the blocks read back differ from the complete blocks of the image";
    }

    std::vector<std::string> lines;
    if (!split_lines(console.str(), lines)) return "a console line does not start with a line break";
    const auto headers = static_cast<std::size_t>(
        std::count_if(decoded.begin(), decoded.end(), [](const Bytes& b) { return b[1] == 0x00; }));
    std::size_t closing = 0;
    if (outcome == ConversionOutcome::truncated) {
        closing = 1;
        if (lines.empty() || lines.back().rfind(kAnomalyStart, 0) != 0 || lines.back().size() != 16)
            return "a truncated image does not end with one anomaly line";
    } else if (outcome == ConversionOutcome::too_long) {
        closing = 1;
        if (lines.empty() || lines.back() != kTooLongLine) return "a stopped conversion does not say so";
    }
    if (lines.size() != headers + closing) return "not one console line per header block written";
    for (std::size_t i = 0; i < headers; ++i)
        if (!printable_name(lines[i])) return "a header name that is not printable ASCII";

    // Once per image (with the real limit): the WAV sized before it is
    // written, for a pipe that cannot be rewound (which a stream sink
    // cannot), is the same; and the cassette decoder hears exactly the
    // blocks the WAV holds, whole.
    if (max_data_size == kMaxWavDataSize) {
        std::istringstream recording(std::string(sink.bytes().begin(), sink.bytes().end()));
        const auto heard = decode_recording(recording);
        if (!heard.error.empty()) return "the decoder cannot read the WAV: " + heard.error.fr();
        std::vector<Bytes> heard_blocks;
        for (const auto& block : heard.blocks) {
            if (!block.complete) return "the decoder heard a block broken off";
            heard_blocks.emplace_back(block.block.bytes.begin(),
                                      block.block.bytes.begin() + static_cast<std::ptrdiff_t>(block.block.length));
        }
        if (heard_blocks != decoded) return "the decoder hears other blocks than the WAV holds";
        // Our own signal, heard clean: status 0 exactly when its blocks
        // make whole files.
        const std::string not_whole = not_whole_files(decoded);
        if (heard.sound() && !not_whole.empty()) return "a tape said whole that is not: " + not_whole;
        if (!heard.sound() && not_whole.empty())
            return "a tape of whole files decoded back is not said whole" +
                   (heard.account.problems.empty() ? std::string() : ": " + heard.account.problems.front().text.fr());

        std::istringstream again(std::string(image.begin(), image.end()));
        std::ostringstream pipe;
        StreamSink pipe_sink(pipe);
        SilentReport silent;
        const auto piped = convert_tape_stream_sized_first(again, pipe_sink, silent);
        if (piped != outcome) return "a WAV sized first ends otherwise";
        const std::string piped_bytes = pipe.str();
        if (Bytes(piped_bytes.begin(), piped_bytes.end()) != sink.bytes())
            return "a WAV sized first differs from the WAV sized at the end";
    }
    return "";
}

std::string broken_whole_tape_property(const Bytes& input)
{
    // The input's bytes as files: how many, and for each its kind, its
    // gaps and its length; their contents the input's bytes again.
    // (At most a few seconds of WAV, so that a fuzzer tries many.)
    constexpr std::size_t kMostFiles = 2, kLongFile = 2;
    constexpr std::uint8_t kGapFlags[] = {0x00, 0xFF};
    std::size_t at = 0;
    const auto next = [&]() -> std::uint8_t { return input.empty() ? 0 : input[at++ % input.size()]; };
    std::vector<NewTapeFile> files(1 + next() % kMostFiles);
    for (std::size_t f = 0; f < files.size(); ++f) {
        NewTapeFile& file = files[f];
        const std::uint8_t kind = next();
        file.name = "F" + std::to_string(f);
        file.gap_flag = kGapFlags[kind & 1];
        file.file_type = static_cast<std::uint8_t>(kind >> 1 & 3);  // BASIC, data, machine code, other
        file.ascii_flag = kind & 8 ? 0xFF : 0x00;
        file.bytes.resize(next() * (kind & 16 ? kLongFile : 1));
        for (auto& byte : file.bytes) byte = next();
        file.first_address = 0x5000;
        file.second_address = static_cast<std::uint16_t>(file.file_type == kBasicFile ? file.bytes.size() : 0x5000);
    }
    const Bytes image = tape_image_of_files(files);

    std::istringstream tape(std::string(image.begin(), image.end()));
    MemorySink sink;
    WavWriter wav(sink);
    SilentReport silent;
    if (convert_tape_stream(tape, wav, silent) != ConversionOutcome::finished) return "a whole tape did not convert";
    std::istringstream recording(std::string(sink.bytes().begin(), sink.bytes().end()));
    const auto heard = decode_recording(recording);
    if (!heard.sound())
        return "a whole tape decoded back is not said whole" +
               (heard.account.problems.empty() ? std::string() : ": " + heard.account.problems.front().text.fr());
    if (image_blocks(tape_image_of(heard.blocks)) != image_blocks(image)) return "a whole tape decoded back is another";
    const auto contents = files_on_tape(heard.blocks);
    if (contents.size() != files.size()) return "a whole tape decoded back has other files";
    for (std::size_t f = 0; f < files.size(); ++f)
        if (!contents[f].whole || contents[f].bytes != files[f].bytes) return "a file of a whole tape decoded back is not whole";
    return "";
}

std::vector<Bytes> seed_tapes()
{
    const Bytes demo = demo_tape();
    std::vector<Bytes> seeds = {
        demo,
        tape_file("GAPS", counting_payload(300), 0xFF),
        concat({{0x55, 0x55, 0x00, 0x12}, tape_file("JUNK", {1, 2, 3}), {0x3C}}),
        concat({tape_file("UN", {1}), tape_file("DEUX", {2}, 0xFF), tape_file("TROIS", {3}, 0x01)}),
        concat({data_block({1, 2}), tape_block(0x00, {'A', 'B'}, 0x00), data_block({})}),
        concat({tape_block(0x01, {1, 2, 3}, 0x3C), data_block({0x3C, 0x3C})}),
        data_block(counting_payload(255)),
        Bytes{0x00, 0x01, 0x55, 0xFF},
    };
    for (std::size_t cut : {1, 2, 3, 10, 20})
        seeds.emplace_back(demo.begin(), demo.begin() + static_cast<std::ptrdiff_t>(cut));
    return seeds;
}

}  // namespace morlevix::testing
