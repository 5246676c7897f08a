#include "tape/encoder/cassette_encoder.h"

#include <gtest/gtest.h>

#include <functional>

#include "signal_decoder.h"
#include "tape_builder.h"

namespace morlevix {
namespace {

using testing::Bytes;

// The samples that `encode` writes, without the WAV header and closing silence.
Bytes samples_of(const std::function<void(WavWriter&)>& encode)
{
    MemorySink sink;
    WavWriter wav(sink);
    wav.write_wav_header();
    encode(wav);
    EXPECT_TRUE(wav.finish_wav());
    const auto& file = sink.bytes();
    return Bytes(file.begin() + 44, file.end() - 44100);
}

// "H18 L18 H9 L9 ...": the levels and lengths of the runs of equal samples.
std::string runs(const Bytes& samples)
{
    std::string text;
    for (std::size_t i = 0; i < samples.size();) {
        std::size_t n = 1;
        while (i + n < samples.size() && samples[i + n] == samples[i]) ++n;
        const char* level = samples[i] == 0xFA ? "H" : samples[i] == 0x05 ? "L" : samples[i] == 0x80 ? "S" : "?";
        text += (text.empty() ? "" : " ") + std::string(level) + std::to_string(n);
        i += n;
    }
    return text;
}

constexpr char kShort[] = "H9 L9";
constexpr char kLong[] = "H18 L18";

std::string cycles(std::initializer_list<const char*> list)
{
    std::string text;
    for (const char* c : list) text += (text.empty() ? "" : " ") + std::string(c);
    return text;
}

TEST(CassetteEncoder, BitsAreOneSquareCycleStartingHigh)
{
    EXPECT_EQ(runs(samples_of([](WavWriter& w) { write_bit(w, 0); })), kLong);
    EXPECT_EQ(runs(samples_of([](WavWriter& w) { write_bit(w, 1); })), kShort);
    EXPECT_EQ(runs(samples_of([](WavWriter& w) { write_bit(w, 2); })), kShort);
}

TEST(CassetteEncoder, BytesGoLeastSignificantBitFirst)
{
    EXPECT_EQ(runs(samples_of([](WavWriter& w) { write_byte(w, 0x55); })),
              cycles({kShort, kLong, kShort, kLong, kShort, kLong, kShort, kLong}));
    EXPECT_EQ(runs(samples_of([](WavWriter& w) { write_byte(w, 0x3C); })),
              cycles({kLong, kLong, kShort, kShort, kShort, kShort, kLong, kLong}));
    // Only the low 8 bits count.
    EXPECT_EQ(samples_of([](WavWriter& w) { write_byte(w, 0x13C); }),
              samples_of([](WavWriter& w) { write_byte(w, 0x3C); }));
    EXPECT_EQ(byte_sample_count(0x00), 288u);
    EXPECT_EQ(byte_sample_count(0xFF), 144u);
    EXPECT_EQ(byte_sample_count(0x55), 216u);
    EXPECT_EQ(samples_of([](WavWriter& w) { write_gap_and_leader(w); }).size(), 22050u + 27648u);
}

TEST(CassetteEncoder, HeaderBlockOfFifteenBytesHasItsExactLength)
{
    Bytes block = {0x3C, 0x00, 0x0F};
    block.resize(19, 0x00);
    for (int gap_flag : {0x00, 0x01, 0xFF}) {
        const auto samples = samples_of([&](WavWriter& w) { write_block(w, block.data(), block.size(), gap_flag); });
        EXPECT_EQ(samples.size(), 105336u) << "gap flag " << gap_flag;
        EXPECT_EQ(block_sample_count(block.data(), block.size(), static_cast<std::uint8_t>(gap_flag)), 105336u);
    }
}

TEST(CassetteEncoder, PredictedBlockLengthMatchesWhatIsWritten)
{
    for (std::uint8_t type : {0x00, 0x01, 0xFF})
        for (std::uint8_t gap_flag : {0x00, 0x01, 0xFE, 0xFF})
            for (std::size_t length : {0u, 1u, 15u, 255u}) {
                const Bytes block = testing::tape_block(type, testing::counting_payload(length, type));
                const auto samples =
                    samples_of([&](WavWriter& w) { write_block(w, block.data(), block.size(), gap_flag); });
                EXPECT_EQ(samples.size(), block_sample_count(block.data(), block.size(), gap_flag))
                    << "type " << int(type) << " gap flag " << int(gap_flag) << " L " << length;
            }
}

std::string framing_of(const Bytes& block, std::uint8_t gap_flag)
{
    return testing::describe_signal(
        samples_of([&](WavWriter& w) { write_block(w, block.data(), block.size(), gap_flag); }));
}

TEST(CassetteEncoder, BlocksAreFramedWithMarkersSilenceGapsAndLeaders)
{
    using testing::SignalModel;
    const Bytes header = testing::header_block("JEU", 0x00);
    const Bytes data = testing::data_block({});  // L = 0: sync, type, length, closing byte

    EXPECT_EQ(framing_of(header, 0x00), SignalModel().gap_and_leader().framed(header).gap_and_leader().text());
    EXPECT_EQ(framing_of(data, 0x00), SignalModel().framed(data).text());
    // Only 0xFF gives an ordinary block a gap and leader.
    EXPECT_EQ(framing_of(data, 0x01), framing_of(data, 0x00));
    EXPECT_EQ(framing_of(data, 0xFE), framing_of(data, 0x00));
    EXPECT_EQ(framing_of(data, 0xFF), SignalModel().gap_and_leader().framed(data).text());
    // Every type but 0x00 is an ordinary block.
    const Bytes end = testing::end_of_file_block();
    EXPECT_EQ(framing_of(end, 0x00), SignalModel().framed(end).text());
}

}  // namespace
}  // namespace morlevix
