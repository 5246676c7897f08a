#include "tape/sound/wav_output.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "signal_decoder.h"
#include "temp_dir.h"

namespace morlevix {
namespace {

using testing::Bytes;

const Bytes kEmptyWavHeader = {
    'R', 'I', 'F', 'F', 0x68, 0xAC, 0x00, 0x00, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
    0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x44, 0xAC, 0x00, 0x00,
    0x01, 0x00, 0x08, 0x00, 'd', 'a', 't', 'a', 0x44, 0xAC, 0x00, 0x00};

TEST(WavOutput, FileWithNoSignalIsHeaderAndOneSecondOfSilence)
{
    MemorySink sink;
    WavWriter wav(sink);
    wav.write_wav_header();
    ASSERT_TRUE(wav.finish_wav());
    const Bytes& file = sink.bytes();
    ASSERT_EQ(file.size(), 44144u);
    // RIFF size 44,136 and data size 44,100, little-endian.
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 44), kEmptyWavHeader);
    EXPECT_TRUE(std::all_of(file.begin() + 44, file.end(), [](auto s) { return s == 0x80; }));
}

TEST(WavOutput, SizesMatchTheLengthAcrossManyBuffers)
{
    MemorySink sink;
    WavWriter wav(sink);
    wav.write_wav_header();
    wav.write_silence(3 * WavWriter::kBufferSize + 7);
    for (int i = 0; i < 100001; ++i) wav.write_sample(0x105 + i % 2);  // low 8 bits: 0x05, 0x06
    const std::uint8_t pattern[] = {0xFA, 0xFA, 0x05};
    for (int i = 0; i < 50000; ++i) wav.write_samples(pattern, sizeof pattern);
    EXPECT_EQ(wav.data_size(), 3 * WavWriter::kBufferSize + 7 + 100001 + 150000);
    ASSERT_TRUE(wav.finish_wav());

    const auto parsed = testing::parse_wav(sink.bytes());
    EXPECT_EQ(parsed.error, "");
    const Bytes& s = parsed.samples;
    ASSERT_EQ(s.size(), 3 * WavWriter::kBufferSize + 7 + 100001 + 150000 + 44100);
    EXPECT_EQ(std::count(s.begin(), s.end(), 0x80), static_cast<std::ptrdiff_t>(3 * WavWriter::kBufferSize + 7 + 44100));
    EXPECT_EQ(std::count(s.begin(), s.end(), 0x05), 50001 + 50000);
    EXPECT_EQ(std::count(s.begin(), s.end(), 0x06), 50000);
    EXPECT_EQ(std::count(s.begin(), s.end(), 0xFA), 100000);
}

// Accepts a given number of bytes, then fails every write, like a full disk.
class FullDiskSink final : public ByteSink {
public:
    explicit FullDiskSink(std::size_t room) : room_(room) {}
    bool write(const std::uint8_t*, std::size_t size) override
    {
        if (size > room_) return false;
        room_ -= size;
        written_ += size;
        return true;
    }
    bool write_at(std::uint64_t, const std::uint8_t*, std::size_t) override { return true; }
    bool close() override { return true; }
    std::size_t written_ = 0;

private:
    std::size_t room_;
};

TEST(WavOutput, WriteFailureIsReportedAndLaterWritesAreDropped)
{
    FullDiskSink sink(WavWriter::kBufferSize);
    WavWriter wav(sink);
    wav.write_wav_header();
    wav.write_silence(WavWriter::kBufferSize);  // fills the first buffer, which fits
    EXPECT_FALSE(wav.failed());
    wav.write_silence(3 * WavWriter::kBufferSize);
    EXPECT_TRUE(wav.failed());
    EXPECT_FALSE(wav.finish_wav());
    EXPECT_EQ(sink.written_, WavWriter::kBufferSize);
}

TEST(WavOutput, NewFileReplacesALongerOldOne)
{
    testing::TempDir dir;
    const auto path = dir / "JEU.wav";
    testing::write_file(path, Bytes(100000, 'x'));
    {
        FileSink sink(path);
        ASSERT_TRUE(sink.is_open());
        WavWriter wav(sink);
        wav.write_wav_header();
        ASSERT_TRUE(wav.finish_wav());
    }
    const Bytes file = testing::read_file(path);
    EXPECT_EQ(file.size(), 44144u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 44), kEmptyWavHeader);
}

}  // namespace
}  // namespace morlevix
