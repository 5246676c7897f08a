// Recordings in the formats that libsndfile reads (FLAC, Ogg Vorbis, Opus,
// MP3, AIFF, W64, and WAV encodings such as GSM 6.10), read from a byte
// stream. A build without the library has the same interface, and reads
// none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <vector>

#include "common/two_languages.h"

namespace morlevix {

class CompressedRecording {
public:
    virtual ~CompressedRecording() = default;

    // True when this build reads them at all.
    static bool available();
    // The recording `file` holds, from its start, or null with what is
    // wrong in `error`. `file` must be able to seek.
    static std::unique_ptr<CompressedRecording> open(std::istream& file, Said& error);

    virtual unsigned channels() const = 0;
    virtual std::uint32_t sample_rate() const = 0;
    // As WavReader::read: frames into one vector per channel, 0 at the end.
    virtual std::size_t read(std::vector<std::vector<float>>& channels, std::size_t max_frames) = 0;
    // After the last read: the samples stopped before the end the file
    // gives them (a file cut short), or could not be decoded further.
    virtual const Said& error() const = 0;
};

}  // namespace morlevix
