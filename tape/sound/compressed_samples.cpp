#include "compressed_samples.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

namespace morlevix {
namespace {

constexpr float kFullScale16 = 32768.0f;
constexpr int kLargest16 = 32767;
constexpr int kSmallest16 = -32768;

// G.711: a sign bit, three bits of segment and four of mantissa, every bit
// inverted in mu-law and the even ones in A-law.
constexpr unsigned kSignBit = 0x80;
constexpr unsigned kSegmentShift = 4;
constexpr unsigned kSegmentMask = 0x07;
constexpr unsigned kMantissaMask = 0x0F;
constexpr int kMuLawBias = 0x84;
constexpr std::uint8_t kALawToggle = 0x55;
constexpr float kMuLawScale = 32768.0f;  // mu-law spans 14 bits shifted up to 16
constexpr float kALawScale = 32768.0f;

// IMA ADPCM: the step sizes, and how each nibble moves along them.
constexpr std::array<int, 89> kImaSteps = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr std::array<int, 16> kImaIndexMoves = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};
constexpr int kImaLastStep = static_cast<int>(kImaSteps.size()) - 1;
constexpr std::size_t kImaGroupBytes = 4;  // per channel, eight samples
constexpr std::size_t kSamplesPerByte = 2;
constexpr unsigned kNibbleMask = 0x0F;
constexpr unsigned kNibbleBits = 4;
constexpr int kNibbleSign = 8;
constexpr int kNibbleWrap = 16;

// Microsoft ADPCM: how the step adapts to each nibble, and its least.
constexpr std::array<int, 16> kMsAdaptation = {230, 230, 230, 230, 307, 409, 512, 614,
                                               768, 614, 512, 409, 307, 230, 230, 230};
constexpr int kMsLeastDelta = 16;
// The step grows by at most 768/256 a nibble: past this it would overflow,
// as a damaged file can make it.
constexpr int kMsMostDelta = std::numeric_limits<int>::max() / 768;
constexpr int kMsFixedPointShift = 8;
constexpr AdpcmCoefficients kMsStandardCoefficients[] = {{256, 0},  {512, -256}, {0, 0},    {192, 64},
                                                          {240, 0}, {460, -208}, {392, -232}};

int le16_signed(const unsigned char* p) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | p[1] << 8)); }

int clamp16(int value) { return std::clamp(value, kSmallest16, kLargest16); }

float scaled(int value) { return static_cast<float>(value) / kFullScale16; }

struct ImaChannel {
    int predictor = 0;
    int index = 0;

    int next(unsigned nibble)
    {
        const int step = kImaSteps[static_cast<std::size_t>(index)];
        int difference = step >> 3;
        if (nibble & 4) difference += step;
        if (nibble & 2) difference += step >> 1;
        if (nibble & 1) difference += step >> 2;
        predictor = clamp16(nibble & kNibbleSign ? predictor - difference : predictor + difference);
        index = std::clamp(index + kImaIndexMoves[nibble], 0, kImaLastStep);
        return predictor;
    }
};

struct MsChannel {
    AdpcmCoefficients coefficients;
    int delta = 0;
    int sample1 = 0;
    int sample2 = 0;

    int next(unsigned nibble)
    {
        const int signed_nibble = static_cast<int>(nibble) >= kNibbleSign ? static_cast<int>(nibble) - kNibbleWrap
                                                                          : static_cast<int>(nibble);
        // Wide sums: a damaged file may hold any coefficients and steps.
        const std::int64_t predicted = (std::int64_t{sample1} * coefficients.first +
                                        std::int64_t{sample2} * coefficients.second) >> kMsFixedPointShift;
        const int sample = static_cast<int>(std::clamp<std::int64_t>(predicted + std::int64_t{signed_nibble} * delta,
                                                                     kSmallest16, kLargest16));
        sample2 = sample1;
        sample1 = sample;
        delta = std::clamp((kMsAdaptation[nibble] * delta) >> kMsFixedPointShift, kMsLeastDelta, kMsMostDelta);
        return sample;
    }
};

}  // namespace

float mu_law_sample(std::uint8_t code)
{
    const unsigned inverted = static_cast<unsigned>(~code) & 0xFFu;
    const unsigned segment = (inverted >> kSegmentShift) & kSegmentMask;
    const int magnitude = ((static_cast<int>(inverted & kMantissaMask) << 3) + kMuLawBias) << segment;
    const int value = magnitude - kMuLawBias;
    return static_cast<float>(inverted & kSignBit ? -value : value) / kMuLawScale;
}

float a_law_sample(std::uint8_t code)
{
    const unsigned toggled = code ^ kALawToggle;
    const unsigned segment = (toggled >> kSegmentShift) & kSegmentMask;
    int magnitude = static_cast<int>(toggled & kMantissaMask) << 4;
    magnitude += segment == 0 ? 8 : 0x108;
    if (segment > 1) magnitude <<= segment - 1;
    return static_cast<float>(toggled & kSignBit ? magnitude : -magnitude) / kALawScale;
}

std::size_t ima_frames_per_block(std::size_t block_bytes, std::size_t channels)
{
    if (channels == 0 || block_bytes < channels * kImaHeaderBytes) return 0;
    const std::size_t data_per_channel = (block_bytes / channels - kImaHeaderBytes) / kImaGroupBytes * kImaGroupBytes;
    return 1 + data_per_channel * kSamplesPerByte;
}

std::size_t ms_frames_per_block(std::size_t block_bytes, std::size_t channels)
{
    if (channels == 0 || block_bytes < channels * kMsHeaderBytes) return 0;
    return 2 + (block_bytes - channels * kMsHeaderBytes) * kSamplesPerByte / channels;
}

void expand_ima_block(const unsigned char* block, std::size_t size, std::size_t frames_per_block,
                      std::vector<std::vector<float>>& channels)
{
    const std::size_t count = channels.size();
    for (auto& channel : channels) channel.clear();
    if (size < count * kImaHeaderBytes) return;
    std::vector<ImaChannel> state(count);
    for (std::size_t c = 0; c < count; ++c) {
        const unsigned char* header = block + c * kImaHeaderBytes;
        state[c].predictor = le16_signed(header);
        state[c].index = std::clamp(static_cast<int>(header[2]), 0, kImaLastStep);
        channels[c].push_back(scaled(state[c].predictor));
    }
    // Then groups of four bytes per channel in turn, eight samples each,
    // the low nibble first.
    const unsigned char* p = block + count * kImaHeaderBytes;
    const unsigned char* end = block + size;
    while (channels[0].size() < frames_per_block && p + count * kImaGroupBytes <= end) {
        for (std::size_t c = 0; c < count; ++c, p += kImaGroupBytes)
            for (std::size_t b = 0; b < kImaGroupBytes; ++b) {
                channels[c].push_back(scaled(state[c].next(p[b] & kNibbleMask)));
                channels[c].push_back(scaled(state[c].next(p[b] >> kNibbleBits)));
            }
    }
    for (auto& channel : channels) channel.resize(std::min(channel.size(), frames_per_block));
}

void expand_ms_block(const unsigned char* block, std::size_t size, std::size_t frames_per_block,
                     const std::vector<AdpcmCoefficients>& coefficients, std::vector<std::vector<float>>& channels)
{
    const std::size_t count = channels.size();
    for (auto& channel : channels) channel.clear();
    if (size < count * kMsHeaderBytes || coefficients.empty()) return;
    // The header: every channel's predictor, then every channel's step,
    // then the second sample of each, then the first.
    std::vector<MsChannel> state(count);
    constexpr std::size_t kWord = 2;
    for (std::size_t c = 0; c < count; ++c) {
        state[c].coefficients = coefficients[std::min<std::size_t>(block[c], coefficients.size() - 1)];
        state[c].delta = std::max(kMsLeastDelta, le16_signed(block + count + c * kWord));
        state[c].sample1 = le16_signed(block + count * (1 + kWord) + c * kWord);
        state[c].sample2 = le16_signed(block + count * (1 + 2 * kWord) + c * kWord);
        channels[c].push_back(scaled(state[c].sample2));
        channels[c].push_back(scaled(state[c].sample1));
    }
    // Then a nibble for each channel in turn, the high nibble first.
    std::size_t next_channel = 0;
    for (const unsigned char* p = block + count * kMsHeaderBytes; p < block + size; ++p)
        for (const unsigned nibble : {static_cast<unsigned>(*p >> kNibbleBits), static_cast<unsigned>(*p & kNibbleMask)}) {
            channels[next_channel].push_back(scaled(state[next_channel].next(nibble)));
            next_channel = (next_channel + 1) % count;
        }
    // A short last block may leave a channel one sample behind.
    std::size_t frames = frames_per_block;
    for (const auto& channel : channels) frames = std::min(frames, channel.size());
    for (auto& channel : channels) channel.resize(frames);
}

std::vector<AdpcmCoefficients> standard_ms_coefficients()
{
    return std::vector<AdpcmCoefficients>(std::begin(kMsStandardCoefficients), std::end(kMsStandardCoefficients));
}

}  // namespace morlevix
