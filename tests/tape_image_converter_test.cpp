#include "batch/batch_conversion.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "signal_decoder.h"
#include "tape/encoder/cassette_encoder.h"
#include "tape_builder.h"

namespace morlevix {
namespace {

using testing::Bytes;
using testing::concat;
using testing::data_block;
using testing::header_block;
using testing::SignalModel;
using testing::tape_block;

struct Conversion {
    ConversionOutcome outcome;
    Bytes file;
    std::string console;
    std::string wav_error;  // what is wrong with the header or sizes, if anything
    std::string signal;     // the samples read back, see describe_signal
    std::vector<Bytes> blocks;
};

Conversion convert_with(std::istream& in, std::uint64_t max_data_size = kMaxWavDataSize)
{
    MemorySink sink;
    WavWriter wav(sink);
    std::ostringstream console;
    BatchConsoleReport report(console);
    Conversion c;
    c.outcome = convert_tape_stream(in, wav, report, max_data_size);
    c.file = sink.bytes();
    c.console = console.str();
    const auto parsed = testing::parse_wav(c.file);
    c.wav_error = parsed.error;
    c.signal = testing::describe_signal(parsed.samples);
    c.blocks = testing::decoded_blocks(parsed.samples);
    return c;
}

Conversion convert(const Bytes& image, std::uint64_t max_data_size = kMaxWavDataSize)
{
    std::istringstream in(std::string(image.begin(), image.end()));
    return convert_with(in, max_data_size);
}

TEST(TapeImageConverter, EveryBlockComesBackInOrderWithItsFraming)
{
    const Bytes first = header_block("JEU", 0x00);
    const Bytes longest = data_block(testing::counting_payload(255));
    const Bytes empty = data_block({});
    const Bytes closed_by_sync = tape_block(0x01, {1, 2, 3}, 0x3C);  // closing byte 0x3C
    const Bytes after_it = data_block({0x3C, 0x3C});
    const Bytes second = header_block("SUITE", 0xFF);  // a gap before every block
    const Bytes data = data_block({9, 8, 7});
    const Bytes end = testing::end_of_file_block();
    const Bytes leader = {0x55, 0x55, 0x55, 0x55};
    const Bytes image = concat({{0x00, 0x12, 0xFF}, leader, first, longest, leader, empty, closed_by_sync,
                                after_it, second, leader, data, end, {0x55, 0x00}});

    const auto c = convert(image);
    EXPECT_EQ(c.outcome, ConversionOutcome::finished);
    EXPECT_EQ(c.wav_error, "");
    EXPECT_EQ(c.console, "\nJEU     \nSUITE   ");
    EXPECT_EQ(c.signal, SignalModel()
                            .gap_and_leader().framed(first).gap_and_leader()
                            .framed(longest).framed(empty).framed(closed_by_sync).framed(after_it)
                            .gap_and_leader().framed(second).gap_and_leader()
                            .gap_and_leader().framed(data)
                            .gap_and_leader().framed(end)
                            .finished());
    EXPECT_EQ(c.blocks, testing::image_blocks(image));
}

TEST(TapeImageConverter, BytesOutsideBlocksAreSkipped)
{
    const Bytes image = testing::tape_file("JEU", testing::counting_payload(600));
    EXPECT_EQ(convert(concat({{0x55, 0x55, 0x00, 0xAA}, image})).file, convert(image).file);

    // No block at all: header and one second of silence.
    for (const Bytes& nothing : {Bytes{}, Bytes{0x55, 0x00, 0xFF, 0x3B, 0x3D}}) {
        const auto c = convert(nothing);
        EXPECT_EQ(c.outcome, ConversionOutcome::finished);
        EXPECT_EQ(c.file.size(), 44144u);
        EXPECT_EQ(c.wav_error, "");
        EXPECT_EQ(c.console, "");
    }
}

TEST(TapeImageConverter, TruncatedBlockEndsTheFileAfterTheBlocksBeforeIt)
{
    const Bytes complete = concat({header_block("JEU", 0x00), data_block({1, 2, 3})});
    const auto expected = convert(complete);
    for (const Bytes& last : {data_block({4, 5, 6, 7, 8}), data_block({}), header_block("AUTRE", 0xFF)}) {
        for (std::size_t cut = 1; cut < last.size(); ++cut) {
            const auto c = convert(concat({complete, Bytes(last.begin(), last.begin() + cut)}));
            const std::string shown = cut == 1 ? "3c" : last[1] == 0 ? "00" : "01";
            EXPECT_EQ(c.outcome, ConversionOutcome::truncated) << "cut " << cut;
            EXPECT_EQ(c.console, "\nJEU     \nAnomalie bloc " + shown) << "cut " << cut;
            EXPECT_EQ(c.file, expected.file) << "cut " << cut;
        }
    }
}

TEST(TapeImageConverter, BlocksBeforeTheFirstHeaderGetNoGap)
{
    const Bytes data = data_block({1});
    const Bytes header = header_block("JEU", 0x00);
    EXPECT_EQ(convert(concat({data, header, data})).signal,
              SignalModel().framed(data).gap_and_leader().framed(header).gap_and_leader().framed(data).finished());
}

TEST(TapeImageConverter, ShortHeaderBlockReadsMissingFieldsAsZero)
{
    // A long block leaves 'X's and a gap flag 0xFF where a short header's
    // name and gap flag would lie; none of it may show through.
    Bytes stale(20, 'X');
    stale[10] = 0xFF;
    const Bytes filler = data_block(stale);
    const Bytes short_header = tape_block(0x00, {'B', 'C'}, 0x00);
    const Bytes data = data_block({1, 2});
    const auto c = convert(concat({header_block("A", 0xFF), filler, short_header, data}));
    EXPECT_EQ(c.console, "\nA       \nBC");
    EXPECT_EQ(c.signal, SignalModel()
                            .gap_and_leader().framed(header_block("A", 0xFF)).gap_and_leader()
                            .gap_and_leader().framed(filler)
                            .gap_and_leader().framed(short_header).gap_and_leader()
                            .framed(data)  // gap flag 0: no gap of its own
                            .finished());
}

TEST(TapeImageConverter, HeaderNamesPrintSafely)
{
    const std::vector<std::pair<Bytes, std::string>> cases = {
        {{'A', 'B', ' ', ' ', ' ', ' ', ' ', ' '}, "AB      "},      // trailing spaces shown
        {{'A', 'B', 'C', 0, 'E', 'F', 'G', 'H'}, "ABC"},             // up to the first NUL
        {{0x1B, '[', '2', 'J', 0x07, '\r', 'x', '\n'}, "?[2J??x?"},  // no control bytes reach the terminal
        {{0x7F, 0xE9, 0x80, 0xFF, '~', ' ', '!', 'Z'}, "????~ !Z"},
    };
    for (const auto& [name, shown] : cases) {
        Bytes payload = name;
        payload.resize(15, 0);
        EXPECT_EQ(convert(tape_block(0x00, payload)).console, "\n" + shown);
    }
}

TEST(TapeImageConverter, StopsBeforeABlockThatWouldOverflowTheSizeFields)
{
    const Bytes one = data_block(testing::counting_payload(100));
    const Bytes two = header_block("DEUX", 0x00);
    const Bytes three = data_block({});
    const auto size = [](const Bytes& b, std::uint8_t gap) { return block_sample_count(b.data(), b.size(), gap); };
    const std::uint64_t all = size(one, 0) + size(two, 0) + size(three, 0) + kClosingSilenceSamples;
    const Bytes image = concat({one, two, three});

    const auto fits = convert(image, all);
    EXPECT_EQ(fits.outcome, ConversionOutcome::finished);
    EXPECT_EQ(fits.blocks.size(), 3u);
    EXPECT_EQ(fits.file.size(), 44 + all);

    for (std::uint64_t limit : {all - 1, size(one, 0) + size(two, 0) + kClosingSilenceSamples + 1}) {
        const auto stopped = convert(image, limit);
        EXPECT_EQ(stopped.outcome, ConversionOutcome::too_long);
        EXPECT_EQ(stopped.console, "\nDEUX    \nFichier .wav trop long : conversion arretee");
        EXPECT_EQ(stopped.wav_error, "");
        EXPECT_EQ(stopped.blocks, (std::vector<Bytes>{one, two}));
    }
    // The header block itself does not fit: its name is not shown.
    const auto before_header = convert(image, size(one, 0) + kClosingSilenceSamples);
    EXPECT_EQ(before_header.console, "\nFichier .wav trop long : conversion arretee");
    EXPECT_EQ(before_header.blocks, (std::vector<Bytes>{one}));
    EXPECT_EQ(before_header.wav_error, "");
    // The real limit keeps both size fields within 32 bits.
    EXPECT_LE(kMaxWavDataSize + 36, UINT64_C(0xFFFFFFFF));
    EXPECT_EQ(kMaxWavDataSize % 2, 0u);
}

// A tape that gives a few bytes, then fails like an unreadable disk.
class FailingTape final : public std::streambuf {
public:
    explicit FailingTape(std::string bytes) : bytes_(std::move(bytes)) { setg(bytes_.data(), bytes_.data(), bytes_.data() + bytes_.size()); }

protected:
    int_type underflow() override { throw std::runtime_error("read error"); }

private:
    std::string bytes_;
};

TEST(TapeImageConverter, ReadErrorIsNotTakenForTheEndOfTheImage)
{
    const Bytes header = header_block("JEU", 0x00);
    for (std::size_t cut : {std::size_t{0}, std::size_t{1}, header.size(), header.size() + 2}) {
        const Bytes image = concat({header, data_block({1, 2, 3})});
        FailingTape tape(std::string(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(cut)));
        std::istream in(&tape);
        EXPECT_EQ(convert_with(in).outcome, ConversionOutcome::read_failed) << "cut " << cut;
    }
}

}  // namespace
}  // namespace morlevix

namespace morlevix {
namespace {

TEST(TapeImageConverter, SignalLayoutCoversTheWavSampleForSample)
{
    const Bytes image =
        concat({data_block({7}), testing::tape_file("UN", {1, 2}), testing::tape_file("DEUX", {3}, 0xFF), {0x3C, 0x01}});
    std::istringstream tape(std::string(image.begin(), image.end()));
    const auto layout = signal_layout(tape);
    const auto c = convert(image);
    std::uint64_t at = 0;
    std::vector<std::pair<int, std::uint8_t>> blocks;  // file, type
    for (const auto& s : layout) {
        EXPECT_EQ(s.start, at);
        at += s.samples;
        if (s.kind == SignalSegment::block) blocks.emplace_back(s.file, s.block_type);
    }
    EXPECT_EQ(at + kWavHeaderSize, c.file.size());
    // The block before any header, each file's header, data and end blocks; the cut block is not in the WAV.
    EXPECT_EQ(blocks, (std::vector<std::pair<int, std::uint8_t>>{
                          {-1, 0x01}, {0, 0x00}, {0, 0x01}, {0, 0xFF}, {1, 0x00}, {1, 0x01}, {1, 0xFF}}));
}

}  // namespace
}  // namespace morlevix
