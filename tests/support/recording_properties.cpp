#include "recording_properties.h"

#include <cmath>
#include <sstream>

#include "recordings.h"
#include "signal_decoder.h"
#include "tape/decoder/cassette_decoder.h"
#include "tape/reading/recording_converter.h"
#include "tape/encoder/tape_image_converter.h"
#include "whole_tape.h"

namespace morlevix::testing {
namespace {

constexpr double kRates[] = {8000, 11025, 22050, 44100, 48000, 96000, 192000};
// A seed tape's gaps and leaders cut down to this (seconds), so that whole
// files fit in the few kilobytes a fuzzer's input may hold.
constexpr double kShortSilence = 0.02;
constexpr double kShortLeader = 0.08;

// The signal of `image` with every gap, leader and silence cut short:
// silences keep their start, leaders their end (where the block follows).
Recording cut_short(const Bytes& image)
{
    const Recording full = recording_of(image);
    std::istringstream tape(std::string(image.begin(), image.end()));
    Recording cut;
    cut.rate = full.rate;
    for (const auto& segment : signal_layout(tape)) {
        std::size_t from = segment.start, count = segment.samples;
        if (segment.kind == SignalSegment::silence) count = std::min<std::size_t>(count, kShortSilence * full.rate);
        if (segment.kind == SignalSegment::leader) {
            const auto kept = std::min<std::size_t>(count, kShortLeader * full.rate);
            from += count - kept;
            count = kept;
        }
        cut.samples.insert(cut.samples.end(), full.samples.begin() + static_cast<std::ptrdiff_t>(from),
                           full.samples.begin() + static_cast<std::ptrdiff_t>(from + count));
    }
    return cut;
}

std::vector<Bytes> blocks_of(const CassetteDecoder& decoder)
{
    std::vector<Bytes> blocks;
    for (const auto& heard : decoder.blocks()) {
        Bytes bytes(heard.block.bytes.begin(), heard.block.bytes.begin() + static_cast<std::ptrdiff_t>(heard.block.length));
        bytes.push_back(heard.complete ? 1 : 0);
        blocks.push_back(bytes);
    }
    return blocks;
}

}  // namespace

std::string broken_recording_property(const Bytes& file)
{
    std::istringstream in(std::string(file.begin(), file.end()));
    const auto decoded = decode_recording(in);
    // The image of what was heard holds every block that got its length.
    const auto image = tape_image_of(decoded.blocks);
    std::size_t kept = 0;
    for (const auto& heard : decoded.blocks) kept += heard.complete || heard.block.length > kBlockLengthOffset ? 1 : 0;
    if (image_blocks(image).size() != kept) return "the image does not keep every block heard whole";
    for (const auto& heard : decoded.blocks)
        if (heard.block.length > kMaxBlockSize || heard.block.length == 0) return "a heard block of impossible length";
    // Status 0 only for a tape whose every file is whole.
    if (decoded.sound()) {
        std::vector<Bytes> blocks;
        for (const auto& heard : decoded.blocks)
            blocks.emplace_back(heard.block.bytes.begin(), heard.block.bytes.begin() + static_cast<std::ptrdiff_t>(heard.block.length));
        const std::string missing = not_whole_files(blocks);
        if (!missing.empty()) return "said whole, but " + missing;
    }

    // The bytes as 8-bit samples at a rate the first byte picks: the blocks
    // heard do not depend on how the samples arrive.
    if (file.size() < 2) return "";
    const double rate = kRates[file[0] % (sizeof kRates / sizeof kRates[0])];
    std::vector<float> samples;
    for (std::size_t i = 1; i < file.size(); ++i) samples.push_back((file[i] - 128) / 128.0f);
    CassetteDecoder whole(rate), pieces(rate);
    whole.feed(samples.data(), samples.size());
    whole.finish();
    // Pieces of every size from 1 to about a hundred samples, in turn.
    constexpr std::size_t kLargestPiece = 97, kPieceStep = 7;
    std::size_t piece = 1;
    for (std::size_t at = 0; at < samples.size(); at += piece, piece = piece % kLargestPiece + kPieceStep) {
        pieces.feed(samples.data() + at, std::min(piece, samples.size() - at));
    }
    pieces.finish();
    if (blocks_of(whole) != blocks_of(pieces)) return "the blocks heard depend on how the samples arrive";
    return "";
}

std::vector<Bytes> seed_recordings()
{
    Recording ramp;
    for (int i = 0; i < 32; ++i) ramp.samples.push_back(std::sin(i * 0.7));
    std::vector<Bytes> seeds;
    for (auto format : {SampleFormat::pcm8, SampleFormat::pcm16, SampleFormat::pcm24, SampleFormat::pcm32,
                        SampleFormat::float32, SampleFormat::float64, SampleFormat::mu_law, SampleFormat::a_law,
                        SampleFormat::ima_adpcm, SampleFormat::ms_adpcm})
        for (bool extensible : {false, true}) seeds.push_back(wav_file({ramp, ramp}, {format, extensible, 16}));
    // A tape, at a low rate and in 8 bits to keep it small, and compressed;
    // and our own WAV of it.
    const Bytes tape = tape_file("SEED", {1, 2, 3});
    const Recording low = resampled(recording_of(tape), 8000);
    seeds.push_back(wav_file({low}, {SampleFormat::pcm8, false}));
    seeds.push_back(wav_file({low}, {SampleFormat::ima_adpcm, false, 64}));
    seeds.push_back(wav_file({resampled(recording_of(tape), 5500)}, {SampleFormat::mu_law, false}));
    // Whole tapes in a few kilobytes: gaps and leaders cut short, at the
    // lowest rate, one file; and two, the second with a gap and leader
    // before each block.
    const Recording one = resampled(cut_short(tape_file("UN", counting_payload(16))), 5512);
    const Bytes two_files = concat({tape_file("UN", counting_payload(12)), tape_file("DEUX", {7, 8, 9}, 0xFF)});
    const Recording two = resampled(cut_short(two_files), 5512);
    seeds.push_back(wav_file({one}, {SampleFormat::pcm8, false}));
    seeds.push_back(wav_file({one}, {SampleFormat::a_law, false}));
    seeds.push_back(wav_file({two}, {SampleFormat::ima_adpcm, false, 256}));
    seeds.push_back(wav_file({one}, {SampleFormat::ms_adpcm, false, 256}));
    return seeds;
}

}  // namespace morlevix::testing
