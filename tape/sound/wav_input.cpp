#include "wav_input.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <istream>
#include <limits>

namespace morlevix {
namespace {

// What is wrong with a file, as the console says it.
constexpr Text kImpossibleFormatSize{"bloc de format WAV de taille impossible", "WAV format chunk of impossible size"};
constexpr Text kHeaderCut{"en-tete WAV coupe", "WAV header cut short"};
constexpr Text kUnknownFormat{"format WAV inconnu", "unknown WAV format"};
constexpr Text kG711Samples{"echantillons G.711 de ", "G.711 samples of "};
constexpr Text kSamplesOf{"echantillons de ", "samples of "};
constexpr Text kFloatSamples{"echantillons flottants de ", "floating-point samples of "};
constexpr Text kAdpcmSamples{"echantillons ADPCM de ", "ADPCM samples of "};
constexpr Text kBitsNotRead{" bits non pris en charge", " bits not supported"};
constexpr Text kCompressedFormat{"format WAV compresse ou inconnu (code ", "compressed or unknown WAV format (code "};
constexpr Text kCodeNotRead{") non pris en charge", ") not supported"};
constexpr Text kImpossibleChannels{"nombre de canaux impossible (", "impossible number of channels ("};
constexpr Text kRateNotRead{"frequence d'echantillonnage non prise en charge (", "sample rate not supported ("};
constexpr Text kHzFrom{" Hz ; de ", " Hz; from "};
constexpr Text kTo{" a ", " to "};
constexpr Text kAdpcmBlockSize{"taille des blocs ADPCM incoherente", "inconsistent ADPCM block size"};
constexpr Text kSampleSize{"taille des echantillons incoherente", "inconsistent sample size"};
constexpr Text kReadFailed{"lecture impossible", "read failed"};
constexpr Text kNotWav{"pas un fichier WAV", "not a WAV file"};
constexpr Text kNoSamples{"pas d'echantillons dans le fichier WAV", "no samples in the WAV file"};
constexpr Text kSamplesBeforeFormat{"echantillons avant le format dans le fichier WAV", "samples before the format in the WAV file"};

constexpr std::size_t kTagSize = 4;
constexpr std::size_t kChunkHeaderSize = 8;
constexpr std::size_t kRiffHeaderSize = 12;
constexpr std::uint16_t kPcmTag = 0x0001;
constexpr std::uint16_t kFloatTag = 0x0003;
constexpr std::uint16_t kALawTag = 0x0006;
constexpr std::uint16_t kMuLawTag = 0x0007;
constexpr std::uint16_t kImaAdpcmTag = 0x0011;
constexpr std::uint16_t kMsAdpcmTag = 0x0002;
constexpr std::uint16_t kG711Bits = 8;
constexpr std::uint16_t kAdpcmBits = 4;
// After the plain 16 bytes and the size of the rest: (ADPCM) the frames
// per block and, for Microsoft ADPCM, its predictor pairs.
constexpr std::size_t kFramesPerBlockOffset = 18;
constexpr std::size_t kCoefficientCountOffset = 20;
constexpr std::size_t kCoefficientsOffset = 22;
constexpr std::size_t kCoefficientBytes = 4;
// Larger ADPCM blocks than this are no recorder's.
constexpr std::uint16_t kLargestAdpcmBlock = 0x8000;
constexpr std::uint16_t kExtensibleTag = 0xFFFE;
constexpr std::uint32_t kPlainFormatSize = 16;
constexpr std::uint32_t kExtensibleFormatSize = 40;
constexpr std::uint32_t kMaxFormatSize = 1024;  // anything larger is not a format chunk
constexpr std::size_t kSubFormatOffset = 24;
// The 14 bytes that follow the format tag in the sub-format GUID of every
// standard WAVE_FORMAT_EXTENSIBLE sub-format.
constexpr std::array<unsigned char, 14> kSubFormatTail = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                         0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
// A data size of 0, or all ones, is what a recorder that was never closed
// leaves: the samples run to the end of the file.
constexpr std::uint32_t kUnclosedDataSize = 0xFFFFFFFF;
constexpr std::size_t kBitsPerByte = 8;
// Float samples beyond this are clamped, and any that is not a number
// reads as silence: one such sample must not poison the filters for good.
constexpr double kLargestFloatSample = 1.0e4;

// Integer samples are scaled by powers of two, exactly (a 32-bit one is
// rounded to a float once, as it would be after scaling).
constexpr float kScale8 = 1.0f / 128;
constexpr float kScale16 = 1.0f / 32768;
constexpr float kScale24 = 1.0f / 8388608;
constexpr float kScale32 = 1.0f / 2147483648.0f;
constexpr int kUnsigned8Centre = 128;

std::uint16_t le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t le32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

bool read_exactly(std::istream& file, unsigned char* data, std::size_t size)
{
    file.read(reinterpret_cast<char*>(data), static_cast<std::streamsize>(size));
    return static_cast<std::size_t>(file.gcount()) == size;
}

float finite_sample(double value)
{
    if (!std::isfinite(value)) return 0.0f;
    return static_cast<float>(std::clamp(value, -kLargestFloatSample, kLargestFloatSample));
}

// One sample of the container's size at `p`, as a value from -1 to 1.
template <SampleEncoding Encoding, std::size_t Bytes>
float sample_at(const unsigned char* p)
{
    if constexpr (Encoding == SampleEncoding::floating) {
        if constexpr (Bytes == 4) {
            float value;
            std::memcpy(&value, p, sizeof value);
            return finite_sample(value);
        } else {
            double value;
            std::memcpy(&value, p, sizeof value);
            return finite_sample(value);
        }
    } else if constexpr (Encoding == SampleEncoding::mu_law) {
        return mu_law_sample(p[0]);
    } else if constexpr (Encoding == SampleEncoding::a_law) {
        return a_law_sample(p[0]);
    } else if constexpr (Bytes == 1) {
        return static_cast<float>(p[0] - kUnsigned8Centre) * kScale8;
    } else if constexpr (Bytes == 2) {
        return static_cast<float>(static_cast<std::int16_t>(le16(p))) * kScale16;
    } else if constexpr (Bytes == 3) {
        constexpr std::int32_t kSignBit = 0x800000;
        constexpr std::int32_t kWrap = 0x1000000;
        std::int32_t value = p[0] | p[1] << 8 | p[2] << 16;
        if (value & kSignBit) value -= kWrap;
        return static_cast<float>(value) * kScale24;
    } else {
        return static_cast<float>(static_cast<std::int32_t>(le32(p))) * kScale32;
    }
}

// `Channels` is the number of channels when it is known when compiling
// (mono and stereo: the loops then run at full speed), or 0.
template <SampleEncoding Encoding, std::size_t Bytes, std::size_t Channels>
void deinterleave(const unsigned char* data, std::size_t frames, std::vector<std::vector<float>>& channels)
{
    const std::size_t count = Channels != 0 ? Channels : channels.size();
    const std::size_t frame = count * Bytes;
    for (std::size_t c = 0; c < count; ++c) {
        float* out = channels[c].data();
        const unsigned char* p = data + c * Bytes;
        for (std::size_t i = 0; i < frames; ++i) out[i] = sample_at<Encoding, Bytes>(p + i * frame);
    }
}

template <SampleEncoding Encoding, std::size_t Bytes>
void deinterleave(const unsigned char* data, std::size_t frames, std::vector<std::vector<float>>& channels)
{
    if (channels.size() == 1) deinterleave<Encoding, Bytes, 1>(data, frames, channels);
    else if (channels.size() == 2) deinterleave<Encoding, Bytes, 2>(data, frames, channels);
    else deinterleave<Encoding, Bytes, 0>(data, frames, channels);
}

}  // namespace

Said recording_shape_problem(long long channels, long long sample_rate)
{
    if (channels < 1 || channels > kMaxRecordingChannels) return kImpossibleChannels + (std::to_string(channels) + ")");
    if (sample_rate < kMinRecordingRate || sample_rate > kMaxRecordingRate)
        return kRateNotRead + std::to_string(sample_rate) + kHzFrom + std::to_string(kMinRecordingRate) + kTo +
               (std::to_string(kMaxRecordingRate) + " Hz)");
    return {};
}

WavReader::WavReader(std::istream& file) : file_(file) {}

bool WavReader::unknown_encoding(const Said& text)
{
    encoding_unknown_ = true;
    return fail(text);
}

bool WavReader::fail(const Said& text)
{
    error_ = text;
    return false;
}

bool WavReader::read_format_chunk(std::uint32_t size)
{
    if (size < kPlainFormatSize || size > kMaxFormatSize) return fail(kImpossibleFormatSize);
    std::vector<unsigned char> chunk(size + (size & 1));
    if (!read_exactly(file_, chunk.data(), chunk.size()) && file_.gcount() < static_cast<std::streamsize>(size))
        return fail(kHeaderCut);
    std::uint16_t tag = le16(chunk.data());
    const bool extensible = tag == kExtensibleTag;
    format_.channels = le16(chunk.data() + 2);
    format_.sample_rate = le32(chunk.data() + 4);
    format_.block_align = le16(chunk.data() + 12);
    format_.bits_per_sample = le16(chunk.data() + 14);
    if (tag == kExtensibleTag) {
        if (size < kExtensibleFormatSize) return fail(kHeaderCut);
        if (!std::equal(kSubFormatTail.begin(), kSubFormatTail.end(), chunk.begin() + kSubFormatOffset + 2))
            return unknown_encoding(kUnknownFormat);
        tag = le16(chunk.data() + kSubFormatOffset);
    }
    if (tag == kMuLawTag || tag == kALawTag) {
        format_.encoding = tag == kMuLawTag ? SampleEncoding::mu_law : SampleEncoding::a_law;
        if (format_.bits_per_sample != kG711Bits)
            return fail(kG711Samples + std::to_string(format_.bits_per_sample) + kBitsNotRead);
    } else if (tag == kImaAdpcmTag || tag == kMsAdpcmTag) {
        format_.encoding = tag == kImaAdpcmTag ? SampleEncoding::ima_adpcm : SampleEncoding::ms_adpcm;
        if (!read_adpcm_format(chunk, size, extensible)) return false;
    } else if (tag == kPcmTag) {
        format_.encoding = SampleEncoding::integer;
        const auto bits = format_.bits_per_sample;
        if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
            return fail(kSamplesOf + std::to_string(bits) + kBitsNotRead);
    } else if (tag == kFloatTag) {
        format_.encoding = SampleEncoding::floating;
        if (format_.bits_per_sample != 32 && format_.bits_per_sample != 64)
            return fail(kFloatSamples + std::to_string(format_.bits_per_sample) + kBitsNotRead);
    } else {
        return unknown_encoding(kCompressedFormat + std::to_string(tag) + kCodeNotRead);
    }
    const Said shape = recording_shape_problem(format_.channels, format_.sample_rate);
    if (!shape.empty()) return fail(shape);
    if (format_.is_adpcm()) {
        const std::size_t frames = format_.encoding == SampleEncoding::ima_adpcm
                                       ? ima_frames_per_block(format_.block_align, format_.channels)
                                       : ms_frames_per_block(format_.block_align, format_.channels);
        if (frames == 0 || format_.block_align > kLargestAdpcmBlock) return fail(kAdpcmBlockSize);
        // The header's count, where it gives one that the blocks can hold.
        if (format_.frames_per_block == 0 || format_.frames_per_block > frames)
            format_.frames_per_block = static_cast<std::uint32_t>(frames);
        block_frames_.assign(format_.channels, {});
    } else if (format_.block_align != format_.channels * (format_.bits_per_sample / kBitsPerByte)) {
        return fail(kSampleSize);
    }
    return true;
}

bool WavReader::read_adpcm_format(const std::vector<unsigned char>& chunk, std::uint32_t size, bool extensible)
{
    if (format_.bits_per_sample != kAdpcmBits)
        return fail(kAdpcmSamples + std::to_string(format_.bits_per_sample) + kBitsNotRead);
    format_.frames_per_block = size >= kFramesPerBlockOffset + 2 ? le16(chunk.data() + kFramesPerBlockOffset) : 0;
    if (format_.encoding == SampleEncoding::ima_adpcm) return true;
    // Microsoft ADPCM names its predictor pairs; the seven standard ones
    // stand in when a writer left them out (and in an extensible format,
    // where the channel mask stands in their place).
    format_.coefficients.clear();
    const std::size_t count =
        !extensible && size >= kCoefficientCountOffset + 2 ? le16(chunk.data() + kCoefficientCountOffset) : 0;
    if (count > 0 && kCoefficientsOffset + count * kCoefficientBytes <= size) {
        for (std::size_t i = 0; i < count; ++i) {
            const unsigned char* pair = chunk.data() + kCoefficientsOffset + i * kCoefficientBytes;
            format_.coefficients.push_back({static_cast<std::int16_t>(le16(pair)), static_cast<std::int16_t>(le16(pair + 2))});
        }
    } else {
        format_.coefficients = standard_ms_coefficients();
    }
    return true;
}

bool WavReader::open()
{
    unsigned char riff[kRiffHeaderSize];
    if (!read_exactly(file_, riff, sizeof riff)) {
        if (file_.bad()) return fail(kReadFailed);
        return fail(file_.gcount() >= static_cast<std::streamsize>(kTagSize) && std::memcmp(riff, "RIFF", 4) == 0
                        ? kHeaderCut
                        : kNotWav);
    }
    if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) return fail(kNotWav);
    bool have_format = false;
    for (;;) {
        unsigned char header[kChunkHeaderSize];
        if (!read_exactly(file_, header, sizeof header)) {
            if (file_.bad()) return fail(kReadFailed);
            return fail(have_format ? kNoSamples : kHeaderCut);
        }
        const std::uint32_t size = le32(header + kTagSize);
        if (std::memcmp(header, "fmt ", 4) == 0) {
            if (!read_format_chunk(size)) return false;
            have_format = true;
        } else if (std::memcmp(header, "data", 4) == 0) {
            if (!have_format) return fail(kSamplesBeforeFormat);
            data_left_ = size == 0 || size == kUnclosedDataSize ? std::numeric_limits<std::uint64_t>::max() : size;
            return true;
        } else {
            // Any other chunk is skipped, with its pad byte when its size is odd.
            const std::uint64_t skip = std::uint64_t{size} + (size & 1);
            file_.ignore(static_cast<std::streamsize>(skip));
            if (static_cast<std::uint64_t>(file_.gcount()) != skip) {
                if (file_.bad()) return fail(kReadFailed);
                return fail(have_format ? kNoSamples : kHeaderCut);
            }
        }
    }
}

std::size_t WavReader::read_adpcm(std::vector<std::vector<float>>& channels, std::size_t max_frames)
{
    while (block_frames_used_ == block_frames_.front().size()) {
        if (data_left_ == 0) {
            for (auto& channel : channels) channel.clear();
            return 0;
        }
        // The next block, or what is left of it at the end of the file (a
        // block whose header is cut short holds no frame).
        const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(data_left_, format_.block_align));
        buffer_.resize(wanted);
        file_.read(reinterpret_cast<char*>(buffer_.data()), static_cast<std::streamsize>(wanted));
        const auto got = static_cast<std::size_t>(file_.gcount());
        if (got < wanted) {
            data_left_ = 0;
            if (file_.bad()) error_ = kReadFailed;
        } else {
            data_left_ -= got;
        }
        if (format_.encoding == SampleEncoding::ima_adpcm)
            expand_ima_block(buffer_.data(), got, format_.frames_per_block, block_frames_);
        else
            expand_ms_block(buffer_.data(), got, format_.frames_per_block, format_.coefficients, block_frames_);
        block_frames_used_ = 0;
    }
    const std::size_t frames = std::min(max_frames, block_frames_.front().size() - block_frames_used_);
    for (std::size_t c = 0; c < channels.size(); ++c) {
        const auto from = block_frames_[c].begin() + static_cast<std::ptrdiff_t>(block_frames_used_);
        channels[c].assign(from, from + static_cast<std::ptrdiff_t>(frames));
    }
    block_frames_used_ += frames;
    return frames;
}

std::size_t WavReader::read(std::vector<std::vector<float>>& channels, std::size_t max_frames)
{
    channels.resize(format_.channels);
    if (format_.is_adpcm()) return read_adpcm(channels, max_frames);
    const std::size_t frame = format_.block_align;
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(data_left_ / frame, max_frames));
    buffer_.resize(wanted * frame);
    file_.read(reinterpret_cast<char*>(buffer_.data()), static_cast<std::streamsize>(buffer_.size()));
    const std::size_t frames = static_cast<std::size_t>(file_.gcount()) / frame;
    if (frames < wanted) {
        data_left_ = 0;  // the file ends here, whatever its data size said
        if (file_.bad()) error_ = kReadFailed;
    } else {
        data_left_ -= frames * frame;
    }
    for (auto& channel : channels) channel.resize(frames);
    if (frames == 0) return 0;
    const unsigned char* data = buffer_.data();
    const auto floating = format_.encoding == SampleEncoding::floating;
    if (format_.encoding == SampleEncoding::mu_law) {
        deinterleave<SampleEncoding::mu_law, 1>(data, frames, channels);
        return frames;
    }
    if (format_.encoding == SampleEncoding::a_law) {
        deinterleave<SampleEncoding::a_law, 1>(data, frames, channels);
        return frames;
    }
    switch (format_.bits_per_sample) {
    case 8: deinterleave<SampleEncoding::integer, 1>(data, frames, channels); break;
    case 16: deinterleave<SampleEncoding::integer, 2>(data, frames, channels); break;
    case 24: deinterleave<SampleEncoding::integer, 3>(data, frames, channels); break;
    case 32:
        if (floating) deinterleave<SampleEncoding::floating, 4>(data, frames, channels);
        else deinterleave<SampleEncoding::integer, 4>(data, frames, channels);
        break;
    default: deinterleave<SampleEncoding::floating, 8>(data, frames, channels); break;
    }
    return frames;
}

}  // namespace morlevix
