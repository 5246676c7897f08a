#include "basic_properties.h"

#include <sstream>

#include "basic/basic_program.h"
#include "tape/reading/tape_contents.h"
#include "tape/catalog/tape_files.h"

namespace morlevix::testing {
namespace {

constexpr std::size_t kLongestListedByte = 8;     // "RESTORE", or a 5-byte line's "65535 " and line break
constexpr std::size_t kLongestListedNumber = 8;

}  // namespace

std::string broken_basic_property(const Bytes& bytes)
{
    // A tape image: every BASIC file lists, however broken.
    std::istringstream image(std::string(bytes.begin(), bytes.end()));
    for (const auto& file : files_on_tape(read_tape_image(image).blocks))
        if (file.info.file_type == kBasicFile) list_basic_program(file.bytes);

    // A program: the listing ends, no longer than every byte spelled as
    // the longest keyword and every line numbered.
    const auto listing = list_basic_program(bytes);
    if (listing.text.size() > kLongestListedByte * bytes.size() + kLongestListedNumber)
        return "a listing longer than the program can give";

    // A listing: what it makes is a sound program, and the machine's listing
    // of a program made from a listing makes the very same bytes again. (Not
    // always from the first listing: "L?" types as L PRINT, which lists as
    // LPRINT, as on the machine.)
    const std::string text(bytes.begin(), bytes.end());
    const auto made = tokenize_basic_listing(text, kAliceProgramStart);
    const auto made_listing = list_basic_program(made.bytes);
    if (!made_listing.problems.empty()) return "a program made from a listing lists with problems";
    const auto listed_once = tokenize_basic_listing(made_listing.text, kAliceProgramStart);
    if (!listed_once.errors.empty()) return "";
    const auto again = tokenize_basic_listing(list_basic_program(listed_once.bytes).text, kAliceProgramStart);
    if (again.bytes != listed_once.bytes) return "a program listed and typed again differs";
    return "";
}

std::vector<Bytes> seed_basic()
{
    const std::string listing =
        "10 CLS:FOR I=1 TO 10:?\"SCORE\";I:NEXT\n20 DATA 1,\"A:B\",\x8f:IF A<>B THEN 10\n"
        "30 REM \xff\x80 GOSUB\n40 X=PEEK(16384)+LEN(A$):PRINT TAB(3);MID$(A$,1,2)\n";
    const auto program = tokenize_basic_listing(listing, kAliceProgramStart).bytes;
    NewTapeFile file;
    file.name = "PROG";
    file.file_type = kBasicFile;
    file.second_address = static_cast<std::uint16_t>(program.size());
    file.bytes = program;
    return {Bytes(listing.begin(), listing.end()), tape_image_of_files({file}), program};
}

}  // namespace morlevix::testing
