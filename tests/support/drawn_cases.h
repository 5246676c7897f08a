// What the drawn cases of the properties share: numbers drawn from a seed,
// a take decoded as `decode` does, and takes merged as `decode --merge`
// does, with whether either says status 0 and the image it writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "recordings.h"
#include "signal_decoder.h"
#include "tape/account/take_merger.h"
#include "tape/reading/recording_converter.h"

namespace morlevix::testing {

inline std::size_t count_between(std::mt19937& generator, std::size_t low, std::size_t high)
{
    return low + generator() % (high - low + 1);
}

inline double between(std::mt19937& generator, double low, double high)
{
    return low + (high - low) * std::uniform_real_distribution<double>(0, 1)(generator);
}

inline Bytes random_bytes(std::mt19937& generator, std::size_t count)
{
    Bytes bytes(count);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(generator());
    return bytes;
}

// What decks and recorders do to a stretch of a take.
enum class Damage { dropout, burst, splice };

// `take` with one damage `seconds` long from `at`, said in `what`; a burst's
// level and noise are drawn here.
inline Recording with_damage(Recording take, Damage kind, double at, double seconds, std::mt19937& generator,
                             std::ostream& what)
{
    switch (kind) {
    case Damage::dropout: what << "dropout "; take = with_dropout(std::move(take), at, at + seconds); break;
    case Damage::burst:
        what << "burst ";
        take = with_noise_burst(std::move(take), at, at + seconds, between(generator, 0.0, 10.0), generator());
        break;
    case Damage::splice: what << "splice "; take = spliced(std::move(take), at, at + seconds); break;
    }
    what << at << "+" << seconds;
    return take;
}

inline DecodedRecording decoded_take(const Recording& take)
{
    const Bytes wav = wav_file({take});
    std::istringstream in(std::string(wav.begin(), wav.end()));
    return decode_recording(in);
}

// What decode says of its takes: status 0 or not, and the blocks of the
// image it writes. One take is decoded; several are merged.
struct DecodeOutcome {
    bool status_zero = false;
    std::vector<Bytes> image;
};
inline DecodeOutcome outcome_of(const std::vector<DecodedRecording>& takes)
{
    if (takes.size() == 1) return {takes[0].sound(), image_blocks(tape_image_of(takes[0].blocks))};
    TakeSet set;
    bool every_take_read = true;
    for (const auto& take : takes) {
        every_take_read = every_take_read && take.error.empty() && !take.blocks.empty();
        set.add_decoded(take);
    }
    const MergedTape merged = set.merge();
    const MergeReport report = merge_report(merged, std::vector<std::string>(takes.size(), "P.wav"), "M.k7");
    return {every_take_read && report.problems.empty() && !merged.heard_blocks().empty(),
            image_blocks(tape_image_of(merged.heard_blocks()))};
}

}  // namespace morlevix::testing
