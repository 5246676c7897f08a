#include "recording_converter.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "tape/decoder/block_reader.h"
#include "tape/sound/recording_input.h"

namespace morlevix {
namespace {

constexpr std::size_t kFramesPerRead = 16384;

std::size_t sound_blocks(const CassetteDecoder& decoder)
{
    const auto& blocks = decoder.blocks();
    return static_cast<std::size_t>(std::count_if(blocks.begin(), blocks.end(), [](const HeardBlock& b) { return b.sound(); }));
}

// The bytes of a heard block as the image keeps them, or none.
std::size_t kept_length(const HeardBlock& heard)
{
    const TapeBlock& block = heard.block;
    if (heard.complete) return block.length;
    return block.length > kBlockLengthOffset ? block.payload_length() + kBlockFraming : 0;
}

// The watcher hears the channel with the most sound blocks so far, and the
// level of its latest samples.
void tell(DecodingWatcher& watcher, const std::vector<std::optional<CassetteDecoder>>& decoders,
          const std::vector<std::vector<float>>& samples, std::size_t read, double seconds)
{
    std::size_t best = 0;
    for (std::size_t c = 1; c < decoders.size(); ++c)  // (a channel of its own only once it differs)
        if (decoders[c] && sound_blocks(*decoders[c]) > sound_blocks(*decoders[best])) best = c;
    watcher.heard({seconds, samples[best].data(), read, decoders[best]->blocks(), decoders[best]->stretches()});
}

}  // namespace

double DecodingProgress::level() const
{
    float peak = 0;
    for (std::size_t i = 0; i < latest_count; ++i) peak = std::max(peak, std::fabs(latest[i]));
    return level_in_decibels(static_cast<double>(peak));
}

bool DecodedRecording::sound() const
{
    return error.empty() && !blocks.empty() && account.whole();
}

DecodedRecording decode_recording(std::istream& recording, DecodingWatcher* watcher)
{
    DecodedRecording result;
    RecordingReader reader(recording);
    if (!reader.open()) {
        result.error = reader.error();
        return result;
    }
    // One decoder per channel; a channel gets its own only once it differs
    // from the first, starting from a copy of the first one's state.
    std::vector<std::optional<CassetteDecoder>> decoders(reader.channels());
    decoders[0].emplace(reader.sample_rate());
    std::vector<std::vector<float>> samples;
    std::uint64_t frames = 0;
    for (std::size_t read; (read = reader.read(samples, kFramesPerRead)) > 0;) {
        frames += read;
        for (std::size_t c = 1; c < decoders.size(); ++c)
            if (!decoders[c] && samples[c] != samples[0]) decoders[c] = decoders[0];
        for (std::size_t c = 0; c < decoders.size(); ++c)
            if (decoders[c]) decoders[c]->feed(samples[c].data(), read);
        if (watcher) tell(*watcher, decoders, samples, read, static_cast<double>(frames) / reader.sample_rate());
    }
    result.error = reader.error();
    result.seconds = static_cast<double>(frames) / reader.sample_rate();

    // The channel with the most sound blocks, then the most blocks.
    std::size_t best = 0;
    for (std::size_t c = 0; c < decoders.size(); ++c) {
        if (!decoders[c]) continue;
        decoders[c]->finish();
        const auto& candidate = *decoders[c];
        const auto& chosen = *decoders[best];
        if (sound_blocks(candidate) > sound_blocks(chosen) ||
            (sound_blocks(candidate) == sound_blocks(chosen) && candidate.blocks().size() > chosen.blocks().size()))
            best = c;
    }
    result.channel = static_cast<unsigned>(best);
    result.stretches = decoders[best]->stretches();
    auto accounted = account_for_heard(decoders[best]->blocks(), result.stretches, result.seconds);
    result.blocks = std::move(accounted.blocks);
    result.account = std::move(accounted.account);
    return result;
}

std::vector<std::uint8_t> tape_image_of(const std::vector<HeardBlock>& blocks)
{
    std::vector<std::uint8_t> image;
    for (const auto& heard : blocks) {
        const std::size_t length = kept_length(heard);
        if (length == 0) continue;
        image.insert(image.end(), kImageLeaderLength, kLeaderByte);
        const auto start = heard.block.bytes.begin();
        image.insert(image.end(), start, start + static_cast<std::ptrdiff_t>(heard.block.length));
        image.resize(image.size() + (length - heard.block.length), 0);
    }
    return image;
}

TapeCatalog catalog_of(const std::vector<HeardBlock>& blocks)
{
    TapeCatalogBuilder builder;
    std::uint64_t position = 0;
    for (const auto& heard : blocks) {
        const std::size_t length = kept_length(heard);
        if (length == 0) {
            builder.cut_short(heard.block, position, heard.seconds);
            continue;
        }
        position += kImageLeaderLength;
        TapeBlock kept = heard.block;
        kept.length = length;  // the bytes not heard are the zeros the image holds
        builder.add(kept, position, heard.seconds, !heard.complete, heard.figures, reading_doubt(heard));
        position += length;
    }
    return builder.catalog();
}

Said TakeSet::add(std::istream& recording, DecodingWatcher* watcher)
{
    DecodedRecording decoded = decode_recording(recording, watcher);
    takes_.push_back({std::move(decoded.blocks), std::move(decoded.account)});
    if (!decoded.error.empty()) return decoded.error;
    return takes_.back().blocks.empty() ? Said(kNoBlockText) : Said();
}

}  // namespace morlevix
