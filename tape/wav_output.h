// The WAV output file: a 44-byte RIFF/WAVE header, the cassette signal as
// 8-bit unsigned mono samples at 44.1 kHz, one second of closing silence, and
// both size fields patched in when the file is finished.
//
// Samples are streamed: they go into a fixed buffer that is handed to a
// ByteSink whenever it fills, so memory stays the same whatever the length
// of the tape. The sink is either a file on disk or memory (tests, fuzzing).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <vector>

#include "cassette_format.h"

namespace morlevix {

inline constexpr std::uint8_t kSilenceLevel = 0x80;
inline constexpr std::size_t kWavHeaderSize = 44;
// One second of silence closes every file.
inline constexpr std::uint64_t kClosingSilenceSamples = kSampleRate;

// Offsets of the two size fields, and what each one leaves out of the file length.
inline constexpr std::uint64_t kRiffSizeOffset = 4;
inline constexpr std::uint64_t kRiffSizeExcluded = 8;
inline constexpr std::uint64_t kDataSizeOffset = 40;

// The largest data size the 32-bit fields can describe: the RIFF size
// (data size + 36) must fit in 32 bits, and the data size stays even.
inline constexpr std::uint64_t kMaxWavDataSize =
    (UINT64_C(0xFFFFFFFF) - (kWavHeaderSize - kRiffSizeExcluded)) & ~UINT64_C(1);

// Where the bytes of a WAV file go. Every call reports whether it succeeded.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool write(const std::uint8_t* data, std::size_t size) = 0;
    // Overwrites bytes already written, at `offset` from the start.
    virtual bool write_at(std::uint64_t offset, const std::uint8_t* data, std::size_t size) = 0;
    // Makes everything written durable and releases the destination.
    virtual bool close() = 0;
};

// A WAV file held in memory.
class MemorySink final : public ByteSink {
public:
    bool write(const std::uint8_t* data, std::size_t size) override;
    bool write_at(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override;
    bool close() override { return true; }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

// Bytes going out on a stream that cannot be rewound, such as a pipe on
// standard output: a file written there must announce its sizes up front.
class StreamSink final : public ByteSink {
public:
    explicit StreamSink(std::ostream& out) : out_(out) {}
    bool write(const std::uint8_t* data, std::size_t size) override;
    bool write_at(std::uint64_t, const std::uint8_t*, std::size_t) override { return false; }
    bool close() override;

private:
    std::ostream& out_;
};

// A WAV file on disk, created or truncated when the sink is made and closed
// when it is destroyed (or earlier by close()).
class FileSink final : public ByteSink {
public:
    explicit FileSink(const std::filesystem::path& path);
    // An empty file that exists already (made for this sink alone): opened
    // as it is, without the truncation that would make some file systems
    // flush it early on close.
    struct ExistingEmptyFile {};
    FileSink(const std::filesystem::path& path, ExistingEmptyFile);
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    bool is_open() const { return file_.is_open(); }
    bool write(const std::uint8_t* data, std::size_t size) override;
    bool write_at(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override;
    bool close() override;

private:
    std::ofstream file_;
};

// Builds the WAV file through a sink. The sink gets whole buffers of
// kBufferSize bytes, so that file writes stay aligned, and the rest at the
// end. After the first failed write every further write is dropped and
// failed() stays true.
class WavWriter {
public:
    static constexpr std::size_t kBufferSize = 256 * 1024;
    // The most that room_for may be asked for at once.
    static constexpr std::size_t kMaxRoom = 1024;

    explicit WavWriter(ByteSink& sink);
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // The fixed 44-byte header with both size fields at zero; finish_wav
    // fills them in.
    void write_wav_header();
    // The header with both size fields already holding those of a file of
    // `data_size` samples, closing silence included, for a destination that
    // cannot be rewound. finish_wav then checks that the file came out at
    // exactly that size.
    void write_wav_header(std::uint64_t data_size);

    // One sample: the low 8 bits of `value`.
    void write_sample(int value)
    {
        buffer_[used_] = static_cast<std::uint8_t>(value);
        commit(1);
    }

    // `count` samples of silence.
    void write_silence(std::uint64_t count) { write_run(kSilenceLevel, count); }

    // `count` samples all at `level`.
    void write_run(std::uint8_t level, std::uint64_t count);

    // `count` samples copied from `samples`.
    void write_samples(const std::uint8_t* samples, std::size_t count);

    // Direct access for callers that produce samples in bulk: room_for(n)
    // gives space for `n` samples (n at most kMaxRoom), of which commit(k)
    // keeps the first `k`, k <= n.
    std::uint8_t* room_for(std::size_t) { return buffer_.data() + used_; }
    void commit(std::size_t count)
    {
        used_ += count;
        written_ += count;
        if (used_ >= kBufferSize) hand_over_buffer();
    }

    // One second of silence, both size fields, then the sink is closed.
    // True when every byte of the file reached its destination.
    bool finish_wav();

    // Samples written so far (the data size the file would have now).
    std::uint64_t data_size() const { return written_ - header_bytes_; }
    bool failed() const { return failed_; }

private:
    void hand_over_buffer();
    void patch_u32(std::uint64_t offset, std::uint64_t value);

    ByteSink& sink_;
    // kBufferSize, plus room for a bulk write that crosses its end; between
    // calls fewer than kBufferSize bytes wait here.
    std::vector<std::uint8_t> buffer_;
    std::size_t used_ = 0;
    std::uint64_t written_ = 0;
    std::uint64_t header_bytes_ = 0;
    bool sizes_announced_ = false;
    std::uint64_t announced_data_size_ = 0;
    bool failed_ = false;
};

}  // namespace morlevix
