// Reading WAV recordings: RIFF/WAVE with integer PCM of 8, 16, 24 or 32
// bits, IEEE float of 32 or 64 bits, the G.711 mu-law and A-law of
// telephones and voice recorders, IMA and Microsoft ADPCM, plain or
// WAVE_FORMAT_EXTENSIBLE, any number of channels, 5.5 to 192 kHz (the
// cassette's higher tone, 2,450 Hz, still fits below half of 5,500 Hz).
// Unknown chunks are skipped. A data size
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

#include "compressed_samples.h"
#include "common/two_languages.h"

namespace morlevix {

inline constexpr std::uint32_t kMinRecordingRate = 5500;
inline constexpr std::uint32_t kMaxRecordingRate = 192000;
inline constexpr std::uint16_t kMaxRecordingChannels = 32;

// What keeps a recording of `channels` at `sample_rate` from being read
// (too many channels, a rate out of range), whatever its format; nothing
// when it can be.
Said recording_shape_problem(long long channels, long long sample_rate);

enum class SampleEncoding { integer, floating, mu_law, a_law, ima_adpcm, ms_adpcm };

struct WavFormat {
    SampleEncoding encoding = SampleEncoding::integer;
    std::uint16_t channels = 0;
    std::uint32_t sample_rate = 0;
    std::uint16_t bits_per_sample = 0;  // of the container: 4 (ADPCM), 8, 16, 24, 32 or 64
    std::uint16_t block_align = 0;      // bytes per frame, or per block of ADPCM
    std::uint32_t frames_per_block = 1;  // ADPCM: frames that one block holds
    std::vector<AdpcmCoefficients> coefficients;  // Microsoft ADPCM

    bool is_adpcm() const { return encoding == SampleEncoding::ima_adpcm || encoding == SampleEncoding::ms_adpcm; }
};

class WavReader {
public:
    explicit WavReader(std::istream& file);

    // Reads the chunks up to the samples. False, with what is wrong in
    // error(), when this is not a WAV file we can read.
    bool open();
    const WavFormat& format() const { return format_; }
    const Said& error() const { return error_; }
    // After open() failed: the file is a WAV, of an encoding this reader
    // does not know (GSM 6.10, MP3 in a WAV...).
    bool encoding_unknown() const { return encoding_unknown_; }

    // Reads up to `max_frames` frames into `channels` (one vector per
    // channel, resized to the frames read), as values from -1 to 1. Zero at
    // the end of the samples; error() then says whether a read failed.
    std::size_t read(std::vector<std::vector<float>>& channels, std::size_t max_frames);

private:
    bool fail(const Said& text);
    bool unknown_encoding(const Said& text);
    bool read_format_chunk(std::uint32_t size);
    bool read_adpcm_format(const std::vector<unsigned char>& chunk, std::uint32_t size, bool extensible);
    std::size_t read_adpcm(std::vector<std::vector<float>>& channels, std::size_t max_frames);

    std::istream& file_;
    WavFormat format_;
    Said error_;
    bool encoding_unknown_ = false;
    std::uint64_t data_left_ = 0;  // bytes of samples still to read
    std::vector<unsigned char> buffer_;
    // ADPCM: the frames of the latest block, and how many are handed out.
    std::vector<std::vector<float>> block_frames_;
    std::size_t block_frames_used_ = 0;
};

}  // namespace morlevix
