#include "real_tape_properties.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <sstream>
#include <utility>

#include "drawn_cases.h"
#include "signal_decoder.h"
#include "tape/reading/recording_converter.h"
#include "tape/account/take_merger.h"
#include "tape/encoder/tape_image_converter.h"
#include "tape_builder.h"

namespace morlevix::testing {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = 44100;
// The other writer's tones, its level, its pauses.
constexpr double kOtherZeroHz = 1200, kOtherOneHz = 2400;
constexpr double kOtherLevel = 0.7;
constexpr std::uint8_t kLeader = 0x55;
// Light degradation: hiss this far down, a tape this much fast or slow, a
// level this far down at most.
constexpr double kLightHiss = 30;
constexpr double kLightSpeed = 0.03;
constexpr double kLightestLevel = -20;
// Other takes run up to this much fast or slow, start up to this late.
constexpr double kOtherTakeSpeed = 0.06;
constexpr double kLatestStart = 1.0;
// A stop inside a leader comes this far into it at the least (and this far
// before its end); one in a silence this far from its edges.
constexpr double kIntoLeader = 0.1;
constexpr double kBeforeLeaderEnd = 0.05;
constexpr double kSilenceEdge = 0.03;
constexpr double kShortestSilence = 0.1;

void put_word(Bytes& bytes, std::uint16_t word)
{
    bytes.push_back(static_cast<std::uint8_t>(word >> 8));
    bytes.push_back(static_cast<std::uint8_t>(word & 0xFF));
}

// One file as the family's machines and tools write them.
Bytes drawn_file(std::mt19937& generator, int index, std::string& said)
{
    static const std::uint8_t kTypes[] = {0x00, 0x02, 0x01};  // BASIC, machine code, data
    const std::uint8_t type = kTypes[generator() % 3];
    const Bytes content = random_bytes(generator, count_between(generator, 1, 1200));
    const std::uint16_t load = type == 0x00 ? (generator() % 2 ? 0x4346 : 0x3346) : static_cast<std::uint16_t>(generator());
    std::uint16_t first = 0, second = 0;
    switch (generator() % 4) {
    case 0: second = static_cast<std::uint16_t>(content.size()); break;  // the machine's own: the length
    case 1: first = second = load; break;                                 // a tool's: the load address twice
    case 2: break;                                                         // zeros
    default:                                                              // leftovers
        first = static_cast<std::uint16_t>(generator());
        second = static_cast<std::uint16_t>(generator());
    }
    const std::uint8_t gap_flag = type == 0x01 || generator() % 4 == 0 ? 0xFF : 0x00;
    Bytes header;
    std::string name = "F" + std::to_string(index);
    name.resize(8, ' ');
    header.insert(header.end(), name.begin(), name.end());
    header.push_back(type);
    header.push_back(type == 0x01 ? 0xFF : 0x00);
    header.push_back(gap_flag);
    put_word(header, first);
    put_word(header, second);
    Bytes file = tape_block(0x00, header);
    // Blocks of 255 as the machine cuts them, or of any length, varying.
    const bool varied = generator() % 2 == 0;
    for (std::size_t at = 0; at < content.size();) {
        const std::size_t length = std::min(content.size() - at, varied ? count_between(generator, 1, 255) : std::size_t{255});
        const Bytes block = data_block(Bytes(content.begin() + static_cast<std::ptrdiff_t>(at),
                                             content.begin() + static_cast<std::ptrdiff_t>(at + length)));
        file.insert(file.end(), block.begin(), block.end());
        at += length;
    }
    const Bytes end = end_of_file_block();
    file.insert(file.end(), end.begin(), end.end());
    std::ostringstream what;
    what << "file " << index << " type " << int{type} << " gap " << int{gap_flag} << " " << content.size() << " bytes"
         << (varied ? " varied" : "") << " addresses " << first << "/" << second;
    said += (said.empty() ? "" : ", ") + what.str();
    return file;
}

// The writer's samples, and where its silences, leaders and blocks lie.
struct Written {
    Recording recording;
    std::vector<SignalSegment> layout;
};

// Our own encoder's.
Written ours(const Bytes& image)
{
    std::istringstream tape(std::string(image.begin(), image.end()));
    return {recording_of(image), signal_layout(tape)};
}

// The other writer's, as recording_by_other_writer says; or with longer
// pauses and leaders, and a leader before every block, as some writers do.
class OtherWriter {
public:
    explicit OtherWriter(const OtherWriterStyle& style = {}) : style_(style) {}
    Written write(const Bytes& image)
    {
        const std::vector<Bytes> blocks = image_blocks(image);
        std::uint8_t gap_flag = 0;
        bool after_header = false;
        int file = -1;
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            const Bytes& block = blocks[b];
            const bool header = block[1] == 0x00;
            if (header) {
                gap_flag = block.size() > 13 ? block[13] : 0;
                ++file;
            }
            const bool pause = header || after_header || (b > 0 && blocks[b - 1][1] == 0xFF);
            if (pause || gap_flag == 0xFF) segment(SignalSegment::silence, block[1], file, [&] { silence(style_.pause); });
            if (pause || gap_flag == 0xFF || style_.leader_before_every_block)
                segment(SignalSegment::leader, block[1], file, [&] {
                    for (int i = 0; i < style_.leader_bytes; ++i) byte(kLeader);
                });
            segment(SignalSegment::block, block[1], file, [&] {
                byte(kLeader);
                for (const auto value : block) byte(value);
                if (b + 1 < blocks.size()) byte(kLeader);  // none after the tape's last block
            });
            after_header = header;
        }
        segment(SignalSegment::silence, 0, file, [&] { silence(style_.pause); });
        return std::move(written_);
    }

private:
    template <typename Write>
    void segment(SignalSegment::Kind kind, std::uint8_t type, int file, Write write)
    {
        const std::size_t start = written_.recording.samples.size();
        write();
        written_.layout.push_back({kind, start, written_.recording.samples.size() - start, type, file});
    }
    void silence(double seconds) { written_.recording.samples.resize(written_.recording.samples.size() + static_cast<std::size_t>(seconds * kRate), 0.0); }
    void byte(std::uint8_t value)
    {
        for (int bit = 0; bit < 8; ++bit) cycle((value >> bit & 1) != 0 ? kOtherOneHz : kOtherZeroHz);
    }
    // One cycle of a sine, its phase carried on from the one before.
    void cycle(double hertz)
    {
        const double end = std::floor(phase_) + 1;
        for (; phase_ < end; phase_ += hertz / kRate) written_.recording.samples.push_back(kOtherLevel * std::sin(2 * kPi * phase_));
    }

    OtherWriterStyle style_;
    Written written_;
    double phase_ = 0;
};

// Where a take was stopped, in its clean recording's samples, and what
// lay there.
struct Stop {
    enum Place { none, between_files, leader, block, inside_file } place = none;
    double at = std::numeric_limits<double>::infinity();  // seconds in the clean recording
    std::size_t files_before = 0;                          // whole files heard, where between files
};

// A place to stop the writer's recording, drawn among its silences,
// leaders and blocks.
Stop drawn_stop(std::mt19937& generator, const std::vector<SignalSegment>& layout, std::string& said)
{
    Stop stop;
    if (generator() % 5 < 2) return stop;
    std::vector<std::pair<double, double>> candidates;
    std::vector<Stop> places;
    std::size_t ended_files = 0;
    bool after_end = false;
    const double marker = 216 / kRate;
    for (const auto& s : layout) {
        const double start = static_cast<double>(s.start) / kRate, length = static_cast<double>(s.samples) / kRate;
        Stop place;
        if (s.kind == SignalSegment::silence && length >= kShortestSilence) {
            place.place = after_end ? Stop::between_files : Stop::inside_file;
            place.files_before = ended_files;
            candidates.push_back({start + kSilenceEdge, start + length - kSilenceEdge});
            places.push_back(place);
        } else if (s.kind == SignalSegment::leader) {
            place.place = Stop::leader;
            candidates.push_back({start + kIntoLeader, start + length - kBeforeLeaderEnd});
            places.push_back(place);
        } else if (s.kind == SignalSegment::block) {
            // Inside the block's own bytes, its markers left out.
            place.place = Stop::block;
            candidates.push_back({start + 2 * marker, start + length - 2 * marker});
            places.push_back(place);
        }
        if (s.kind == SignalSegment::block) {
            after_end = s.block_type == 0xFF;
            ended_files += after_end ? 1 : 0;
        } else if (s.kind == SignalSegment::leader) {
            after_end = false;
        }
    }
    // Never before the first block: a recording of nothing says nothing.
    const std::size_t first = 2;
    if (candidates.size() <= first) return stop;
    const std::size_t c = count_between(generator, first, candidates.size() - 1);
    stop = places[c];
    stop.at = between(generator, candidates[c].first, candidates[c].second);
    static const char* const kPlaces[] = {"none", "between files", "in a leader", "in a block", "inside a file"};
    std::ostringstream what;
    what << " stopped at " << stop.at << " (" << kPlaces[stop.place] << ")";
    said += what.str();
    return stop;
}

struct DrawnTake {
    Recording recording;
    bool light = true;
    Stop stop;
    // Blocks a splice cut out whole, both its ends outside any block: the
    // tape's timeline closes over them, and nothing says they were there
    // (but a BASIC header's length, a note).
    std::vector<std::size_t> cut_cleanly;
};

// Damage as decks and recorders do it: dropouts, bursts of noise, splices;
// drawn on the written recording's own time, and done from the latest
// back, so that each lands where it was drawn.
Recording damaged(Recording take, const std::vector<SignalSegment>& layout, std::mt19937& generator, DrawnTake& drawn,
                  std::string& said)
{
    struct Planned {
        Damage kind;
        double at, seconds;
    };
    std::vector<Planned> damages(count_between(generator, 1, 3));
    const double length = static_cast<double>(take.samples.size()) / take.rate;
    for (auto& d : damages) {
        d.at = between(generator, 0.0, length);
        d.kind = static_cast<Damage>(generator() % 3);
        d.seconds = d.kind == Damage::splice ? between(generator, 10.0, 300.0) / 1000 : between(generator, 3.0, 200.0) / 1000;
    }
    std::sort(damages.begin(), damages.end(), [](const Planned& a, const Planned& b) { return a.at > b.at; });
    for (const auto& d : damages) {
        std::ostringstream what;
        what.precision(3);
        what << " ";
        take = with_damage(std::move(take), d.kind, d.at, d.seconds, generator, what);
        const auto inside_a_block = [&](double t) {
            return std::any_of(layout.begin(), layout.end(), [&](const SignalSegment& s) {
                return s.kind == SignalSegment::block && t * kRate > static_cast<double>(s.start) &&
                       t * kRate < static_cast<double>(s.start + s.samples);
            });
        };
        // A splice with both ends outside any block cuts out whole the
        // blocks between them.
        if (d.kind == Damage::splice && !inside_a_block(d.at) && !inside_a_block(d.at + d.seconds)) {
            std::size_t block = 0;
            for (const auto& s : layout) {
                if (s.kind != SignalSegment::block) continue;
                if (static_cast<double>(s.start) >= d.at * kRate && static_cast<double>(s.start + s.samples) <= (d.at + d.seconds) * kRate) {
                    drawn.cut_cleanly.push_back(block);
                    what << " (cut block " << block << " cleanly)";
                }
                ++block;
            }
        }
        said += what.str();
    }
    return take;
}

struct Drawn {
    Bytes image;
    std::vector<DrawnTake> takes;
    std::string said;
};

Drawn drawn(std::uint32_t seed, int takes)
{
    std::mt19937 generator(seed);
    Drawn result;
    const std::size_t files = count_between(generator, 1, 3);
    for (std::size_t f = 0; f < files; ++f) {
        const Bytes file = drawn_file(generator, static_cast<int>(f), result.said);
        result.image.insert(result.image.end(), file.begin(), file.end());
    }
    const bool other_writer = generator() % 3 == 0;
    // Pauses and leaders as long as ours, or as long as castool's.
    OtherWriterStyle style;
    if (generator() % 2 == 0) style = {1.0, 512, true};
    result.said += other_writer ? "; the other writer, pauses of " + std::to_string(style.pause) + " s" : "; our encoder";
    OtherWriter other(style);
    const Written written = other_writer ? other.write(result.image) : ours(result.image);
    for (int t = 0; t < takes; ++t) {
        DrawnTake take;
        result.said += "; take " + std::to_string(t + 1) + ":";
        take.stop = drawn_stop(generator, written.layout, result.said);
        take.recording = take.stop.place == Stop::none ? written.recording : stopped_at(written.recording, take.stop.at);
        const unsigned condition = generator() % 3;  // clean, light, damaged
        if (condition == 2) {
            take.light = false;
            take.recording = damaged(std::move(take.recording), written.layout, generator, take, result.said);
        }
        if (t > 0 || condition > 0) {
            const double speed = 1 + between(generator, -kLightSpeed, kLightSpeed) * (t > 0 ? kOtherTakeSpeed / kLightSpeed : 1);
            take.recording = with_gain(played(take.recording, kRate, speed), between(generator, kLightestLevel, 0));
            if (t > 0)
                take.recording.samples.insert(take.recording.samples.begin(),
                                              static_cast<std::size_t>(between(generator, 0.0, kLatestStart) * kRate), 0.0);
            result.said += " speed " + std::to_string(speed);
        }
        if (condition > 0) take.recording = with_hiss(std::move(take.recording), kLightHiss, generator());
        result.said += condition == 0 ? " clean" : condition == 1 ? " light" : "";
        result.takes.push_back(std::move(take));
    }
    return result;
}

// The tape's blocks of its first `files` files.
std::vector<Bytes> first_files(const std::vector<Bytes>& tape, std::size_t files)
{
    std::vector<Bytes> kept;
    std::size_t ended = 0;
    for (const auto& block : tape) {
        if (ended == files) break;
        kept.push_back(block);
        ended += block[1] == 0xFF ? 1 : 0;
    }
    return kept;
}

}  // namespace

Recording recording_by_other_writer(const Bytes& image, const OtherWriterStyle& style)
{
    return OtherWriter(style).write(image).recording;
}

RealTapeCase drawn_real_tape_case(std::uint32_t seed, int takes)
{
    Drawn d = drawn(seed, takes);
    RealTapeCase result{d.image, {}, {}, d.said};
    for (auto& take : d.takes) {
        result.takes.push_back(std::move(take.recording));
        result.light.push_back(take.light);
    }
    return result;
}

std::string broken_real_tape_property(std::uint32_t seed, int takes)
{
    const Drawn d = drawn(seed, takes);
    const std::vector<Bytes> tape = image_blocks(d.image);
    // The take that heard furthest along the tape says what the image may
    // be: the tape, or (stopped in the silence between two files) the
    // files before.
    const Stop* furthest = &d.takes.front().stop;
    bool all_light = true;
    for (const auto& take : d.takes) {
        if (take.stop.at > furthest->at) furthest = &take.stop;
        all_light = all_light && take.light;
    }
    // Blocks every take lost to a clean cut are not the image's to hold.
    std::vector<Bytes> uncut;
    for (std::size_t b = 0; b < tape.size(); ++b)
        if (!std::all_of(d.takes.begin(), d.takes.end(), [&](const DrawnTake& take) {
                return std::find(take.cut_cleanly.begin(), take.cut_cleanly.end(), b) != take.cut_cleanly.end();
            }))
            uncut.push_back(tape[b]);
    const std::vector<Bytes> expected = furthest->place == Stop::none            ? uncut
                                        : furthest->place == Stop::between_files ? first_files(uncut, furthest->files_before)
                                                                                 : std::vector<Bytes>{};
    const bool may_be_whole = furthest->place == Stop::none || furthest->place == Stop::between_files;

    std::vector<DecodedRecording> decoded;
    for (const auto& take : d.takes) decoded.push_back(decoded_take(take.recording));
    const DecodeOutcome outcome = outcome_of(decoded);
    const bool status_zero = outcome.status_zero;
    const std::vector<Bytes>& image = outcome.image;
    const std::string where = "seed " + std::to_string(seed) + " (" + d.said + ")";
    if (status_zero && (!may_be_whole || image != expected)) return where + ": status 0, but the image is not the tape";
    if (all_light && may_be_whole && !status_zero) return where + ": every block survives, yet the status is not 0";
    return "";
}

}  // namespace morlevix::testing
