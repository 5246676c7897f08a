#include "wav_output.h"

#include <algorithm>
#include <array>

namespace morlevix {
namespace {

constexpr std::uint16_t kPcmFormat = 1;
constexpr std::uint16_t kChannels = 1;
constexpr std::uint16_t kBitsPerSample = 8;
constexpr std::uint16_t kBytesPerFrame = kChannels * kBitsPerSample / 8;
constexpr std::uint32_t kBytesPerSecond = kSampleRate * kBytesPerFrame;
constexpr std::uint32_t kFormatChunkSize = 16;

constexpr void put_u16(std::array<std::uint8_t, kWavHeaderSize>& h, std::size_t at, std::uint16_t v)
{
    h[at] = static_cast<std::uint8_t>(v & 0xFF);
    h[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

constexpr void put_u32(std::array<std::uint8_t, kWavHeaderSize>& h, std::size_t at, std::uint32_t v)
{
    put_u16(h, at, static_cast<std::uint16_t>(v & 0xFFFF));
    put_u16(h, at + 2, static_cast<std::uint16_t>(v >> 16));
}

constexpr void put_tag(std::array<std::uint8_t, kWavHeaderSize>& h, std::size_t at, const char (&tag)[5])
{
    for (std::size_t i = 0; i < 4; ++i) h[at + i] = static_cast<std::uint8_t>(tag[i]);
}

// The header template: RIFF chunk, "fmt " chunk for 8-bit mono PCM at 44.1 kHz,
// then the "data" chunk header. Both sizes stay 0 until the file is finished.
constexpr std::array<std::uint8_t, kWavHeaderSize> make_header_template()
{
    std::array<std::uint8_t, kWavHeaderSize> h{};
    put_tag(h, 0, "RIFF");
    put_u32(h, kRiffSizeOffset, 0);
    put_tag(h, 8, "WAVE");
    put_tag(h, 12, "fmt ");
    put_u32(h, 16, kFormatChunkSize);
    put_u16(h, 20, kPcmFormat);
    put_u16(h, 22, kChannels);
    put_u32(h, 24, kSampleRate);
    put_u32(h, 28, kBytesPerSecond);
    put_u16(h, 32, kBytesPerFrame);
    put_u16(h, 34, kBitsPerSample);
    put_tag(h, 36, "data");
    put_u32(h, kDataSizeOffset, 0);
    return h;
}

constexpr std::array<std::uint8_t, kWavHeaderSize> kHeaderTemplate = make_header_template();

}  // namespace

WavWriter::WavWriter(ByteSink& sink) : sink_(sink), buffer_(kBufferSize + kMaxRoom) {}

void WavWriter::write_wav_header()
{
    write_samples(kHeaderTemplate.data(), kHeaderTemplate.size());
    header_bytes_ += kHeaderTemplate.size();
}

void WavWriter::write_wav_header(std::uint64_t data_size)
{
    auto header = kHeaderTemplate;
    put_u32(header, kRiffSizeOffset, static_cast<std::uint32_t>(data_size + kWavHeaderSize - kRiffSizeExcluded));
    put_u32(header, kDataSizeOffset, static_cast<std::uint32_t>(data_size));
    write_samples(header.data(), header.size());
    header_bytes_ += header.size();
    sizes_announced_ = true;
    announced_data_size_ = data_size;
}

void WavWriter::write_run(std::uint8_t level, std::uint64_t count)
{
    while (count > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, kBufferSize - used_));
        std::memset(buffer_.data() + used_, level, n);
        commit(n);
        count -= n;
    }
}

void WavWriter::write_samples(const std::uint8_t* samples, std::size_t count)
{
    while (count > 0) {
        const std::size_t n = std::min(count, kBufferSize - used_);
        std::memcpy(buffer_.data() + used_, samples, n);
        commit(n);
        samples += n;
        count -= n;
    }
}

void WavWriter::hand_over_buffer()
{
    if (!failed_ && !sink_.write(buffer_.data(), kBufferSize)) failed_ = true;
    used_ -= kBufferSize;
    std::memmove(buffer_.data(), buffer_.data() + kBufferSize, used_);
}

void WavWriter::patch_u32(std::uint64_t offset, std::uint64_t value)
{
    const std::array<std::uint8_t, 4> bytes = {
        static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>((value >> 8) & 0xFF),
        static_cast<std::uint8_t>((value >> 16) & 0xFF), static_cast<std::uint8_t>((value >> 24) & 0xFF)};
    if (!failed_ && !sink_.write_at(offset, bytes.data(), bytes.size())) failed_ = true;
}

bool WavWriter::finish_wav()
{
    write_silence(kClosingSilenceSamples);
    if (!failed_ && used_ > 0 && !sink_.write(buffer_.data(), used_)) failed_ = true;
    used_ = 0;
    if (sizes_announced_) {
        // The header is gone already: a file of another size would lie.
        if (data_size() != announced_data_size_) failed_ = true;
    } else {
        patch_u32(kRiffSizeOffset, written_ - kRiffSizeExcluded);
        patch_u32(kDataSizeOffset, written_ - kWavHeaderSize);
    }
    if (!sink_.close()) failed_ = true;
    return !failed_;
}

}  // namespace morlevix
