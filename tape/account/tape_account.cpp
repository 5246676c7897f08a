#include "tape_account.h"

#include <algorithm>
#include <cmath>

#include "tape/encoder/cassette_encoder.h"
#include "tape/catalog/tape_catalog.h"

namespace morlevix {
namespace {

// The ASCII flag of a program saved tokenized (its header may then give its length).
constexpr std::uint8_t kTokenizedProgram = 0x00;
// Where a stretch's line starts, under a block line's time.
constexpr char kStretchIndent[] = "                                      ";
// A speed figure below this is no tape's: it stands for "not measured".
constexpr double kSlowestPlausibleSpeed = 0.1;
// What an average byte lasts (a marker byte's four short and four long
// cycles), in samples at the nominal speed.
const double kAverageByte = static_cast<double>(byte_sample_count(kMarkerByte));
// Samples, at the nominal speed, between the end of a data block and the
// start of the next of a file without gaps: its closing marker, the
// silence, the next one's marker. And what a gap and a leader add.
const double kPlainPause = 2 * kAverageByte + static_cast<double>(kSilenceAfterBlock);
const double kGapPause = static_cast<double>(kGapSamples) + static_cast<double>(kLeaderLength) * kAverageByte;
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
// Pauses between data blocks learned from the recording itself once it
// has this many (a machine's own, rather than our WAVs').
constexpr std::size_t kPausesToLearn = 3;
// A block heard wrong this much quieter than the tape's sound blocks (dB),
// outside every file, is noise.
constexpr double kNoiseBelowTape = 20;
// A block of the largest payload, to count the blocks a stretch could hold.
constexpr std::size_t kFullBlockBytes = kMaxBlockSize;

double speed_of(const HeardBlock& heard) { return std::max(heard.figures.speed, kSlowestPlausibleSpeed); }

constexpr Text kAt{" a ", " at "};
constexpr Text kFrom{", de ", ", from "};
constexpr Text kTo{" a ", " to "};
constexpr Text kFromPositions{", des positions ", ", from positions "};
constexpr Text kPosition{"position ", "position "};
constexpr Text kAtPosition{"a la position ", "at position "};
constexpr Text kAtTime{"a ", "at "};
constexpr Text kBeforeAnyHeader{" avant le premier en-tete de fichier", " before the first file header"};
constexpr Text kWithoutHeader{" apres la fin d'un fichier, sans en-tete de fichier avant",
                              " after the end of a file, with no file header before them"};
constexpr Text kFile{"fichier ", "file "};
constexpr Text kHeaderBroken{"fichier a l'en-tete coupe (", "file whose header is cut ("};
constexpr Text kBasicProgramOf{"programme BASIC de ", "BASIC program of "};
constexpr Text kHeaderSays{", son en-tete en annonce ", ", its header says "};
constexpr Text kFieldFilledOtherwise{" (un champ que des outils et des machines de la famille remplissent autrement)",
                                     " (a field that tools and machines of the family fill otherwise)"};
constexpr Text kNoEndBeforeNext{"pas de bloc de fin avant l'en-tete suivant (", "no end block before the next header ("};
constexpr Text kLastHeardEnds{") ; le dernier bloc entendu finit a ", "); the last block heard ends at "};
constexpr Text kNoEndRecordingStops{
    "pas de bloc de fin : l'enregistrement s'arrete avant la fin du fichier (dernier bloc entendu a ",
    "no end block: the recording stops before the end of the file (last block heard at "};
constexpr Text kRecordingEnds{", fin de l'enregistrement a ", ", end of the recording at "};
constexpr Text kNoEndImageStops{"pas de bloc de fin : l'image s'arrete avant la fin du fichier",
                                "no end block: the image ends before the end of the file"};
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
constexpr Text kStretchFrom{"de ", "from "};
constexpr Text kStretchSignal{" (signal de cassette, aucun bloc lu)", " (tape signal, no block read)"};
constexpr Text kStretchSilence{" (silence ou bruit)", " (silence or noise)"};
constexpr Text kStretchFileLost{"un fichier perdu (son amorce seule entendue)", "a file lost (its leader alone heard)"};
constexpr Text kUnreadSignal{" : signal de cassette, aucun bloc lu", ": tape signal, no block read"};
constexpr Text kNoiseTakenForBlock{"bruit pris pour un bloc a ", "noise taken for a block at "};
constexpr Text kNoiseSetAside{", hors de tout fichier, ecarte (", ", outside every file, set aside ("};

Said lost_blocks_text(std::size_t count)
{
    return count > 1 ? std::to_string(count) + Said(kBlocksLost) : Said(kOneBlockLost);
}

// A header, even one the signal broke off inside before its length byte:
// the blocks after it are its file's, not blocks with no header.
bool is_header(const HeardBlock& heard)
{
    return heard.block.length > kBlockTypeOffset && heard.block.is_header();
}
bool is_data(const HeardBlock& heard)
{
    return heard.block.length > kBlockTypeOffset && heard.block.type() == kDataBlockType;
}
bool is_end(const HeardBlock& heard) { return heard.block.length > kBlockTypeOffset && heard.block.type() == kEndBlockType; }

// The blocks of one file: its header, and those after it up to its end
// block, the next header, or the end of the tape.
struct FileBlocks {
    std::size_t header;
    std::vector<std::size_t> members;  // data blocks, then the end block if heard
    bool ended = false;
};

class Accountant {
public:
    // A recording's blocks and stretches, in the order of their times.
    Accountant(const std::vector<HeardBlock>& blocks, const std::vector<HeardStretch>& stretches, double seconds,
               RecordingEnd end)
        : blocks_(blocks), stretches_(stretches), seconds_(seconds), timed_(true), still_coming_(end == RecordingEnd::still_coming)
    {
        // Each block's length in time, once: a block's bytes are summed
        // cycle by cycle.
        durations_.reserve(blocks.size());
        for (const auto& heard : blocks) durations_.push_back(heard_duration(heard));
        // Among the blocks up to each (in the order of their times), the
        // latest end.
        latest_end_.resize(blocks.size());
        for (std::size_t b = 0; b < blocks.size(); ++b)
            latest_end_[b] = std::max(b > 0 ? latest_end_[b - 1] : -1.0, blocks[b].seconds + durations_[b]);
    }
    // An image's blocks, at their positions: no timeline.
    Accountant(const std::vector<HeardBlock>& blocks, const std::vector<std::uint64_t>& positions)
        : blocks_(blocks), positions_(positions), stretches_(no_stretches_), durations_(blocks.size(), 0.0)
    {
    }

    TapeAccount run();

private:
    std::vector<FileBlocks> files_of_tape(std::vector<std::size_t>& before_any, std::vector<std::size_t>& without) const;
    void learn_pauses(const std::vector<FileBlocks>& files);
    void check_file(const FileBlocks& file, std::size_t next_header);
    void check_timeline(const FileBlocks& file, const Said& name);
    void check_size(const FileBlocks& file, const Said& name);
    bool check_between(std::size_t before, std::size_t after, bool leader_led, std::size_t leaders_expected,
                       const Said& name);
    void check_leaders(const std::vector<FileBlocks>& files);
    void find_unread();
    // How many blocks start before `seconds`.
    std::size_t blocks_starting_before(double seconds) const;
    void lose(double start, double end, std::size_t count, bool signal, const Said& name);
    bool signal_between(double start, double end) const;
    bool leader_between(double start, double end) const;
    // The leader heard last between `start` and block `b`, where it gives
    // way to that block; else null.
    const HeardStretch* answering_leader(double start, std::size_t b) const;
    double start_of(std::size_t b) const { return blocks_[b].seconds; }
    // Where a block ends. One heard wrong or broken off may have had its
    // length byte wrong: it is taken to last as long as a full block, so
    // that nothing after it is said lost that it covered.
    double end_of(std::size_t b) const
    {
        const HeardBlock& heard = blocks_[b];
        if (heard.sound() || heard.block.length <= kBlockLengthOffset) return heard.seconds + durations_[b];
        HeardBlock full = heard;
        full.complete = false;
        // A header's length is known: it is a header's whatever was heard.
        full.block.bytes[kBlockLengthOffset] =
            is_header(heard) ? static_cast<std::uint8_t>(kHeaderPayloadLength)
                             : std::max<std::uint8_t>(heard.block.bytes[kBlockLengthOffset], kMaxBlockPayload);
        full.block.length = std::min(full.block.length, kPayloadOffset);
        return heard.seconds + heard_duration(full);
    }
    // Where a block is on the tape, as the console says it: "2:41.3" in a
    // recording, "position 1234" in an image; and the span of the blocks
    // `first` to `last`, after what they are.
    Said place_of(std::size_t b) const
    {
        return timed_ ? Said::same(recording_time_text(start_of(b))) : kPosition + std::to_string(positions_[b]);
    }
    Said span_of(std::size_t first, std::size_t last) const
    {
        if (!timed_) return kFromPositions + std::to_string(positions_[first]) + kTo + std::to_string(positions_[last]);
        return kFrom + recording_time_text(start_of(first)) + kTo + recording_time_text(end_of(last));
    }
    // The blocks `excess` seconds could hold, each with `between` seconds
    // before it (by default the pause between data blocks).
    std::size_t blocks_in(double excess, double speed, const FileBlocks& file, double between = -1) const;
    void problem(AccountProblem::Kind kind, double seconds, const Said& text)
    {
        account_.problems.push_back({kind, seconds, text});
    }

    static inline const std::vector<HeardStretch> no_stretches_{};
    const std::vector<HeardBlock>& blocks_;
    const std::vector<std::uint64_t> positions_;  // in an image
    const std::vector<HeardStretch>& stretches_;
    std::vector<double> durations_;  // of each block, as heard_duration says
    std::vector<double> latest_end_;  // of the blocks up to each
    double seconds_ = 0;
    bool timed_ = false;  // a recording: the timeline speaks
    bool still_coming_ = false;
    double plain_pause_ = -1;  // learned, in seconds at the nominal speed; negative: not learned
    double header_gap_ = 0;    // learned after headers and end blocks, in seconds at the nominal speed
    const FileBlocks* file_ = nullptr;
    TapeAccount account_;
};

TapeAccount Accountant::run()
{
    for (const auto& heard : blocks_)
        if (!heard.sound()) problem(AccountProblem::bad_block, heard.seconds, heard_block_problem(heard));

    std::vector<std::size_t> before_any, without;
    const std::vector<FileBlocks> files = files_of_tape(before_any, without);
    if (!before_any.empty())
        problem(AccountProblem::before_any_header, start_of(before_any.front()),
                counted(before_any.size(), kBlockWord, kBlocksWord) + kBeforeAnyHeader + span_of(before_any.front(), before_any.back()));
    for (std::size_t i = 0; i < without.size();) {
        // A run of them, between an end block and the next header.
        std::size_t j = i + 1;
        while (j < without.size() && without[j] == without[j - 1] + 1) ++j;
        problem(AccountProblem::without_header, start_of(without[i]),
                counted(j - i, kBlockWord, kBlocksWord) + kWithoutHeader + span_of(without[i], without[j - 1]));
        i = j;
    }

    if (timed_) learn_pauses(files);
    for (std::size_t f = 0; f < files.size(); ++f)
        check_file(files[f], f + 1 < files.size() ? files[f + 1].header : blocks_.size());
    if (timed_) {
        check_leaders(files);
        find_unread();
    }
    for (const auto& heard : blocks_)
        if (heard.without_sync && heard.sound())
            account_.notes.push_back({AccountProblem::without_sync, heard.seconds,
                                      kBlockWord + (" " + hex_byte(heard.block.type())) + kAt + recording_time_text(heard.seconds) +
                                          kFieldSeparator + kReadWithoutSyncText + in_brackets(block_figures_text(heard.figures))});
    const auto by_time = [](const AccountProblem& a, const AccountProblem& b) { return a.seconds < b.seconds; };
    std::stable_sort(account_.problems.begin(), account_.problems.end(), by_time);
    std::stable_sort(account_.notes.begin(), account_.notes.end(), by_time);
    return account_;
}

// Files, and the blocks no file owns: those before the first header, and
// those after a file's end block with no header before them.
std::vector<FileBlocks> Accountant::files_of_tape(std::vector<std::size_t>& before_any, std::vector<std::size_t>& without) const
{
    std::vector<FileBlocks> files;
    for (std::size_t b = 0; b < blocks_.size(); ++b) {
        if (is_header(blocks_[b])) {
            files.push_back({b, {}, false});
        } else if (files.empty()) {
            before_any.push_back(b);
        } else if (files.back().ended) {
            without.push_back(b);
        } else {
            files.back().members.push_back(b);
            files.back().ended = is_end(blocks_[b]);
        }
    }
    return files;
}

void Accountant::learn_pauses(const std::vector<FileBlocks>& files)
{
    // The pauses between data blocks of files without gaps, at the nominal
    // speed: the shortest is what the machine that wrote the tape leaves.
    // (Where a leader comes between, the writer gives each block a leader
    // of its own: that pause is a led one.)
    std::vector<double> pauses, after_headers;
    for (const auto& file : files) {
        const auto& header = blocks_[file.header].block;
        if (header.at(kGapFlagOffset) == kGapBeforeEveryBlock) continue;
        for (std::size_t i = 1; i < file.members.size(); ++i) {
            const std::size_t a = file.members[i - 1], b = file.members[i];
            if (!leader_between(end_of(a), start_of(b))) pauses.push_back((start_of(b) - end_of(a)) * speed_of(blocks_[b]));
        }
    }
    if (pauses.size() >= kPausesToLearn) plain_pause_ = std::max(0.0, *std::min_element(pauses.begin(), pauses.end()));
    // The silences before the leader after a header, or after an end block
    // (before the next header's): the motor's pause, which writers make
    // anything from none to many seconds long. The shortest is the writer's.
    for (std::size_t b = 1; b < blocks_.size(); ++b) {
        if (!is_header(blocks_[b - 1]) && !is_end(blocks_[b - 1])) continue;
        const HeardStretch* leader = answering_leader(end_of(b - 1), b);
        if (leader && !leader_between(end_of(b - 1), leader->start))
            after_headers.push_back((leader->start - end_of(b - 1)) * speed_of(blocks_[b]));
    }
    if (after_headers.size() >= kPausesToLearn)
        header_gap_ = std::max(0.0, *std::min_element(after_headers.begin(), after_headers.end()));
}

const HeardStretch* Accountant::answering_leader(double start, std::size_t b) const
{
    const HeardStretch* last = nullptr;
    for (const auto& stretch : stretches_)
        if (stretch.leader && stretch.end > start && stretch.start < start_of(b)) last = &stretch;
    return last && start_of(b) - last->end <= kAfterLeader / speed_of(blocks_[b]) ? last : nullptr;
}

void Accountant::check_file(const FileBlocks& file, std::size_t next_header)
{
    file_ = &file;
    const HeardBlock& header = blocks_[file.header];
    // A header broken off before the end of its name: the file by its place.
    const bool named = opens_file(header) && (header.complete || header.block.length >= kNameOffset + kNameLength);
    const Said name = named ? kFile + shown_file_name(header.block) + kFieldSeparator
                            : kHeaderBroken + place_of(file.header) + std::string(")") + kFieldSeparator;
    const std::size_t problems_before = account_.problems.size();
    if (timed_) check_timeline(file, name);
    check_size(file, name);
    const std::size_t before = file.members.empty() ? file.header : file.members.back();
    // While the recording is still coming, the file heard last has not ended yet.
    const bool may_still_end = still_coming_ && next_header == blocks_.size();
    if (!file.ended && !may_still_end) {
        if (!timed_)
            problem(AccountProblem::no_end_block, 0,
                    name + (next_header < blocks_.size() ? kNoEndBeforeNext + (kAtPosition + std::to_string(positions_[next_header])) +
                                                               std::string(")")
                                                         : Said(kNoEndImageStops)));
        else if (next_header < blocks_.size())
            problem(AccountProblem::no_end_block, end_of(before),
                    name + kNoEndBeforeNext + kAtTime + recording_time_text(start_of(next_header)) + kLastHeardEnds +
                        recording_time_text(end_of(before)));
        else
            problem(AccountProblem::no_end_block, end_of(before),
                    name + kNoEndRecordingStops + recording_time_text(start_of(before)) + kRecordingEnds +
                        (recording_time_text(seconds_) + ")"));
    }
    const bool sound = std::all_of(file.members.begin(), file.members.end(), [&](std::size_t b) { return blocks_[b].sound(); });
    if (opens_file(header))
        account_.whole_files.push_back(header.sound() && sound && account_.problems.size() == problems_before &&
                                       (file.ended || may_still_end));
}

// Between the file's blocks, only what the format puts there.
void Accountant::check_timeline(const FileBlocks& file, const Said& name)
{
    const HeardBlock& header = blocks_[file.header];
    // A header heard wrong may have its gap flag wrong: a leader heard
    // before a block then says it has its gap.
    const bool gaps = header.block.at(kGapFlagOffset) == kGapBeforeEveryBlock;
    const bool flag_known = header.sound();
    std::size_t before = file.header;
    for (const std::size_t b : file.members) {
        const bool after_header = before == file.header;
        const bool led = after_header || gaps || (!flag_known && leader_between(end_of(before), start_of(b)));
        // After a header heard wrong, as many gaps and leaders as the
        // format ever puts there.
        check_between(before, b, led, after_header && (gaps || !flag_known) ? 2 : 1, name);
        before = b;
    }
}

// A tokenized BASIC program's header gives its length where the machine
// saved it; tools that write a tape from a listing put the load address
// there, programs moved from other machines leftovers or zeros. Where it
// differs from what the blocks hold, a note: never a loss by itself.
void Accountant::check_size(const FileBlocks& file, const Said& name)
{
    const HeardBlock& header = blocks_[file.header];
    if (!file.ended || !header.sound() || header.block.at(kFileTypeOffset) != kBasicFile ||
        header.block.at(kAsciiFlagOffset) != kTokenizedProgram)
        return;
    const std::size_t said = header.block.word_at(kSecondAddressOffset);
    std::size_t bytes = 0;
    for (const std::size_t b : file.members)
        if (is_data(blocks_[b])) bytes += blocks_[b].block.payload_length();
    if (said == 0 || bytes == said) return;
    account_.notes.push_back({AccountProblem::other_size, header.seconds,
                              name + kBasicProgramOf + counted(bytes, kByteWord, kBytesWord) + kHeaderSays + std::to_string(said) +
                                  kFieldFilledOtherwise});
}

bool Accountant::check_between(std::size_t before, std::size_t after, bool leader_led, std::size_t leaders_expected,
                               const Said& name)
{
    const double speed = speed_of(blocks_[after]);
    const double start = end_of(before), end = start_of(after);
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
        lose(start, end, blocks_in(end - start - usual, speed, *file_), signal_between(start, end), name);
        return false;
    }
    // A gap and a leader (two after the header of a file whose every block
    // has them) come before the block: room for another gap, leader and
    // block held one that was lost. A writer's own longer pause after a
    // header, learned from the recording, and a longer leader that gives
    // way to the block, are the writer's, not a block's.
    const double gap_and_leader = kGapPause / kSampleRate / speed;
    const double leader = static_cast<double>(kLeaderLength) * kAverageByte / kSampleRate / speed;
    const bool after_header = is_header(blocks_[before]);
    const double gap = std::max(static_cast<double>(kGapSamples) / kSampleRate, after_header ? header_gap_ : 0.0) / speed;
    const double longer_leader = answering ? std::max(0.0, answering->end - answering->start - leader) : 0.0;
    const double expected =
        static_cast<double>(leaders_expected) * (gap + leader) + kPlainPause / kSampleRate / speed + longer_leader;
    if (end - start > expected + gap_and_leader / 2) {
        lose(start, end, blocks_in(end - start - expected, speed, *file_, gap_and_leader), signal_between(start, end), name);
        return false;
    }
    // The leader heard last ends where its block starts. Where it ends
    // before, a block lost between them shows as tape signal that no block
    // covers, or as more time than damage at a leader's end takes.
    // (Through a room's echoes a leader is heard on into its block.)
    if (answering) return true;
    const HeardStretch* last = nullptr;
    for (const auto& stretch : stretches_)
        if (stretch.leader && stretch.end > start && stretch.start < end) last = &stretch;
    if (!last) return true;  // no leader heard: the time was all there was to tell
    const double since_leader = end - last->end;
    // A leader that gave way to a block's signal there, with no block
    // heard, lost that block.
    const bool signal = last->into_signal || signal_between(last->end, end);
    if (!signal && since_leader <= kDamagedLeaderEnd / speed) return true;
    lose(last->end, end, blocks_in(since_leader, speed, *file_), signal, name);
    return false;
}

// Outside the files (before the first header, between a file's end block
// and the next header, after the last), a leader brings a file's header at
// once. One that no block follows held a file that was lost: the recording
// stopped inside it, or a dropout took the header after it. Where a block
// with no header before it comes before or after the leader, that block's
// problem says it.
void Accountant::check_leaders(const std::vector<FileBlocks>& files)
{
    // The spans the files cover, header to end block (or to the next
    // header, or on to the end, for a file that did not end).
    std::vector<std::pair<double, double>> spans;
    for (std::size_t f = 0; f < files.size(); ++f) {
        const FileBlocks& file = files[f];
        const double end = file.ended            ? end_of(file.members.back())
                           : f + 1 < files.size() ? start_of(files[f + 1].header)
                                                  : HUGE_VAL;
        spans.emplace_back(start_of(file.header), end);
    }
    for (const auto& stretch : stretches_) {
        if (!stretch.leader) continue;
        const bool in_file = std::any_of(spans.begin(), spans.end(), [&](const auto& s) {
            return stretch.end > s.first && stretch.start < s.second;
        });
        if (in_file) continue;
        // A leader inside a block (a broken block's rest, bytes 0x55) is
        // that block's. Else the next block is the leader's own where it
        // starts at the leader's end (or inside it, heard on through echoes).
        const std::size_t count = blocks_starting_before(stretch.start);
        if (count > 0 && latest_end_[count - 1] > stretch.start) continue;
        // After a block that belongs to no file (a header's broken start,
        // among them), that block's problem says what was lost there.
        if (count > 0 && !is_end(blocks_[count - 1])) continue;
        const HeardBlock* next = count < blocks_.size() ? &blocks_[count] : nullptr;
        const double speed = next ? speed_of(*next) : 1.0;
        if (next && next->seconds <= stretch.end + kDamagedLeaderEnd / speed) continue;
        if (next && !is_header(*next)) continue;  // said as blocks with no header
        const bool at_end = seconds_ - stretch.end <= kDamagedLeaderEnd;
        if (at_end && still_coming_) continue;  // its block is still to come
        const double end = at_end ? seconds_ : stretch.end;
        account_.lost.push_back({stretch.start, end, 1, true, true});
        problem(AccountProblem::leader_without_block, stretch.start,
                at_end ? kStopsInLeader + recording_time_text(stretch.start) + kRecordingEnds +
                             (recording_time_text(seconds_) + kStopsInLeaderEnd)
                       : kLeaderWithoutBlock + recording_time_text(stretch.start) + kTo + recording_time_text(stretch.end) +
                             kLeaderWithoutBlockEnd);
    }
    std::stable_sort(account_.lost.begin(), account_.lost.end(),
                     [](const LostStretch& a, const LostStretch& b) { return a.start < b.start; });
}

// Tape signal that no block covers, leaders aside: among the blocks that
// start before a stretch ends (they are in the order of their times), the
// latest end reaches into it.
void Accountant::find_unread()
{
    for (const auto& stretch : stretches_) {
        if (stretch.leader) continue;
        const std::size_t count = blocks_starting_before(stretch.end + kAfterLeader);
        const bool covered = count > 0 && latest_end_[count - 1] + kAfterLeader > stretch.start;
        if (!covered) account_.unread.push_back(stretch);
    }
}

std::size_t Accountant::blocks_starting_before(double seconds) const
{
    const auto first_after = std::lower_bound(blocks_.begin(), blocks_.end(), seconds,
                                              [](const HeardBlock& b, double t) { return b.seconds < t; });
    return static_cast<std::size_t>(first_after - blocks_.begin());
}

std::size_t Accountant::blocks_in(double excess, double speed, const FileBlocks& file, double between) const
{
    // A full block of average bytes, or the file's longest heard if longer
    // (a file of zeros has long blocks). With its pause.
    double longest = static_cast<double>(kFullBlockBytes) * kAverageByte / kSampleRate / speed;
    for (const std::size_t b : file.members)
        if (!is_end(blocks_[b])) longest = std::max(longest, durations_[b]);
    const double one = longest + (between >= 0 ? between : kPlainPause / kSampleRate / speed);
    return std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(excess / one)));
}

bool Accountant::leader_between(double start, double end) const
{
    return std::any_of(stretches_.begin(), stretches_.end(),
                       [&](const HeardStretch& s) { return s.leader && s.end > start && s.start < end; });
}

bool Accountant::signal_between(double start, double end) const
{
    return std::any_of(stretches_.begin(), stretches_.end(), [&](const HeardStretch& s) {
        return !s.leader && s.end > start + kAfterLeader && s.start < end - kAfterLeader;
    });
}

void Accountant::lose(double start, double end, std::size_t count, bool signal, const Said& name)
{
    account_.lost.push_back({start, end, count, signal});
    problem(AccountProblem::lost_blocks, start,
            name + lost_blocks_text(count) + kBetween + recording_time_text(start) + kAnd + recording_time_text(end) +
                (signal ? kSignalNoBlock : kSilenceNoSignal));
}

}  // namespace

bool opens_file(const HeardBlock& heard) { return heard.block.length > kBlockLengthOffset && heard.block.is_header(); }

double heard_duration(const HeardBlock& heard)
{
    double samples = 0;
    for (std::size_t i = 0; i < heard.block.length; ++i) samples += static_cast<double>(byte_sample_count(heard.block.bytes[i]));
    if (!heard.complete && heard.block.length > kBlockLengthOffset) {
        const std::size_t whole = heard.block.payload_length() + kBlockFraming;
        if (whole > heard.block.length) samples += static_cast<double>(whole - heard.block.length) * kAverageByte;
    }
    return samples / kSampleRate / speed_of(heard);
}

Said heard_block_problem(const HeardBlock& heard)
{
    Said text = kBlockWord;
    if (heard.block.length > kBlockTypeOffset) text += " " + hex_byte(heard.block.type());
    return text + kAt + recording_time_text(heard.seconds) + kFieldSeparator +
           (!heard.complete ? kBrokenOffText : !checksum_is_right(heard.block) ? kWrongChecksumText : *reading_doubt(heard)) +
           in_brackets(block_figures_text(heard.figures));
}

const Text* reading_doubt(const HeardBlock& heard)
{
    return !heard.closed && heard.weak ? &kUnclosedText : heard.guessed ? &kGuessedBitText : nullptr;
}

Said lost_stretch_line(const LostStretch& lost)
{
    const Said what = lost.file ? Said(kStretchFileLost) : lost_blocks_text(lost.blocks) + (lost.signal ? kStretchSignal : kStretchSilence);
    return Said::same(kStretchIndent) + kStretchFrom + recording_time_text(lost.start) + kTo + recording_time_text(lost.end) +
           kFieldSeparator + what;
}

Said unread_stretch_line(const HeardStretch& unread)
{
    return Said::same(kStretchIndent) + kStretchFrom + recording_time_text(unread.start) + kTo + recording_time_text(unread.end) +
           kUnreadSignal;
}

std::vector<HeardBlock> set_noise_aside(const std::vector<HeardBlock>& heard, std::vector<AccountProblem>& notes)
{
    std::vector<double> levels;
    for (const auto& block : heard)
        if (block.sound()) levels.push_back(block.figures.level);
    if (levels.empty()) return heard;
    std::nth_element(levels.begin(), levels.begin() + static_cast<std::ptrdiff_t>(levels.size() / 2), levels.end());
    const double tape_level = levels[levels.size() / 2];
    std::vector<HeardBlock> kept;
    bool in_file = false;
    for (const auto& block : heard) {
        if (!block.sound() && !in_file && block.figures.level < tape_level - kNoiseBelowTape) {
            notes.push_back({AccountProblem::noise_aside, block.seconds,
                             kNoiseTakenForBlock + recording_time_text(block.seconds) + kNoiseSetAside +
                                 block_figures_text(block.figures) + std::string(")")});
            continue;
        }
        if (is_header(block)) in_file = true;
        else if (is_end(block)) in_file = false;
        kept.push_back(block);
    }
    return kept;
}

AccountedBlocks account_for_heard(const std::vector<HeardBlock>& heard, const std::vector<HeardStretch>& stretches,
                                  double seconds, RecordingEnd end)
{
    AccountedBlocks result;
    std::vector<AccountProblem> aside;
    result.blocks = set_noise_aside(heard, aside);
    result.account = account_for_recording(result.blocks, stretches, seconds, end);
    auto& notes = result.account.notes;
    notes.insert(notes.end(), aside.begin(), aside.end());
    std::stable_sort(notes.begin(), notes.end(), [](const AccountProblem& a, const AccountProblem& b) { return a.seconds < b.seconds; });
    return result;
}

TapeAccount account_for_recording(const std::vector<HeardBlock>& blocks, const std::vector<HeardStretch>& stretches,
                                  double seconds, RecordingEnd end)
{
    return Accountant(blocks, stretches, seconds, end).run();
}

TapeAccount account_for_image(const std::vector<HeardBlock>& blocks, const std::vector<std::uint64_t>& positions)
{
    return Accountant(blocks, positions).run();
}

}  // namespace morlevix
