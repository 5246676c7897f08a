#include "signal_decoder.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace morlevix::testing {
namespace {

constexpr std::uint8_t kHigh = 0xFA;
constexpr std::uint8_t kLow = 0x05;
constexpr std::uint8_t kQuiet = 0x80;
constexpr std::uint8_t kLeader = 0x55;

std::uint32_t le32(const Bytes& b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

struct Decoded {
    std::string error;
    std::vector<std::string> tokens;
    std::vector<Bytes> blocks;
};

// One run of bytes between two silences: leader and marker bytes, at most
// one block, its closing marker.
void read_byte_run(const Bytes& run, Decoded& out)
{
    std::size_t leading = 0;
    while (leading < run.size() && run[leading] == kLeader) ++leading;
    if (leading == run.size()) {
        out.tokens.push_back("L" + std::to_string(leading));
        return;
    }
    if (leading == 0) {
        out.error = "ERROR: block without its opening marker";
        return;
    }
    const std::size_t start = leading;
    if (run[start] != 0x3C || run.size() - start < 3) {
        out.error = "ERROR: no block where one should start";
        return;
    }
    const std::size_t length = run[start + 2] + 4u;
    if (run.size() - start != length + 1 || run.back() != kLeader) {
        out.error = "ERROR: block not followed by exactly its closing marker";
        return;
    }
    const Bytes block(run.begin() + static_cast<std::ptrdiff_t>(start),
                      run.begin() + static_cast<std::ptrdiff_t>(start + length));
    if (leading > 1) out.tokens.push_back("L" + std::to_string(leading - 1));
    out.tokens.push_back("M");
    out.tokens.push_back(hex_block(block));
    out.tokens.push_back("M");
    out.blocks.push_back(block);
}

Decoded decode(const Bytes& s)
{
    Decoded out;
    Bytes byte_run;
    int bits = 0;
    unsigned value = 0;
    std::uint64_t silence = 0;
    auto end_byte_run = [&] {
        if (bits != 0) out.error = "ERROR: silence inside a byte";
        if (!byte_run.empty() && out.error.empty()) read_byte_run(byte_run, out);
        byte_run.clear();
    };
    std::size_t i = 0;
    while (i < s.size() && out.error.empty()) {
        const std::uint8_t level = s[i];
        std::size_t run = 0;
        while (i + run < s.size() && s[i + run] == level) ++run;
        if (level == kQuiet) {
            end_byte_run();
            silence += run;
            i += run;
            continue;
        }
        if (silence > 0) {
            out.tokens.push_back("S" + std::to_string(silence));
            silence = 0;
        }
        std::size_t low = 0;
        while (i + run + low < s.size() && s[i + run + low] == kLow) ++low;
        if (level != kHigh || low != run || (run != 9 && run != 18)) {
            out.error = "ERROR: not a bit cycle at sample " + std::to_string(i);
            break;
        }
        value |= (run == 9 ? 1u : 0u) << bits;
        if (++bits == 8) {
            byte_run.push_back(static_cast<std::uint8_t>(value));
            bits = 0;
            value = 0;
        }
        i += run + low;
    }
    if (out.error.empty()) end_byte_run();
    if (out.error.empty() && silence > 0) out.tokens.push_back("S" + std::to_string(silence));
    return out;
}

}  // namespace

WavImage parse_wav(const Bytes& file)
{
    static const Bytes header_start = {'R', 'I', 'F', 'F'};
    static const Bytes format = {'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 1, 0,
                                 0x44, 0xAC, 0, 0, 0x44, 0xAC, 0, 0, 1, 0, 8, 0, 'd', 'a', 't', 'a'};
    WavImage wav;
    if (file.size() < 44) {
        wav.error = "shorter than a WAV header";
        return wav;
    }
    if (!std::equal(header_start.begin(), header_start.end(), file.begin()) ||
        !std::equal(format.begin(), format.end(), file.begin() + 8))
        wav.error = "header differs from 8-bit mono PCM at 44100 Hz";
    else if (le32(file, 4) != file.size() - 8)
        wav.error = "RIFF size " + std::to_string(le32(file, 4)) + " for a file of " + std::to_string(file.size());
    else if (le32(file, 40) != file.size() - 44)
        wav.error = "data size " + std::to_string(le32(file, 40)) + " for a file of " + std::to_string(file.size());
    wav.samples.assign(file.begin() + 44, file.end());
    return wav;
}

DecodedSignal decode_signal(const Bytes& samples)
{
    Decoded d = decode(samples);
    DecodedSignal signal;
    signal.blocks = std::move(d.blocks);
    if (!d.error.empty()) {
        signal.description = d.error;
        return signal;
    }
    for (const auto& t : d.tokens) signal.description += (signal.description.empty() ? "" : " ") + t;
    return signal;
}

std::string describe_signal(const Bytes& samples) { return decode_signal(samples).description; }

std::vector<Bytes> decoded_blocks(const Bytes& samples) { return decode(samples).blocks; }

std::vector<Bytes> image_blocks(const Bytes& image)
{
    std::vector<Bytes> blocks;
    std::size_t i = 0;
    while (i < image.size()) {
        if (image[i] != 0x3C) {
            ++i;
            continue;
        }
        if (image.size() - i < 3 || image.size() - i < image[i + 2] + 4u) break;
        const std::size_t length = image[i + 2] + 4u;
        blocks.emplace_back(image.begin() + static_cast<std::ptrdiff_t>(i),
                            image.begin() + static_cast<std::ptrdiff_t>(i + length));
        i += length;
    }
    return blocks;
}

std::string hex_block(const Bytes& block)
{
    std::string text = "[";
    char digits[4];
    for (std::size_t i = 0; i < block.size(); ++i) {
        std::snprintf(digits, sizeof digits, "%02x", block[i]);
        text += (i ? " " : "") + std::string(digits);
    }
    return text + "]";
}

SignalModel& SignalModel::silence(std::uint64_t samples)
{
    pending_silence_ += samples;
    return *this;
}

SignalModel& SignalModel::leader()
{
    token("L128");
    return *this;
}

SignalModel& SignalModel::framed(const Bytes& block)
{
    token("M");
    token(hex_block(block));
    token("M");
    return silence(180);
}

void SignalModel::token(const std::string& t)
{
    if (pending_silence_ > 0) tokens_.push_back("S" + std::to_string(pending_silence_));
    pending_silence_ = 0;
    tokens_.push_back(t);
}

std::string SignalModel::text() const
{
    std::string text;
    for (const auto& t : tokens_) text += (text.empty() ? "" : " ") + t;
    if (pending_silence_ > 0) text += (text.empty() ? "S" : " S") + std::to_string(pending_silence_);
    return text;
}

}  // namespace morlevix::testing
