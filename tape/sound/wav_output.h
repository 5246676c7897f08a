// The WAV output file: a 44-byte RIFF/WAVE header, the cassette signal as
// 8-bit unsigned mono samples at 44.1 kHz, one second of closing silence, and
// both size fields patched in when the file is finished.
//
// Samples are streamed: they go into a fixed buffer that is handed to a
// ByteSink (byte_sinks.h) whenever it fills, so memory stays the same
// whatever the length of the tape.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <vector>

#include "common/byte_sinks.h"
#include "tape/image/cassette_format.h"

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
