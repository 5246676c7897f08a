#include "take_merger.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "cassette_encoder.h"
#include "recording_converter.h"
#include "tape_catalog.h"

namespace morlevix {
namespace {

// The words of a merge's report.
constexpr char kTakesJoiner[] = " + ";
constexpr char kNoHeader[] = "(sans en-tete)";
constexpr char kUnnamed[] = "?";
constexpr char kFieldSeparator[] = " : ";
constexpr char kBlocksWord[] = "blocs ";
constexpr char kFromTake[] = " de ";
constexpr char kRangeDash[] = "-";
constexpr char kListSeparator[] = ", ";
constexpr char kWrongMark[] = " (faux)";
constexpr char kMissingMark[] = " manquant";
constexpr char kBlockWord[] = "bloc ";
constexpr char kSoundInNoTake[] = " : juste dans aucune prise ; garde celui de ";
constexpr char kHeardInNoTake[] = " : entendu dans aucune prise";

// A speed figure below this is no tape's: it stands for "not measured".
constexpr double kSlowestPlausibleSpeed = 0.1;

// A file as one take heard it: its header (when the take heard a block
// that is one) and the blocks after it, each at its place in the file.
struct TakeFile {
    std::optional<std::size_t> header;  // index in the take
    std::vector<std::pair<std::size_t, std::size_t>> blocks;  // place, index in the take
    std::string key;  // the sound header's bytes; empty when none was heard sound
    // Its blocks came after another file's end block: the tape has a header
    // there, which this take did not hear at all.
    bool header_missed = false;
};

bool looks_like_header(const HeardBlock& heard) { return heard.block.length > kBlockTypeOffset && heard.block.is_header(); }
bool looks_like_end(const HeardBlock& heard)
{
    return heard.block.length > kBlockTypeOffset && heard.block.type() == kEndBlockType;
}

// How long a block lasts on the tape as heard, in seconds: a block broken
// off still lasts its whole length, its bytes not heard taken as the
// average byte (four short cycles and four long ones, as in a marker).
double heard_duration(const HeardBlock& heard)
{
    std::uint64_t samples = 0;
    for (std::size_t i = 0; i < heard.block.length; ++i) samples += byte_sample_count(heard.block.bytes[i]);
    if (!heard.complete && heard.block.length > kBlockLengthOffset) {
        const std::size_t whole = heard.block.payload_length() + kBlockFraming;
        if (whole > heard.block.length) samples += (whole - heard.block.length) * byte_sample_count(kMarkerByte);
    }
    return static_cast<double>(samples) / kSampleRate / std::max(heard.figures.speed, kSlowestPlausibleSpeed);
}

// The places of a file's blocks after its header: one after another, but
// where the silence between two blocks is long enough to hold whole blocks
// the take did not hear, those are counted in.
std::vector<std::size_t> places_of(const std::vector<HeardBlock>& take, const std::vector<std::size_t>& indices)
{
    std::vector<double> pauses;
    double longest = 0;
    for (std::size_t i = 0; i + 1 < indices.size(); ++i) {
        const HeardBlock& block = take[indices[i]];
        pauses.push_back(take[indices[i + 1]].seconds - block.seconds - heard_duration(block));
        longest = std::max(longest, heard_duration(block));
    }
    const double usual = pauses.empty() ? 0 : *std::min_element(pauses.begin(), pauses.end());
    std::vector<std::size_t> places;
    std::size_t place = 1;
    for (std::size_t i = 0; i < indices.size(); ++i) {
        places.push_back(place);
        const double room = i < pauses.size() ? pauses[i] - usual : 0;
        place += 1 + (longest > 0 ? static_cast<std::size_t>(std::max(0.0, std::round(room / (longest + usual)))) : 0);
    }
    return places;
}

std::vector<TakeFile> files_of(const std::vector<HeardBlock>& take)
{
    std::vector<TakeFile> files;
    std::vector<std::vector<std::size_t>> members;
    bool ended = false;  // the latest block was an end block: no more of that file follows
    for (std::size_t i = 0; i < take.size(); ++i) {
        if (looks_like_header(take[i]) || files.empty() || ended) {
            files.emplace_back();
            members.emplace_back();
            files.back().header_missed = ended && !looks_like_header(take[i]);
            ended = false;
            if (looks_like_header(take[i])) {
                files.back().header = i;
                if (take[i].sound())
                    files.back().key.assign(take[i].block.bytes.begin(),
                                            take[i].block.bytes.begin() + static_cast<std::ptrdiff_t>(take[i].block.length));
                continue;
            }
        }
        members.back().push_back(i);
        ended = looks_like_end(take[i]);
    }
    for (std::size_t f = 0; f < files.size(); ++f) {
        const auto places = places_of(take, members[f]);
        for (std::size_t i = 0; i < places.size(); ++i) files[f].blocks.emplace_back(places[i], members[f][i]);
    }
    return files;
}

// A merged file: the file of each take that matched it.
struct MergedFile {
    std::string key;
    bool has_header = false;
    std::vector<std::optional<std::size_t>> of_take;  // index in files_of(take)
};

// Better of two copies of a block, when neither is sound: one heard to its
// end over one broken off, then the longer.
bool heard_better(const HeardBlock& a, const HeardBlock& b)
{
    if (a.complete != b.complete) return a.complete;
    return a.block.length > b.block.length;
}

}  // namespace

bool MergedTape::sound() const
{
    return !blocks.empty() && std::all_of(blocks.begin(), blocks.end(), [](const MergedBlock& b) {
        return !b.missing && b.heard.sound();
    });
}

std::vector<HeardBlock> MergedTape::heard_blocks() const
{
    std::vector<HeardBlock> heard;
    for (const auto& block : blocks)
        if (!block.missing) heard.push_back(block.heard);
    return heard;
}

MergedTape merge_takes(const std::vector<std::vector<HeardBlock>>& takes)
{
    std::vector<std::vector<TakeFile>> take_files;
    for (const auto& take : takes) take_files.push_back(files_of(take));

    // Files matched across takes: by a header heard sound, else by order
    // after the last file matched.
    std::vector<MergedFile> merged;
    for (std::size_t t = 0; t < takes.size(); ++t) {
        std::size_t after = 0;  // merged files before this point are passed
        for (std::size_t f = 0; f < take_files[t].size(); ++f) {
            const TakeFile& file = take_files[t][f];
            std::optional<std::size_t> match;
            for (std::size_t m = after; m < merged.size() && !match; ++m) {
                if (merged[m].of_take[t]) continue;
                const bool same_header = !file.key.empty() && file.key == merged[m].key;
                const bool in_turn = (file.key.empty() || merged[m].key.empty()) && m == after &&
                                     merged[m].has_header == (file.header.has_value() || file.header_missed);
                if (same_header || in_turn) match = m;
            }
            if (!match) {
                MergedFile added;
                added.has_header = file.header.has_value() || file.header_missed;
                added.of_take.assign(takes.size(), std::nullopt);
                merged.insert(merged.begin() + static_cast<std::ptrdiff_t>(after), added);
                match = after;
            }
            MergedFile& target = merged[*match];
            target.of_take[t] = f;
            if (target.key.empty()) target.key = file.key;
            after = *match + 1;
        }
    }

    MergedTape tape;
    for (std::size_t m = 0; m < merged.size(); ++m) {
        const MergedFile& file = merged[m];
        std::size_t places = file.has_header ? 1 : 0;
        for (std::size_t t = 0; t < takes.size(); ++t)
            if (file.of_take[t])
                for (const auto& [place, index] : take_files[t][*file.of_take[t]].blocks) places = std::max(places, place + 1);
        const std::size_t file_index = file.has_header ? tape.file_names.size() : kBeforeAnyFile;
        for (std::size_t place = file.has_header ? 0 : 1; place < places; ++place) {
            MergedBlock chosen;
            chosen.file = file_index;
            chosen.place = place;
            chosen.missing = true;
            for (std::size_t t = 0; t < takes.size(); ++t) {
                if (!file.of_take[t]) continue;
                const TakeFile& own = take_files[t][*file.of_take[t]];
                constexpr std::size_t kNotHeard = static_cast<std::size_t>(-1);
                std::size_t index = place == 0 && own.header ? *own.header : kNotHeard;
                for (const auto& [p, i] : own.blocks)
                    if (p == place) index = i;
                if (index == kNotHeard) continue;
                const HeardBlock& heard = takes[t][index];
                const bool better = chosen.missing || (!chosen.heard.sound() && (heard.sound() || heard_better(heard, chosen.heard)));
                if (better) {
                    chosen.heard = heard;
                    chosen.take = t;
                    chosen.missing = false;
                }
            }
            tape.blocks.push_back(chosen);
        }
        if (file.has_header) {
            const MergedBlock& header = tape.blocks[tape.blocks.size() - places];
            tape.file_names.push_back(header.missing ? std::string() : shown_file_name(header.heard.block));
        }
    }
    return tape;
}

namespace {

// "blocs 0-3 de A.wav, 4 de B.wav (faux), 5-9 de A.wav": which take gave
// which block of one file, in runs.
std::string takes_of_file(const std::vector<const MergedBlock*>& blocks, const std::vector<std::string>& takes)
{
    std::string text = kBlocksWord;
    const auto same_run = [](const MergedBlock* a, const MergedBlock* b) {
        return a->missing == b->missing && a->take == b->take && a->heard.sound() == b->heard.sound();
    };
    for (std::size_t i = 0; i < blocks.size();) {
        std::size_t j = i + 1;
        while (j < blocks.size() && same_run(blocks[i], blocks[j])) ++j;
        if (i > 0) text += kListSeparator;
        text += std::to_string(blocks[i]->place);
        if (j - i > 1) text += kRangeDash + std::to_string(blocks[j - 1]->place);
        if (blocks[i]->missing) text += kMissingMark;
        else text += kFromTake + takes[blocks[i]->take] + (blocks[i]->heard.sound() ? "" : kWrongMark);
        i = j;
    }
    return text;
}

}  // namespace

std::string TakeSet::add(std::istream& recording)
{
    DecodedRecording decoded = decode_recording(recording);
    takes_.push_back(std::move(decoded.blocks));
    if (!decoded.error.empty()) return decoded.error;
    return takes_.back().empty() ? kNoBlockText : "";
}

MergeReport merge_report(const MergedTape& tape, const std::vector<std::string>& takes, const std::string& image_name)
{
    MergeReport report;
    for (std::size_t b = 0; b < tape.blocks.size();) {
        std::vector<const MergedBlock*> file;
        const std::size_t which = tape.blocks[b].file;
        for (; b < tape.blocks.size() && tape.blocks[b].file == which && (file.empty() || tape.blocks[b].place != 0); ++b)
            file.push_back(&tape.blocks[b]);
        const std::string name = which == kBeforeAnyFile          ? kNoHeader
                                 : tape.file_names[which].empty() ? kUnnamed
                                                                  : tape.file_names[which];
        report.files.push_back(name + kFieldSeparator + takes_of_file(file, takes));
        for (const MergedBlock* block : file) {
            if (!block->missing && block->heard.sound()) continue;
            const std::string where = image_name + kFieldSeparator + name + kFieldSeparator + kBlockWord + std::to_string(block->place);
            report.problems.push_back(block->missing ? where + kHeardInNoTake
                                                     : where + kSoundInNoTake + takes[block->take] + kFieldSeparator +
                                                           heard_block_problem(block->heard));
        }
    }
    return report;
}

std::string takes_heading(const std::vector<std::string>& takes)
{
    std::string heading;
    for (const auto& take : takes) heading += (heading.empty() ? "" : kTakesJoiner) + take;
    return heading;
}

}  // namespace morlevix
