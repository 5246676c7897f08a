#include "heard_tape.h"

#include "tape/catalog/tape_catalog.h"
#include "tape/encoder/cassette_encoder.h"

namespace morlevix {
namespace {

constexpr Text kFrom{", de ", ", from "};
constexpr Text kFromPositions{", des positions ", ", from positions "};
constexpr Text kPosition{"position ", "position "};
constexpr Text kAtTime{"a ", "at "};

}  // namespace

const std::vector<HeardStretch> HeardTape::no_stretches_{};

double average_byte_samples() { return static_cast<double>(byte_sample_count(kMarkerByte)); }

bool is_header(const HeardBlock& heard) { return heard.block.length > kBlockTypeOffset && heard.block.is_header(); }
bool is_data(const HeardBlock& heard)
{
    return heard.block.length > kBlockTypeOffset && heard.block.type() == kDataBlockType;
}
bool is_end(const HeardBlock& heard) { return heard.block.length > kBlockTypeOffset && heard.block.type() == kEndBlockType; }

HeardTape::HeardTape(const std::vector<HeardBlock>& blocks, const std::vector<HeardStretch>& stretches, double seconds,
                     RecordingEnd end)
    : blocks_(blocks), stretches_(stretches), seconds_(seconds), timed_(true), still_coming_(end == RecordingEnd::still_coming)
{
    // Each block's length in time, once: a block's bytes are summed cycle
    // by cycle.
    durations_.reserve(blocks.size());
    for (const auto& heard : blocks) durations_.push_back(heard_duration(heard));
    // Among the blocks up to each (in the order of their times), the latest end.
    latest_end_.resize(blocks.size());
    for (std::size_t b = 0; b < blocks.size(); ++b)
        latest_end_[b] = std::max(b > 0 ? latest_end_[b - 1] : -1.0, blocks[b].seconds + durations_[b]);
}

HeardTape::HeardTape(const std::vector<HeardBlock>& blocks, const std::vector<std::uint64_t>& positions)
    : blocks_(blocks), positions_(positions), stretches_(no_stretches_), durations_(blocks.size(), 0.0),
      latest_end_(blocks.size(), 0.0)
{
}

TapeFiles HeardTape::files() const
{
    TapeFiles tape;
    for (std::size_t b = 0; b < blocks_.size(); ++b) {
        if (is_header(blocks_[b])) {
            tape.files.push_back({b, {}, false});
        } else if (tape.files.empty()) {
            tape.before_any.push_back(b);
        } else if (tape.files.back().ended) {
            tape.without.push_back(b);
        } else {
            tape.files.back().members.push_back(b);
            tape.files.back().ended = is_end(blocks_[b]);
        }
    }
    return tape;
}

double HeardTape::end_of(std::size_t b) const
{
    const HeardBlock& heard = blocks_[b];
    if (heard.sound() || heard.block.length <= kBlockLengthOffset) return heard.seconds + durations_[b];
    HeardBlock full = heard;
    full.complete = false;
    // A header's length is known: it is a header's whatever was heard.
    full.block.bytes[kBlockLengthOffset] = is_header(heard)
                                               ? static_cast<std::uint8_t>(kHeaderPayloadLength)
                                               : std::max<std::uint8_t>(heard.block.bytes[kBlockLengthOffset], kMaxBlockPayload);
    full.block.length = std::min(full.block.length, kPayloadOffset);
    return heard.seconds + heard_duration(full);
}

std::size_t HeardTape::blocks_starting_before(double seconds) const
{
    const auto first_after = std::lower_bound(blocks_.begin(), blocks_.end(), seconds,
                                              [](const HeardBlock& b, double t) { return b.seconds < t; });
    return static_cast<std::size_t>(first_after - blocks_.begin());
}

Said HeardTape::place_of(std::size_t b) const
{
    return timed_ ? Said::same(recording_time_text(start_of(b))) : kPosition + std::to_string(positions_[b]);
}

Said HeardTape::at_place_of(std::size_t b) const
{
    return timed_ ? kAtTime + recording_time_text(start_of(b)) : kAtPositionText + std::to_string(positions_[b]);
}

Said HeardTape::span_of(std::size_t first, std::size_t last) const
{
    if (!timed_) return kFromPositions + std::to_string(positions_[first]) + kTo + std::to_string(positions_[last]);
    return kFrom + recording_time_text(start_of(first)) + kTo + recording_time_text(end_of(last));
}

}  // namespace morlevix
