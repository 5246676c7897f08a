// BASIC programs as the Alice 32 and 90 (and the TRS-80 MC-10, which runs
// the same Microsoft BASIC) keep them in memory and on tape: a chain of
// lines, each the address of the next line, its number, its tokenized text
// and a 0x00, then 0x00 0x00 after the last one. Keywords are one byte
// each, from 0x80 (FOR) to 0xC8 (MEM).
//
// Listing a program writes it as the machine's LIST does; tokenizing a
// listing stores it as the machine does when the lines are typed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/two_languages.h"

namespace morlevix {

// Where programs start in memory, and so what their line links point at.
inline constexpr std::uint16_t kAliceProgramStart = 0x3346;
inline constexpr std::uint16_t kMc10ProgramStart = 0x4346;

inline constexpr std::uint8_t kFirstToken = 0x80;
inline constexpr std::uint8_t kLastToken = 0xC8;
inline constexpr unsigned kHighestLineNumber = 63999;
// The longest line the machine takes, in bytes once tokenized: its line
// input holds four screen lines of 32 characters, and tokens only shorten
// a line (so a listed line may be longer, where keywords were abbreviated).
inline constexpr std::size_t kLongestLine = 128;

// The keyword of a token byte, or nullptr for a byte that is none.
const char* keyword_of(std::uint8_t token);

// A program as its LIST shows it.
struct BasicListing {
    // One line per program line, "NUMBER TEXT\n": keywords spelled out,
    // every other byte as it is (bytes of 0x80 and above inside strings,
    // DATA and REM included), bytes that are no keyword of this BASIC as
    // '!', as the machine shows them.
    std::string text;
    std::vector<std::uint8_t> unknown_tokens;  // those bytes, each once
    // What is broken: a link that leads outside the program, a line
    // without its end, no end of program. The listing goes as far as the
    // program can be read.
    std::vector<Said> problems;
};

BasicListing list_basic_program(const std::vector<std::uint8_t>& program);

// A listing tokenized as if its lines were typed on the machine.
struct TokenizedProgram {
    std::vector<std::uint8_t> bytes;  // the program, its links for `start`
    // "ligne N du texte : ..." for each line the machine would refuse (no
    // number, a number above 63999, longer than it takes); such lines are
    // left out.
    std::vector<Said> errors;
    // "ligne N du texte : ..." for lines that hold UTF-8 letters the
    // machine does not have, whose bytes are kept as they are, and for
    // direct commands without a line number (NEW, RUN, ...), passed over.
    std::vector<Said> warnings;
};

// `text` holds one program line per text line ("\n", "\r\n" or "\r").
// Lines are kept in number order; a line typed again replaces the earlier
// one, and a number alone deletes that line.
TokenizedProgram tokenize_basic_listing(const std::string& text, std::uint16_t start);

}  // namespace morlevix
