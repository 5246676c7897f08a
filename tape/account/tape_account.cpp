#include "tape_account.h"

#include <algorithm>
#include <optional>

#include "file_checks.h"
#include "heard_tape.h"
#include "tape/catalog/tape_catalog.h"
#include "tape/encoder/cassette_encoder.h"
#include "timeline_checks.h"

namespace morlevix {
namespace {

// Where a stretch's line starts, under a block line's time.
constexpr char kStretchIndent[] = "                                      ";
// A block heard wrong this much quieter than the tape's sound blocks (dB),
// outside every file, is noise.
constexpr double kNoiseBelowTape = 20;

constexpr Text kAt{" a ", " at "};
constexpr Text kStretchFrom{"de ", "from "};
constexpr Text kStretchSignal{" (signal de cassette, aucun bloc lu)", " (tape signal, no block read)"};
constexpr Text kStretchSilence{" (silence ou bruit)", " (silence or noise)"};
constexpr Text kStretchFileLost{"un fichier perdu (son amorce seule entendue)", "a file lost (its leader alone heard)"};
constexpr Text kUnreadSignal{" : signal de cassette, aucun bloc lu", ": tape signal, no block read"};
constexpr Text kNoiseTakenForBlock{"bruit pris pour un bloc a ", "noise taken for a block at "};
constexpr Text kNoiseSetAside{", hors de tout fichier, ecarte (", ", outside every file, set aside ("};

// The account of a tape: what its blocks say, what each file's say, and,
// in a recording, what its timeline says.
TapeAccount account_of(const HeardTape& tape)
{
    TapeAccount account;
    const TapeFiles files = tape.files();
    // Each block's file, counted as whole_files counts them (a header broken
    // off before its length byte opens none).
    std::vector<std::optional<std::size_t>> file_of(tape.blocks().size());
    std::size_t opened = 0;
    for (const auto& file : files.files) {
        const auto index = opens_file(tape.block(file.header)) ? std::optional<std::size_t>(opened++) : std::nullopt;
        file_of[file.header] = index;
        for (const std::size_t b : file.members) file_of[b] = index;
    }
    for (std::size_t b = 0; b < tape.blocks().size(); ++b) {
        const HeardBlock& heard = tape.block(b);
        if (heard.sound()) continue;
        add_problem(account, AccountProblem::bad_block, heard.seconds, heard_block_problem(heard));
        account.problems.back().file = file_of[b];
        account.problems.back().why = !heard.complete ? "broken_off" : checksum_is_right(heard.block) ? "doubtful_reading" : "wrong_checksum";
    }
    check_blocks_outside_files(tape, files, account);
    std::optional<TimelineChecks> timeline;
    if (tape.timed()) timeline.emplace(tape, files);
    for (std::size_t f = 0; f < files.files.size(); ++f) {
        const FileBlocks& file = files.files[f];
        const std::size_t next_header = f + 1 < files.files.size() ? files.files[f + 1].header : tape.blocks().size();
        const Said name = file_name(tape, file);
        const std::size_t problems_before = account.problems.size(), notes_before = account.notes.size();
        if (timeline) timeline->check_file(file, name, account);
        note_program_size(tape, file, name, account);
        check_end_block(tape, file, next_header, name, account);
        for (std::size_t p = problems_before; p < account.problems.size(); ++p) account.problems[p].file = file_of[file.header];
        for (std::size_t n = notes_before; n < account.notes.size(); ++n) account.notes[n].file = file_of[file.header];
        const HeardBlock& header = tape.block(file.header);
        const bool sound = std::all_of(file.members.begin(), file.members.end(), [&](std::size_t b) { return tape.block(b).sound(); });
        if (opens_file(header))
            account.whole_files.push_back(header.sound() && sound && account.problems.size() == problems_before &&
                                          (file.ended || may_still_end(tape, next_header)));
    }
    if (timeline) {
        timeline->check_leaders(files, account);
        timeline->find_unread(account);
    }
    for (std::size_t b = 0; b < tape.blocks().size(); ++b) {
        const HeardBlock& heard = tape.block(b);
        if (heard.without_sync && heard.sound())
            account.notes.push_back({AccountProblem::without_sync, heard.seconds,
                                     kBlockWord + (" " + hex_byte(heard.block.type())) + kAt + recording_time_text(heard.seconds) +
                                         kFieldSeparator + kReadWithoutSyncText + in_brackets(block_figures_text(heard.figures)),
                                     file_of[b]});
    }
    const auto by_time = [](const AccountProblem& a, const AccountProblem& b) { return a.seconds < b.seconds; };
    std::stable_sort(account.problems.begin(), account.problems.end(), by_time);
    std::stable_sort(account.notes.begin(), account.notes.end(), by_time);
    return account;
}

}  // namespace

const char* problem_kind_name(const AccountProblem& problem)
{
    switch (problem.kind) {
    case AccountProblem::bad_block: return problem.why ? problem.why : "bad_block";
    case AccountProblem::lost_blocks: return "lost_blocks";
    case AccountProblem::no_end_block: return "no_end_block";
    case AccountProblem::before_any_header: return "blocks_before_first_header";
    case AccountProblem::without_header: return "blocks_without_header";
    case AccountProblem::leader_without_block: return "leader_without_block";
    case AccountProblem::without_sync: return "read_without_sync";
    case AccountProblem::noise_aside: return "noise_set_aside";
    case AccountProblem::other_size: return "basic_size_differs";
    }
    return "problem";
}

bool opens_file(const HeardBlock& heard) { return heard.block.length > kBlockLengthOffset && heard.block.is_header(); }

double heard_duration(const HeardBlock& heard)
{
    double samples = 0;
    for (std::size_t i = 0; i < heard.block.length; ++i) samples += static_cast<double>(byte_sample_count(heard.block.bytes[i]));
    if (!heard.complete && heard.block.length > kBlockLengthOffset) {
        const std::size_t whole = heard.block.payload_length() + kBlockFraming;
        if (whole > heard.block.length) samples += static_cast<double>(whole - heard.block.length) * average_byte_samples();
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
                                 block_figures_text(block.figures) + std::string(")"), std::nullopt});
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
    return account_of(HeardTape(blocks, stretches, seconds, end));
}

TapeAccount account_for_image(const std::vector<HeardBlock>& blocks, const std::vector<std::uint64_t>& positions)
{
    return account_of(HeardTape(blocks, positions));
}

}  // namespace morlevix
