// Reading WAV recordings: RIFF/WAVE with integer PCM of 8, 16, 24 or 32
// bits, IEEE float of 32 or 64 bits, plain or WAVE_FORMAT_EXTENSIBLE, any
// number of channels, 8 to 192 kHz. Unknown chunks are skipped. A data size
// of 0 or one that runs past the end of the file (a recording never closed
// properly) reads the samples that are there.
//
// The samples are streamed: the reader holds one buffer of a fixed size,
// whatever the length of the recording.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace morlevix {

inline constexpr std::uint32_t kMinRecordingRate = 8000;
inline constexpr std::uint32_t kMaxRecordingRate = 192000;
inline constexpr std::uint16_t kMaxRecordingChannels = 32;

enum class SampleEncoding { integer, floating };

struct WavFormat {
    SampleEncoding encoding = SampleEncoding::integer;
    std::uint16_t channels = 0;
    std::uint32_t sample_rate = 0;
    std::uint16_t bits_per_sample = 0;  // of the container: 8, 16, 24, 32 or 64
    std::uint16_t block_align = 0;      // bytes per frame
};

// True when the stream starts like a WAV file ("RIFF"); nothing is consumed.
bool looks_like_wav(std::istream& file);

class WavReader {
public:
    explicit WavReader(std::istream& file);

    // Reads the chunks up to the samples. False, with a French description
    // of what is wrong in error(), when this is not a WAV file we can read.
    bool open();
    const WavFormat& format() const { return format_; }
    const std::string& error() const { return error_; }

    // Reads up to `max_frames` frames into `channels` (one vector per
    // channel, resized to the frames read), as values from -1 to 1. Zero at
    // the end of the samples; error() then says whether a read failed.
    std::size_t read(std::vector<std::vector<float>>& channels, std::size_t max_frames);

private:
    bool fail(const std::string& text);
    bool read_format_chunk(std::uint32_t size);

    std::istream& file_;
    WavFormat format_;
    std::string error_;
    std::uint64_t data_left_ = 0;  // bytes of samples still to read
    std::vector<unsigned char> buffer_;
};

}  // namespace morlevix
