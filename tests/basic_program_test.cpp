// BASIC programs: tokenized as the machine does when lines are typed, and
// listed as its LIST shows them, to the byte.
#include "said_in_tests.h"
#include "basic/basic_program.h"

#include <gtest/gtest.h>

namespace morlevix {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The tokenized text of a one-line program typed as "10 " + text.
Bytes tokens_of(const std::string& text)
{
    const auto program = tokenize_basic_listing("10 " + text + "\n", kAliceProgramStart);
    EXPECT_EQ(testing::french(program.errors), std::vector<std::string>{}) << text;
    if (program.bytes.size() < 7) return {};
    return Bytes(program.bytes.begin() + 4, program.bytes.end() - 3);  // link, number; the 0x00 and the end
}

std::string listed(const std::string& listing)
{
    return list_basic_program(tokenize_basic_listing(listing, kAliceProgramStart).bytes).text;
}

TEST(BasicProgram, EveryKeywordIsOneTokenAndListsBackAsTyped)
{
    // Two lines: every keyword and a colon would not fit in one.
    std::string lines[2];
    Bytes expected[2];
    for (unsigned token = kFirstToken; token <= kLastToken; ++token) {
        if (token == 0x83 || token == 0x85) continue;  // REM and DATA: the rest of the line is theirs
        const int half = token < 0xA4 ? 0 : 1;
        lines[half] += std::string(keyword_of(static_cast<std::uint8_t>(token))) + ":";
        expected[half].push_back(static_cast<std::uint8_t>(token));
        expected[half].push_back(':');
    }
    for (int half : {0, 1}) EXPECT_EQ(tokens_of(lines[half]), expected[half]);
    const std::string all = "10 " + lines[0] + "\n11 " + lines[1] + "\n20 DATA 1\n30 REM\n";
    EXPECT_EQ(listed(all), all);
    EXPECT_EQ(keyword_of(0x7F), nullptr);
    EXPECT_EQ(keyword_of(0xC9), nullptr);
}

TEST(BasicProgram, LinesAreTypedAsTheMachineTypesThem)
{
    // ? is PRINT; keywords inside names; spaces inside keywords skipped;
    // the table's order decides (FOR before OR, TAB( before TO).
    EXPECT_EQ(tokens_of("?A"), (Bytes{0x86, 'A'}));
    EXPECT_EQ(tokens_of("SCORE"), (Bytes{'S', 'C', 0xAD, 'E'}));
    EXPECT_EQ(tokens_of("GO TO 10"), (Bytes{0x81, ' ', '1', '0'}));
    EXPECT_EQ(tokens_of("P R I N T"), (Bytes{0x86}));
    EXPECT_EQ(tokens_of("FORMAT"), (Bytes{0x80, 'M', 'A', 'T'}));
    EXPECT_EQ(tokens_of("TAB(1)"), (Bytes{0xA1, '1', ')'}));
    EXPECT_EQ(tokens_of("A<=B"), (Bytes{'A', 0xB0, 0xAF, 'B'}));
    EXPECT_EQ(tokens_of("print"), (Bytes{'p', 'r', 'i', 'n', 't'}));  // the machine's keywords are capitals
    // Strings, DATA up to a colon outside quotes, and REM are kept as typed,
    // bytes of 0x80 and above included; elsewhere such a byte is stored as '!'.
    EXPECT_EQ(tokens_of("PRINT\"TO\x80:?\""), (Bytes{0x86, '"', 'T', 'O', 0x80, ':', '?', '"'}));
    EXPECT_EQ(tokens_of("DATA TO,\"A:B\",?:?"), (Bytes{0x85, ' ', 'T', 'O', ',', '"', 'A', ':', 'B', '"', ',', '?', ':', 0x86}));
    EXPECT_EQ(tokens_of("REM \xff\x01 GOTO:?"), (Bytes{0x83, ' ', 0xFF, 0x01, ' ', 'G', 'O', 'T', 'O', ':', '?'}));
    EXPECT_EQ(tokens_of("A=\xc8"), (Bytes{'A', 0xAF, '!'}));
}

TEST(BasicProgram, LinesGoInNumberOrderAndAreReplacedOrDeleted)
{
    const auto program = tokenize_basic_listing("  20 B\r\n10   A\r30 C\n\n20 BB\n30\n5 E", kAliceProgramStart);
    EXPECT_EQ(testing::french(program.errors), std::vector<std::string>{});
    // Links for the Alice: each line's first byte is where the next one starts.
    EXPECT_EQ(program.bytes, (Bytes{0x33, 0x4C, 0, 5, 'E', 0,  0x33, 0x52, 0, 10, 'A', 0,
                                    0x33, 0x59, 0, 20, 'B', 'B', 0,  0, 0}));
    EXPECT_EQ(list_basic_program(program.bytes).text, "5 E\n10 A\n20 BB\n");
    const auto mc10 = tokenize_basic_listing("1 A\n", kMc10ProgramStart);
    EXPECT_EQ(mc10.bytes, (Bytes{0x43, 0x4C, 0, 1, 'A', 0, 0, 0}));
}

TEST(BasicProgram, WhatTheMachineRefusesIsSaidWithItsLine)
{
    const std::string long_line = "3 REM" + std::string(kLongestLine, 'x');
    const auto program = tokenize_basic_listing("PRINT\n1 A\n64000 B\n63999 C\n" + long_line + "\n10 PRINT \"\xc3\xa9t\xc3\xa9\"\n",
                                                kAliceProgramStart);
    EXPECT_EQ(testing::french(program.errors), (std::vector<std::string>{
                                  "ligne 1 du texte : pas de numero de ligne",
                                  "ligne 3 du texte : numero de ligne au-dela de 63999",
                                  "ligne 5 du texte : trop longue (129 octets une fois tokenisee, 128 au plus)"}));
    EXPECT_EQ(testing::french(program.warnings), (std::vector<std::string>{
                                    "ligne 6 du texte : lettres que la machine n'a pas (\xc3\xa9\xc3\xa9), gardees telles quelles"}));
    EXPECT_EQ(list_basic_program(program.bytes).text, "1 A\n10 PRINT \"\xc3\xa9t\xc3\xa9\"\n63999 C\n");
    // A listed line longer than can be typed, where ? stood for PRINT, goes back all the same.
    const std::string abbreviated = "1 " + std::string(60, '?');
    EXPECT_EQ(tokenize_basic_listing(listed(abbreviated), kAliceProgramStart).bytes,
              tokenize_basic_listing(abbreviated, kAliceProgramStart).bytes);
}

TEST(BasicProgram, DirectCommandsAroundAListingArePassedOverWithANote)
{
    // As people keep listings: typed after NEW, followed by RUN, direct
    // commands with arguments, in capitals or not.
    const auto kept = tokenize_basic_listing(
        "NEW\r\n10 A=1\r\n  cls\r\nCLEAR 200\r\nLIST 10-20\r\nCLOAD\"JEU\"  \r\nCSAVE\"X\"\r\nRUN\r\n",
        kAliceProgramStart);
    EXPECT_EQ(testing::french(kept.errors), std::vector<std::string>{});
    EXPECT_EQ(kept.bytes, tokenize_basic_listing("10 A=1\n", kAliceProgramStart).bytes);
    EXPECT_EQ(testing::french(kept.warnings), (std::vector<std::string>{
                                 "ligne 1 du texte : commande directe passee : NEW",
                                 "ligne 3 du texte : commande directe passee : cls",
                                 "ligne 4 du texte : commande directe passee : CLEAR 200",
                                 "ligne 5 du texte : commande directe passee : LIST 10-20",
                                 "ligne 6 du texte : commande directe passee : CLOAD\"JEU\"",
                                 "ligne 7 du texte : commande directe passee : CSAVE\"X\"",
                                 "ligne 8 du texte : commande directe passee : RUN"}));
    // Any other line without a number is still refused.
    for (const std::string line : {"PRINT 3", "GOTO 10", "A=RUN", "END", "?\"NEW\""}) {
        const auto refused = tokenize_basic_listing("10 A\n" + line + "\n", kAliceProgramStart);
        EXPECT_EQ(testing::french(refused.errors), std::vector<std::string>{"ligne 2 du texte : pas de numero de ligne"}) << line;
        EXPECT_EQ(testing::french(refused.warnings), std::vector<std::string>{}) << line;
    }
}

TEST(BasicProgram, ListingShowsTheBytesAndTheUnknownTokensAsTheMachineDoes)
{
    const Bytes program = {0x33, 0x54, 0, 7, 0x86, '"', 0x80, 0xC9, '"', 0xC9, 0xFF, 0xC9, ':', 0x85, 0xC9, ':', 0xA7, 0,
                           0x33, 0x5B, 0, 8, 0x83, 0xFF, 0,  0, 0};
    const auto listing = list_basic_program(program);
    EXPECT_EQ(listing.text, "7 PRINT\"\x80\xc9\"!!!:DATA\xc9:+\n8 REM\xff\n");
    EXPECT_EQ(listing.unknown_tokens, (Bytes{0xC9, 0xFF}));
    EXPECT_EQ(testing::french(listing.problems), std::vector<std::string>{});
}

TEST(BasicProgram, ABrokenProgramIsListedAsFarAsItGoes)
{
    const Bytes good = {0x33, 0x4C, 0, 1, 'A', 0, 0x33, 0x52, 0, 2, 'B', 0};
    const auto with = [&](const Bytes& rest) {
        Bytes program = good;
        program.insert(program.end(), rest.begin(), rest.end());
        return list_basic_program(program);
    };
    EXPECT_EQ(testing::french(with({0, 0}).problems), std::vector<std::string>{});
    EXPECT_EQ(testing::french(with({}).problems), std::vector<std::string>{"fin du programme manquante"});
    EXPECT_EQ(testing::french(with({0x33}).problems), std::vector<std::string>{"fin du programme manquante"});
    EXPECT_EQ(testing::french(with({0x33, 0x58, 0}).problems), std::vector<std::string>{"derniere ligne coupee avant son numero"});
    const auto endless = with({0x33, 0x58, 0, 3, 'C', 'C'});
    EXPECT_EQ(endless.text, "1 A\n2 B\n3 CC\n");
    EXPECT_EQ(testing::french(endless.problems), std::vector<std::string>{"ligne 3 : sans fin"});
    const auto astray = with({0x99, 0x99, 0, 3, 'C', 0, 0, 0});
    EXPECT_EQ(astray.text, "1 A\n2 B\n3 C\n");
    EXPECT_EQ(testing::french(astray.problems), std::vector<std::string>{"ligne 3 : lien vers 9999, hors du programme"});
    EXPECT_EQ(testing::french(list_basic_program({}).problems), std::vector<std::string>{"fin du programme manquante"});
}

}  // namespace
}  // namespace morlevix
