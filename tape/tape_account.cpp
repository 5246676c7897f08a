#include "tape_account.h"

#include <algorithm>
#include <cmath>

#include "cassette_encoder.h"
#include "tape_catalog.h"

namespace morlevix {
namespace {

// The ASCII flag of a program saved tokenized (its header then gives its length).
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
constexpr Text kBeforeAnyHeader{" avant le premier en-tete de fichier", " before the first file header"};
constexpr Text kWithoutHeader{" apres la fin d'un fichier, sans en-tete de fichier avant",
                              " after the end of a file, with no file header before them"};
constexpr Text kFile{"fichier ", "file "};
constexpr Text kHeaderBroken{"fichier a l'en-tete coupe (", "file whose header is cut ("};
constexpr Text kShortBlock{"bloc de ", "block of "};
constexpr Text kShorterThanOthers{", plus court que les autres, suivi d'un autre bloc du fichier : un bloc de fin manque, ou un en-tete",
                                  ", shorter than the others, followed by another block of the file: an end block is missing, or a header"};
constexpr Text kBasicProgramOf{"programme BASIC de ", "BASIC program of "};
constexpr Text kHeaderSays{", son en-tete en annonce ", ", its header says "};
constexpr Text kBlocksMissing{" : des blocs manquent", ": blocks are missing"};
constexpr Text kBlocksTooMany{" : des blocs sont en trop", ": there are blocks too many"};
constexpr Text kNoEndBeforeNext{"pas de bloc de fin avant l'en-tete suivant (a ", "no end block before the next header (at "};
constexpr Text kLastHeardEnds{") ; le dernier bloc entendu finit a ", "); the last block heard ends at "};
constexpr Text kNoEndRecordingStops{
    "pas de bloc de fin : l'enregistrement s'arrete avant la fin du fichier (dernier bloc entendu a ",
    "no end block: the recording stops before the end of the file (last block heard at "};
constexpr Text kRecordingEnds{", fin de l'enregistrement a ", ", end of the recording at "};
constexpr Text kBlocksLost{" blocs perdus", " blocks lost"};
constexpr Text kOneBlockLost{"un bloc perdu", "one block lost"};
constexpr Text kBetween{" entre ", " between "};
constexpr Text kAnd{" et ", " and "};
constexpr Text kSignalNoBlock{" (signal de cassette entendu, aucun bloc lu)", " (tape signal heard, no block read)"};
constexpr Text kSilenceNoSignal{" (silence ou bruit, aucun signal de cassette)", " (silence or noise, no tape signal)"};
constexpr Text kStretchFrom{"de ", "from "};
constexpr Text kStretchSignal{" (signal de cassette, aucun bloc lu)", " (tape signal, no block read)"};
constexpr Text kStretchSilence{" (silence ou bruit)", " (silence or noise)"};
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
// block, the next header, or the end of the recording.
struct FileBlocks {
    std::size_t header;
    std::vector<std::size_t> members;  // data blocks, then the end block if heard
    bool ended = false;
};

class Accountant {
public:
    Accountant(const std::vector<HeardBlock>& blocks, const std::vector<HeardStretch>& stretches, double seconds)
        : blocks_(blocks), stretches_(stretches), seconds_(seconds)
    {
        // Each block's length in time, once: a block's bytes are summed
        // cycle by cycle.
        durations_.reserve(blocks.size());
        for (const auto& heard : blocks) durations_.push_back(heard_duration(heard));
    }

    TapeAccount run();

private:
    void learn_pauses(const std::vector<FileBlocks>& files);
    void check_file(const FileBlocks& file, std::size_t next_header);
    bool check_between(std::size_t before, std::size_t after, bool leader_led, std::size_t leaders_expected,
                       const Said& name);
    void lose(double start, double end, std::size_t count, bool signal, const Said& name);
    bool signal_between(double start, double end) const;
    bool leader_between(double start, double end) const;
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
    // The blocks `excess` seconds could hold, each with `between` seconds
    // before it (by default the pause between data blocks).
    std::size_t blocks_in(double excess, double speed, const FileBlocks& file, double between = -1) const;
    void problem(AccountProblem::Kind kind, double seconds, const Said& text)
    {
        account_.problems.push_back({kind, seconds, text});
    }

    const std::vector<HeardBlock>& blocks_;
    std::vector<double> durations_;  // of each block, as heard_duration says
    const std::vector<HeardStretch>& stretches_;
    double seconds_;
    double plain_pause_ = -1;  // learned, in seconds at the nominal speed; negative: not learned
    const FileBlocks* file_ = nullptr;
    TapeAccount account_;
};

TapeAccount Accountant::run()
{
    for (const auto& heard : blocks_)
        if (!heard.sound()) problem(AccountProblem::bad_block, heard.seconds, heard_block_problem(heard));

    // Files, and the blocks no file owns.
    std::vector<FileBlocks> files;
    std::vector<std::size_t> before_any, without;
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
    if (!before_any.empty())
        problem(AccountProblem::before_any_header, start_of(before_any.front()),
                counted(before_any.size(), kBlockWord, kBlocksWord) + kBeforeAnyHeader + kFrom +
                    recording_time_text(start_of(before_any.front())) + kTo +
                    recording_time_text(end_of(before_any.back())));
    for (std::size_t i = 0; i < without.size();) {
        // A run of them, between an end block and the next header.
        std::size_t j = i + 1;
        while (j < without.size() && without[j] == without[j - 1] + 1) ++j;
        problem(AccountProblem::without_header, start_of(without[i]),
                counted(j - i, kBlockWord, kBlocksWord) + kWithoutHeader + kFrom + recording_time_text(start_of(without[i])) + kTo +
                    recording_time_text(end_of(without[j - 1])));
        i = j;
    }

    learn_pauses(files);
    for (std::size_t f = 0; f < files.size(); ++f)
        check_file(files[f], f + 1 < files.size() ? files[f + 1].header : blocks_.size());

    // Tape signal that no block covers, leaders aside: among the blocks
    // that start before a stretch ends (they are in the order of their
    // times), the latest end reaches into it.
    std::vector<double> latest_end(blocks_.size());
    for (std::size_t b = 0; b < blocks_.size(); ++b)
        latest_end[b] = std::max(b > 0 ? latest_end[b - 1] : -1.0, blocks_[b].seconds + durations_[b]);
    for (const auto& stretch : stretches_) {
        if (stretch.leader) continue;
        const auto starts_before = std::lower_bound(blocks_.begin(), blocks_.end(), stretch.end + kAfterLeader,
                                                    [](const HeardBlock& b, double t) { return b.seconds < t; });
        const auto count = static_cast<std::size_t>(starts_before - blocks_.begin());
        const bool covered = count > 0 && latest_end[count - 1] + kAfterLeader > stretch.start;
        if (!covered) account_.unread.push_back(stretch);
    }
    for (const auto& heard : blocks_)
        if (heard.without_sync && heard.sound())
            account_.notes.push_back({AccountProblem::without_sync, heard.seconds,
                                      kBlockWord + (" " + hex_byte(heard.block.type())) + kAt + recording_time_text(heard.seconds) +
                                          kFieldSeparator + kReadWithoutSyncText + in_brackets(block_figures_text(heard.figures))});
    std::stable_sort(account_.problems.begin(), account_.problems.end(),
                     [](const AccountProblem& a, const AccountProblem& b) { return a.seconds < b.seconds; });
    return account_;
}

void Accountant::learn_pauses(const std::vector<FileBlocks>& files)
{
    // The pauses between data blocks of files without gaps, at the nominal
    // speed: the shortest is what the machine that wrote the tape leaves.
    std::vector<double> pauses;
    for (const auto& file : files) {
        const auto& header = blocks_[file.header].block;
        if (header.at(kGapFlagOffset) == kGapBeforeEveryBlock) continue;
        for (std::size_t i = 1; i < file.members.size(); ++i) {
            const std::size_t a = file.members[i - 1], b = file.members[i];
            pauses.push_back((start_of(b) - end_of(a)) * speed_of(blocks_[b]));
        }
    }
    if (pauses.size() >= kPausesToLearn) plain_pause_ = std::max(0.0, *std::min_element(pauses.begin(), pauses.end()));
}

void Accountant::check_file(const FileBlocks& file, std::size_t next_header)
{
    file_ = &file;
    const HeardBlock& header = blocks_[file.header];
    const Said name = opens_file(header) ? kFile + shown_file_name(header.block) + kFieldSeparator
                                         : kHeaderBroken + (recording_time_text(header.seconds) + ")") + kFieldSeparator;
    const std::size_t problems_before = account_.problems.size();
    // A header heard wrong may have its gap flag wrong: a leader heard
    // before a block then says it has its gap.
    const bool gaps = header.block.at(kGapFlagOffset) == kGapBeforeEveryBlock;
    const bool flag_known = header.sound();
    std::size_t before = file.header;
    std::size_t longest = 0;
    for (const std::size_t b : file.members)
        if (is_data(blocks_[b])) longest = std::max(longest, blocks_[b].block.payload_length());
    for (const std::size_t b : file.members) {
        const bool after_header = before == file.header;
        const bool led = after_header || gaps || (!flag_known && leader_between(end_of(before), start_of(b)));
        // After a header heard wrong, as many gaps and leaders as the
        // format ever puts there.
        check_between(before, b, led, after_header && (gaps || !flag_known) ? 2 : 1, name);
        // Only the last data block of a file may be shorter than the others.
        const HeardBlock& previous = blocks_[before];
        if (is_data(blocks_[b]) && is_data(previous) && previous.sound() && previous.block.payload_length() < longest)
            problem(AccountProblem::short_block, previous.seconds,
                    name + kShortBlock + counted(previous.block.payload_length(), kByteWord, kBytesWord) + kAt +
                        recording_time_text(previous.seconds) + kShorterThanOthers);
        before = b;
    }
    // A BASIC program's header gives its length: its blocks hold exactly
    // that many bytes, however they were cut out of the tape.
    if (file.ended && header.sound() && header.block.at(kFileTypeOffset) == kBasicFile &&
        header.block.at(kAsciiFlagOffset) == kTokenizedProgram) {
        std::size_t bytes = 0;
        for (const std::size_t b : file.members)
            if (is_data(blocks_[b])) bytes += blocks_[b].block.payload_length();
        const std::size_t said = header.block.word_at(kSecondAddressOffset);
        if (bytes != said)
            problem(AccountProblem::wrong_size, header.seconds,
                    name + kBasicProgramOf + counted(bytes, kByteWord, kBytesWord) + kHeaderSays + std::to_string(said) +
                        (bytes < said ? kBlocksMissing : kBlocksTooMany));
    }
    if (!file.ended) {
        const double at = end_of(before);
        if (next_header < blocks_.size())
            problem(AccountProblem::no_end_block, at,
                    name + kNoEndBeforeNext + recording_time_text(start_of(next_header)) + kLastHeardEnds +
                        recording_time_text(at));
        else
            problem(AccountProblem::no_end_block, at,
                    name + kNoEndRecordingStops + recording_time_text(start_of(before)) + kRecordingEnds +
                        (recording_time_text(seconds_) + ")"));
    }
    const bool sound = std::all_of(file.members.begin(), file.members.end(), [&](std::size_t b) { return blocks_[b].sound(); });
    if (opens_file(header))
        account_.whole_files.push_back(header.sound() && sound && account_.problems.size() == problems_before);
}

bool Accountant::check_between(std::size_t before, std::size_t after, bool leader_led, std::size_t leaders_expected,
                               const Said& name)
{
    const double speed = speed_of(blocks_[after]);
    const double start = end_of(before), end = start_of(after);
    const double longer = kLongerPause / speed;
    if (!leader_led) {
        const double usual = (plain_pause_ >= 0 ? plain_pause_ : kPlainPause / kSampleRate) / speed;
        if (end - start <= usual + longer) return true;
        lose(start, end, blocks_in(end - start - usual, speed, *file_), signal_between(start, end), name);
        return false;
    }
    // A gap and a leader (two after the header of a file whose every block
    // has them) come before the block: room for another gap, leader and
    // block held one that was lost.
    const double gap_and_leader = kGapPause / kSampleRate / speed;
    const double expected = (kGapPause * static_cast<double>(leaders_expected) + kPlainPause) / kSampleRate / speed;
    if (end - start > expected + gap_and_leader / 2) {
        lose(start, end, blocks_in(end - start - expected, speed, *file_, gap_and_leader), signal_between(start, end), name);
        return false;
    }
    // The leader heard last ends where its block starts. Where it ends
    // before, a block lost between them shows as tape signal that no block
    // covers, or as more time than damage at a leader's end takes.
    // (Through a room's echoes a leader is heard on into its block.)
    const HeardStretch* last = nullptr;
    for (const auto& stretch : stretches_)
        if (stretch.leader && stretch.end > start && stretch.start < end) last = &stretch;
    if (!last) return true;  // no leader heard: the time was all there was to tell
    const double since_leader = end - last->end;
    if (since_leader <= kAfterLeader / speed) return true;
    // A leader that gave way to a block's signal there, with no block
    // heard, lost that block.
    const bool signal = last->into_signal || signal_between(last->end, end);
    if (!signal && since_leader <= kDamagedLeaderEnd / speed) return true;
    lose(last->end, end, blocks_in(since_leader, speed, *file_), signal, name);
    return false;
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
    return !heard.closed ? &kUnclosedText : heard.guessed ? &kGuessedBitText : nullptr;
}

Said lost_stretch_line(const LostStretch& lost)
{
    return Said::same(kStretchIndent) + kStretchFrom + recording_time_text(lost.start) + kTo + recording_time_text(lost.end) +
           kFieldSeparator + lost_blocks_text(lost.blocks) + (lost.signal ? kStretchSignal : kStretchSilence);
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
                                  double seconds)
{
    AccountedBlocks result;
    std::vector<AccountProblem> aside;
    result.blocks = set_noise_aside(heard, aside);
    result.account = account_for_recording(result.blocks, stretches, seconds);
    auto& notes = result.account.notes;
    notes.insert(notes.end(), aside.begin(), aside.end());
    std::stable_sort(notes.begin(), notes.end(), [](const AccountProblem& a, const AccountProblem& b) { return a.seconds < b.seconds; });
    return result;
}

TapeAccount account_for_recording(const std::vector<HeardBlock>& blocks, const std::vector<HeardStretch>& stretches,
                                  double seconds)
{
    return Accountant(blocks, stretches, seconds).run();
}

}  // namespace morlevix
