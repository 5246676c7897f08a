#include "damage_properties.h"

#include <algorithm>
#include <random>
#include <sstream>
#include <utility>
#include <vector>

#include "drawn_cases.h"
#include "recordings.h"
#include "signal_decoder.h"
#include "tape/reading/recording_converter.h"
#include "tape/account/take_merger.h"
#include "tape_builder.h"

namespace morlevix::testing {
namespace {

constexpr double kHissBelowSignal = 30;  // decibels: light hiss
constexpr double kFastest = 0.06;        // other takes run up to this much fast or slow
constexpr double kLatestStart = 1.0;     // seconds of silence before another take

// A tape of one file, several files, or a file with a gap and leader
// before every block.
Bytes drawn_tape(std::mt19937& generator)
{
    switch (generator() % 3) {
    case 0: return tape_file("UN", random_bytes(generator, count_between(generator, 100, 700)));
    case 1: {
        Bytes tape;
        const std::size_t files = count_between(generator, 2, 3);
        for (std::size_t f = 0; f < files; ++f) {
            const Bytes file = tape_file("F" + std::to_string(f), random_bytes(generator, count_between(generator, 20, 400)),
                                         generator() % 4 == 0 ? 0xFF : 0x00);
            tape.insert(tape.end(), file.begin(), file.end());
        }
        return tape;
    }
    default: return tape_file("ECARTS", random_bytes(generator, count_between(generator, 100, 600)), 0xFF);
    }
}

// One to three damages anywhere along a take; what they were, for the
// message.
Recording damaged(Recording take, std::mt19937& generator, std::string& told, bool& stopped)
{
    std::string said;
    stopped = false;
    const std::size_t damages = count_between(generator, 1, 3);
    for (std::size_t d = 0; d < damages; ++d) {
        const double length = static_cast<double>(take.samples.size()) / take.rate;
        const double at = between(generator, 0.0, length);
        const double ms = between(generator, 3.0, 200.0) / 1000;
        std::ostringstream what;
        what.precision(3);
        switch (generator() % 7) {
        case 0:
        case 1: take = with_damage(std::move(take), Damage::dropout, at, ms, generator, what); break;
        case 2:
        case 3: take = with_damage(std::move(take), Damage::burst, at, ms, generator, what); break;
        case 4:
        case 5: {
            const double cut = between(generator, 10.0, 300.0) / 1000;
            take = with_damage(std::move(take), Damage::splice, at, cut, generator, what);
            break;
        }
        default:
            take = stopped_at(std::move(take), at);
            stopped = true;
            what << "stopped " << at;
            break;
        }
        said += (said.empty() ? "" : ", ") + what.str();
    }
    told += said;
    return take;
}

// The image is the tape; or, when every take was stopped early, its files
// up to one whole, the rest never heard at all (no recording can tell
// that another file followed).
bool is_the_tape(const std::vector<Bytes>& image, const std::vector<Bytes>& tape, bool stopped)
{
    if (image == tape) return true;
    if (!stopped || image.empty() || image.size() > tape.size()) return false;
    const bool next_is_a_header = image.size() == tape.size() || tape[image.size()][1] == 0x00;
    return next_is_a_header && std::equal(image.begin(), image.end(), tape.begin());
}

// Marks the tape's blocks that `heard` holds sound, in order.
void mark_sound(const std::vector<Bytes>& tape, const std::vector<HeardBlock>& heard, std::vector<bool>& sound)
{
    std::size_t next = 0;
    for (const auto& h : heard) {
        if (!h.sound()) continue;
        const Bytes bytes(h.block.bytes.begin(), h.block.bytes.begin() + static_cast<std::ptrdiff_t>(h.block.length));
        const auto found = std::find(tape.begin() + static_cast<std::ptrdiff_t>(next), tape.end(), bytes);
        if (found == tape.end()) continue;
        next = static_cast<std::size_t>(found - tape.begin());
        sound[next++] = true;
    }
}

}  // namespace

DamageCase drawn_damage_case(std::uint32_t seed, int takes)
{
    std::mt19937 generator(seed);
    DamageCase drawn;
    drawn.image = drawn_tape(generator);
    const Recording clean = recording_of(drawn.image);
    for (int t = 0; t < takes; ++t) {
        Recording take = clean;
        if (t > 0) {
            take = played(take, clean.rate, 1 + between(generator, -kFastest, kFastest));
            take.samples.insert(take.samples.begin(), static_cast<std::size_t>(between(generator, 0.0, kLatestStart) * take.rate), 0.0);
        }
        drawn.said += (t > 0 ? "; take " : "take ") + std::to_string(t + 1) + ": ";
        bool stopped = false;
        take = damaged(std::move(take), generator, drawn.said, stopped);
        drawn.takes.push_back(with_hiss(std::move(take), kHissBelowSignal, generator()));
        drawn.stopped.push_back(stopped);
    }
    return drawn;
}

std::string broken_damage_property(std::uint32_t seed, int takes)
{
    const DamageCase drawn = drawn_damage_case(seed, takes);
    const std::vector<Bytes> tape = image_blocks(drawn.image);
    std::vector<DecodedRecording> decoded;
    std::vector<bool> sound(tape.size(), false);
    for (const auto& take : drawn.takes) {
        decoded.push_back(decoded_take(take));
        mark_sound(tape, decoded.back().blocks, sound);
    }
    const std::string where = "seed " + std::to_string(seed) + " (" + drawn.said + ")";
    // Every take stopped early: the files after the stop are not the image's.
    const bool stopped = std::all_of(drawn.stopped.begin(), drawn.stopped.end(), [](bool s) { return s; });
    const DecodeOutcome outcome = outcome_of(decoded);
    if (outcome.status_zero && !is_the_tape(outcome.image, tape, stopped))
        return where + (takes == 1 ? ": status 0" : ": merge status 0") + ", but the image is not the tape";
    const bool every_take_read =
        std::all_of(decoded.begin(), decoded.end(), [](const DecodedRecording& d) { return d.error.empty() && !d.blocks.empty(); });
    if (takes > 1 && every_take_read && std::all_of(sound.begin(), sound.end(), [](bool s) { return s; }) && !outcome.status_zero)
        return where + ": every block whole in some take, yet the merge is not the tape with status 0";
    return "";
}

}  // namespace morlevix::testing
