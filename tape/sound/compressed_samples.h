// The compressed sample formats that telephones, voice recorders and old
// sound cards write into WAV files, expanded back into samples: G.711
// mu-law and A-law (one byte a sample), IMA ADPCM and Microsoft ADPCM
// (four bits a sample, in blocks that each start afresh).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace morlevix {

// The predictor pairs of a Microsoft ADPCM file.
struct AdpcmCoefficients {
    int first = 0;
    int second = 0;
};

// One G.711 byte as a value from -1 to 1.
float mu_law_sample(std::uint8_t code);
float a_law_sample(std::uint8_t code);

// Bytes of a block's header per channel.
inline constexpr std::size_t kImaHeaderBytes = 4;
inline constexpr std::size_t kMsHeaderBytes = 7;

// The frames that one block of `block_bytes` holds with `channels`
// channels, or 0 when such a block cannot hold one.
std::size_t ima_frames_per_block(std::size_t block_bytes, std::size_t channels);
std::size_t ms_frames_per_block(std::size_t block_bytes, std::size_t channels);

// Expands one block (`size` bytes, the last block of a file may be short)
// into `channels` (one vector per channel, resized to the frames it held,
// at most `frames_per_block`), as values from -1 to 1.
void expand_ima_block(const unsigned char* block, std::size_t size, std::size_t frames_per_block,
                      std::vector<std::vector<float>>& channels);
void expand_ms_block(const unsigned char* block, std::size_t size, std::size_t frames_per_block,
                     const std::vector<AdpcmCoefficients>& coefficients, std::vector<std::vector<float>>& channels);

// The seven predictor pairs that every Microsoft ADPCM file holds.
std::vector<AdpcmCoefficients> standard_ms_coefficients();

}  // namespace morlevix
