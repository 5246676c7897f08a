#include "file_checks.h"

#include "tape/catalog/tape_catalog.h"

namespace morlevix {
namespace {

// The ASCII flag of a program saved tokenized (its header may then give its length).
constexpr std::uint8_t kTokenizedProgram = 0x00;

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
constexpr Text kNoEndImageStops{"pas de bloc de fin : l'image s'arrete avant la fin du fichier",
                                "no end block: the image ends before the end of the file"};

}  // namespace

void check_blocks_outside_files(const HeardTape& tape, const TapeFiles& files, TapeAccount& account)
{
    const auto& before_any = files.before_any;
    if (!before_any.empty())
        add_problem(account, AccountProblem::before_any_header, tape.start_of(before_any.front()),
                    counted(before_any.size(), kBlockWord, kBlocksWord) + kBeforeAnyHeader +
                        tape.span_of(before_any.front(), before_any.back()));
    const auto& without = files.without;
    for (std::size_t i = 0; i < without.size();) {
        // A run of them, between an end block and the next header.
        std::size_t j = i + 1;
        while (j < without.size() && without[j] == without[j - 1] + 1) ++j;
        add_problem(account, AccountProblem::without_header, tape.start_of(without[i]),
                    counted(j - i, kBlockWord, kBlocksWord) + kWithoutHeader + tape.span_of(without[i], without[j - 1]));
        i = j;
    }
}

Said file_name(const HeardTape& tape, const FileBlocks& file)
{
    const HeardBlock& header = tape.block(file.header);
    const bool named = opens_file(header) && (header.complete || header.block.length >= kNameOffset + kNameLength);
    return named ? kFile + shown_file_name(header.block) + kFieldSeparator
                 : kHeaderBroken + tape.place_of(file.header) + std::string(")") + kFieldSeparator;
}

bool may_still_end(const HeardTape& tape, std::size_t next_header)
{
    return tape.still_coming() && next_header == tape.blocks().size();
}

void check_end_block(const HeardTape& tape, const FileBlocks& file, std::size_t next_header, const Said& name,
                     TapeAccount& account)
{
    if (file.ended || may_still_end(tape, next_header)) return;
    const bool next = next_header < tape.blocks().size();
    if (!tape.timed()) {
        add_problem(account, AccountProblem::no_end_block, 0,
                    name + (next ? kNoEndBeforeNext + tape.at_place_of(next_header) + std::string(")") : Said(kNoEndImageStops)));
        return;
    }
    const std::size_t last = file.members.empty() ? file.header : file.members.back();
    const double ends = tape.end_of(last);
    add_problem(account, AccountProblem::no_end_block, ends,
                next ? name + kNoEndBeforeNext + tape.at_place_of(next_header) + kLastHeardEnds + recording_time_text(ends)
                     : name + kNoEndRecordingStops + recording_time_text(tape.start_of(last)) + kRecordingEnds +
                           (recording_time_text(tape.seconds()) + ")"));
}

void note_program_size(const HeardTape& tape, const FileBlocks& file, const Said& name, TapeAccount& account)
{
    const HeardBlock& header = tape.block(file.header);
    if (!file.ended || !header.sound() || header.block.at(kFileTypeOffset) != kBasicFile ||
        header.block.at(kAsciiFlagOffset) != kTokenizedProgram)
        return;
    const std::size_t said = header.block.word_at(kSecondAddressOffset);
    std::size_t bytes = 0;
    for (const std::size_t b : file.members)
        if (is_data(tape.block(b))) bytes += tape.block(b).block.payload_length();
    if (said == 0 || bytes == said) return;
    account.notes.push_back({AccountProblem::other_size, header.seconds,
                             name + kBasicProgramOf + counted(bytes, kByteWord, kBytesWord) + kHeaderSays + std::to_string(said) +
                                 kFieldFilledOtherwise,
                             std::nullopt});
}

}  // namespace morlevix
