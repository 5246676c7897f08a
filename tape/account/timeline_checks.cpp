#include "timeline_checks.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "tape/catalog/tape_catalog.h"
#include "tape/encoder/cassette_encoder.h"

namespace morlevix {
namespace {

// Samples, at the nominal speed, between the end of a data block and the
// start of the next of a file without gaps: its closing marker, the
// silence, the next one's marker. And what a gap and a leader add.
const double kPlainPause = 2 * average_byte_samples() + static_cast<double>(kSilenceAfterBlock);
const double kGapPause = static_cast<double>(kGapSamples) + static_cast<double>(kLeaderLength) * average_byte_samples();
// A pause this much longer than it should be (at the nominal speed, in
// seconds) held something: the shortest block, with its own pause, lasts
// longer than half as much again.
constexpr double kLongerPause = 0.020;
// A leader ends at its block's marker byte: a block that starts later
// than this after the leader's end (seconds) is not that leader's.
constexpr double kAfterLeader = 0.020;
// Damage at a leader's end (noise, a dropout) takes at most this long
// (seconds): more, with no signal heard there, held a block.
constexpr double kDamagedLeaderEnd = 0.25;
// Pauses learned from the recording itself once it has this many (a
// machine's own, rather than our WAVs').
constexpr std::size_t kPausesToLearn = 3;
// A block of the largest payload, to count the blocks a stretch could hold.
constexpr std::size_t kFullBlockBytes = kMaxBlockSize;

constexpr Text kBlocksLost{" blocs perdus", " blocks lost"};
constexpr Text kOneBlockLost{"un bloc perdu", "one block lost"};
constexpr Text kBetween{" entre ", " between "};
constexpr Text kAnd{" et ", " and "};
constexpr Text kSignalNoBlock{" (signal de cassette entendu, aucun bloc lu)", " (tape signal heard, no block read)"};
constexpr Text kSilenceNoSignal{" (silence ou bruit, aucun signal de cassette)", " (silence or noise, no tape signal)"};
constexpr Text kStopsInLeader{"l'enregistrement s'arrete dans l'amorce d'un fichier, a ",
                              "the recording stops inside a file's leader, at "};
constexpr Text kStopsInLeaderEnd{" : le magnetophone s'est arrete alors qu'un fichier venait, ce fichier manque",
                                 ": the recorder stopped while a file was coming, that file is missing"};
constexpr Text kLeaderWithoutBlock{"amorce sans bloc apres elle, de ", "leader with no block after it, from "};
constexpr Text kLeaderWithoutBlockEnd{" : un fichier, ou son en-tete, perdu", ": a file, or its header, lost"};

}  // namespace

Said lost_blocks_text(std::size_t count)
{
    return count > 1 ? std::to_string(count) + Said(kBlocksLost) : Said(kOneBlockLost);
}

TimelineChecks::TimelineChecks(const HeardTape& tape, const TapeFiles& files) : tape_(tape) { learn_pauses(files); }

void TimelineChecks::learn_pauses(const TapeFiles& tape_files)
{
    // The pauses between data blocks of files without gaps, at the nominal
    // speed: the shortest is what the machine that wrote the tape leaves.
    // (Where a leader comes between, the writer gives each block a leader
    // of its own: that pause is a led one.)
    std::vector<double> pauses, after_headers;
    for (const auto& file : tape_files.files) {
        const auto& header = tape_.block(file.header).block;
        if (header.at(kGapFlagOffset) == kGapBeforeEveryBlock) continue;
        for (std::size_t i = 1; i < file.members.size(); ++i) {
            const std::size_t a = file.members[i - 1], b = file.members[i];
            if (!leader_between(tape_.end_of(a), tape_.start_of(b))) pauses.push_back((tape_.start_of(b) - tape_.end_of(a)) * speed_of(tape_.block(b)));
        }
    }
    if (pauses.size() >= kPausesToLearn) plain_pause_ = std::max(0.0, *std::min_element(pauses.begin(), pauses.end()));
    // The silences before the leader after a header, or after an end block
    // (before the next header's): the motor's pause, which writers make
    // anything from none to many seconds long. The shortest is the writer's.
    for (std::size_t b = 1; b < tape_.blocks().size(); ++b) {
        if (!is_header(tape_.block(b - 1)) && !is_end(tape_.block(b - 1))) continue;
        const HeardStretch* leader = answering_leader(tape_.end_of(b - 1), b);
        if (leader && !leader_between(tape_.end_of(b - 1), leader->start))
            after_headers.push_back((leader->start - tape_.end_of(b - 1)) * speed_of(tape_.block(b)));
    }
    if (after_headers.size() >= kPausesToLearn)
        header_gap_ = std::max(0.0, *std::min_element(after_headers.begin(), after_headers.end()));
}

const HeardStretch* TimelineChecks::answering_leader(double start, std::size_t b) const
{
    const HeardStretch* last = nullptr;
    for (const auto& stretch : tape_.stretches())
        if (stretch.leader && stretch.end > start && stretch.start < tape_.start_of(b)) last = &stretch;
    return last && tape_.start_of(b) - last->end <= kAfterLeader / speed_of(tape_.block(b)) ? last : nullptr;
}

void TimelineChecks::check_file(const FileBlocks& file, const Said& name, TapeAccount& account)
{
    file_ = &file;
    const HeardBlock& header = tape_.block(file.header);
    // A header heard wrong may have its gap flag wrong: a leader heard
    // before a block then says it has its gap.
    const bool gaps = header.block.at(kGapFlagOffset) == kGapBeforeEveryBlock;
    const bool flag_known = header.sound();
    std::size_t before = file.header;
    for (const std::size_t b : file.members) {
        const bool after_header = before == file.header;
        const bool led = after_header || gaps || (!flag_known && leader_between(tape_.end_of(before), tape_.start_of(b)));
        // After a header heard wrong, as many gaps and leaders as the
        // format ever puts there.
        check_between(before, b, led, after_header && (gaps || !flag_known) ? 2 : 1, name, account);
        before = b;
    }
}

bool TimelineChecks::check_between(std::size_t before, std::size_t after, bool leader_led, std::size_t leaders_expected,
                                   const Said& name, TapeAccount& account)
{
    const double speed = speed_of(tape_.block(after));
    const double start = tape_.end_of(before), end = tape_.start_of(after);
    const double longer = kLongerPause / speed;
    // A leader that gives way to the block is the block's own, whatever the
    // gap flag says: some writers put one before every block.
    const HeardStretch* answering = answering_leader(start, after);
    if (answering && !leader_led) {
        leader_led = true;
        leaders_expected = 1;
    }
    if (!leader_led) {
        const double usual = (plain_pause_ >= 0 ? plain_pause_ : kPlainPause / kSampleRate) / speed;
        if (end - start <= usual + longer) return true;
        lose(start, end, blocks_in(end - start - usual, speed), signal_between(start, end), name, account);
        return false;
    }
    // A gap and a leader (two after the header of a file whose every block
    // has them) come before the block: room for another gap, leader and
    // block held one that was lost. A writer's own longer pause after a
    // header, learned from the recording, and a longer leader that gives
    // way to the block, are the writer's, not a block's.
    const double gap_and_leader = kGapPause / kSampleRate / speed;
    const double leader = static_cast<double>(kLeaderLength) * average_byte_samples() / kSampleRate / speed;
    const bool after_header = is_header(tape_.block(before));
    const double gap = std::max(static_cast<double>(kGapSamples) / kSampleRate, after_header ? header_gap_ : 0.0) / speed;
    const double longer_leader = answering ? std::max(0.0, answering->end - answering->start - leader) : 0.0;
    const double expected =
        static_cast<double>(leaders_expected) * (gap + leader) + kPlainPause / kSampleRate / speed + longer_leader;
    if (end - start > expected + gap_and_leader / 2) {
        lose(start, end, blocks_in(end - start - expected, speed, gap_and_leader), signal_between(start, end), name, account);
        return false;
    }
    // The leader heard last ends where its block starts. Where it ends
    // before, a block lost between them shows as tape signal that no block
    // covers, or as more time than damage at a leader's end takes.
    // (Through a room's echoes a leader is heard on into its block.)
    if (answering) return true;
    const HeardStretch* last = nullptr;
    for (const auto& stretch : tape_.stretches())
        if (stretch.leader && stretch.end > start && stretch.start < end) last = &stretch;
    if (!last) return true;  // no leader heard: the time was all there was to tell
    const double since_leader = end - last->end;
    // A leader that gave way to a block's signal there, with no block
    // heard, lost that block.
    const bool signal = last->into_signal || signal_between(last->end, end);
    if (!signal && since_leader <= kDamagedLeaderEnd / speed) return true;
    lose(last->end, end, blocks_in(since_leader, speed), signal, name, account);
    return false;
}

void TimelineChecks::check_leaders(const TapeFiles& tape_files, TapeAccount& account) const
{
    // The spans the files cover, header to end block (or to the next
    // header, or on to the end, for a file that did not end).
    std::vector<std::pair<double, double>> spans;
    const auto& files = tape_files.files;
    for (std::size_t f = 0; f < files.size(); ++f) {
        const FileBlocks& file = files[f];
        const double end = file.ended            ? tape_.end_of(file.members.back())
                           : f + 1 < files.size() ? tape_.start_of(files[f + 1].header)
                                                  : HUGE_VAL;
        spans.emplace_back(tape_.start_of(file.header), end);
    }
    for (const auto& stretch : tape_.stretches()) {
        if (!stretch.leader) continue;
        const bool in_file = std::any_of(spans.begin(), spans.end(), [&](const auto& s) {
            return stretch.end > s.first && stretch.start < s.second;
        });
        if (in_file) continue;
        // A leader inside a block (a broken block's rest, bytes 0x55) is
        // that block's. Else the next block is the leader's own where it
        // starts at the leader's end (or inside it, heard on through echoes).
        const std::size_t count = tape_.blocks_starting_before(stretch.start);
        if (count > 0 && tape_.latest_end(count) > stretch.start) continue;
        // After a block that belongs to no file (a header's broken start,
        // among them), that block's problem says what was lost there.
        if (count > 0 && !is_end(tape_.block(count - 1))) continue;
        const HeardBlock* next = count < tape_.blocks().size() ? &tape_.block(count) : nullptr;
        const double speed = next ? speed_of(*next) : 1.0;
        if (next && next->seconds <= stretch.end + kDamagedLeaderEnd / speed) continue;
        if (next && !is_header(*next)) continue;  // said as blocks with no header
        const bool at_end = tape_.seconds() - stretch.end <= kDamagedLeaderEnd;
        if (at_end && tape_.still_coming()) continue;  // its block is still to come
        const double end = at_end ? tape_.seconds() : stretch.end;
        account.lost.push_back({stretch.start, end, 1, true, true});
        add_problem(account, AccountProblem::leader_without_block, stretch.start,
                at_end ? kStopsInLeader + recording_time_text(stretch.start) + kRecordingEnds +
                             (recording_time_text(tape_.seconds()) + kStopsInLeaderEnd)
                       : kLeaderWithoutBlock + recording_time_text(stretch.start) + kTo + recording_time_text(stretch.end) +
                             kLeaderWithoutBlockEnd);
    }
    std::stable_sort(account.lost.begin(), account.lost.end(),
                     [](const LostStretch& a, const LostStretch& b) { return a.start < b.start; });
}

// Tape signal that no block covers, leaders aside: among the blocks that
// start before a stretch ends (they are in the order of their times), the
// latest end reaches into it.
void TimelineChecks::find_unread(TapeAccount& account) const
{
    for (const auto& stretch : tape_.stretches()) {
        if (stretch.leader) continue;
        const std::size_t count = tape_.blocks_starting_before(stretch.end + kAfterLeader);
        const bool covered = count > 0 && tape_.latest_end(count) + kAfterLeader > stretch.start;
        if (!covered) account.unread.push_back(stretch);
    }
}

std::size_t TimelineChecks::blocks_in(double excess, double speed, double between) const
{
    // A full block of average bytes, or the file's longest heard if longer
    // (a file of zeros has long blocks). With its pause.
    double longest = static_cast<double>(kFullBlockBytes) * average_byte_samples() / kSampleRate / speed;
    for (const std::size_t b : file_->members)
        if (!is_end(tape_.block(b))) longest = std::max(longest, tape_.duration(b));
    const double one = longest + (between >= 0 ? between : kPlainPause / kSampleRate / speed);
    return std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(excess / one)));
}

bool TimelineChecks::leader_between(double start, double end) const
{
    return std::any_of(tape_.stretches().begin(), tape_.stretches().end(),
                       [&](const HeardStretch& s) { return s.leader && s.end > start && s.start < end; });
}

bool TimelineChecks::signal_between(double start, double end) const
{
    return std::any_of(tape_.stretches().begin(), tape_.stretches().end(), [&](const HeardStretch& s) {
        return !s.leader && s.end > start + kAfterLeader && s.start < end - kAfterLeader;
    });
}

void TimelineChecks::lose(double start, double end, std::size_t count, bool signal, const Said& name,
                          TapeAccount& account) const
{
    account.lost.push_back({start, end, count, signal});
    add_problem(account, AccountProblem::lost_blocks, start,
            name + lost_blocks_text(count) + kBetween + recording_time_text(start) + kAnd + recording_time_text(end) +
                (signal ? kSignalNoBlock : kSilenceNoSignal));
}

}  // namespace morlevix
