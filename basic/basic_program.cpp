#include "basic_program.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>
#include <map>

namespace morlevix {
namespace {

// The keywords of tokens 0x80 to 0xC8, in token order: the order in which
// the machine tries them on a typed line.
constexpr const char* kKeywords[] = {
    "FOR",   "GOTO",  "GOSUB", "REM",    "IF",   "DATA",  "PRINT",  "ON",     "INPUT",  "END",  "NEXT",
    "DIM",   "READ",  "LET",   "RUN",    "RESTORE", "RETURN", "STOP", "POKE", "CONT",   "LIST", "CLEAR",
    "NEW",   "CLOAD", "CSAVE", "LLIST",  "LPRINT", "SET",  "RESET",  "CLS",    "SOUND",  "EXEC", "SKIPF",
    "TAB(",  "TO",    "THEN",  "NOT",    "STEP", "OFF",   "+",      "-",      "*",      "/",    "^",
    "AND",   "OR",    ">",     "=",      "<",    "SGN",   "INT",    "ABS",    "USR",    "RND",  "SQR",
    "LOG",   "EXP",   "SIN",   "COS",    "TAN",  "PEEK",  "LEN",    "STR$",   "VAL",    "ASC",  "CHR$",
    "LEFT$", "RIGHT$", "MID$", "POINT",  "VARPTR", "INKEY$", "MEM"};
static_assert(sizeof kKeywords / sizeof kKeywords[0] == kLastToken - kFirstToken + 1, "one keyword per token");

constexpr std::uint8_t kRemToken = 0x83;
// The direct commands that listings kept beside their tapes often hold
// without a line number, as they were typed around the program: NEW before
// it, RUN after it, CLEAR, CLS, LIST, CLOAD and CSAVE.
constexpr std::uint8_t kDirectCommands[] = {0x96, 0x8E, 0x95, 0x9D, 0x94, 0x97, 0x98};
constexpr std::uint8_t kDataToken = 0x85;
constexpr std::uint8_t kPrintToken = 0x86;
constexpr char kPrintShorthand = '?';
constexpr char kQuote = '"';
constexpr char kStatementEnd = ':';
constexpr char kShownForUnknown = '!';
constexpr std::uint8_t kLineEnd = 0x00;
constexpr std::size_t kLinkSize = 2;
constexpr std::size_t kNumberSize = 2;
constexpr unsigned kByteBits = 8;
constexpr unsigned kByteMask = 0xFF;
constexpr std::uint8_t kFirstHighByte = 0x80;

std::uint16_t word_at(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes[at] << kByteBits | bytes[at + 1]);
}

void put_word(std::vector<std::uint8_t>& bytes, unsigned value)
{
    bytes.push_back(static_cast<std::uint8_t>((value >> kByteBits) & kByteMask));
    bytes.push_back(static_cast<std::uint8_t>(value & kByteMask));
}

std::string hex_word(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

// What is wrong with a program or a listing, as the console says it.
constexpr Text kLine{"ligne ", "line "};
constexpr Text kNoProgramEnd{"fin du programme manquante", "end of the program missing"};
constexpr Text kLastLineCut{"derniere ligne coupee avant son numero", "last line cut before its number"};
constexpr Text kWithoutEnd{"sans fin", "without an end"};
constexpr Text kLinkTo{"lien vers ", "link to "};
constexpr Text kOutsideProgram{", hors du programme", ", outside the program"};
constexpr Text kOfText{" du texte", " of the text"};
constexpr Text kDirectCommand{" : commande directe passee : ", ": direct command passed over: "};
constexpr Text kNoLineNumber{" : pas de numero de ligne", ": no line number"};
constexpr Text kNumberBeyond{" : numero de ligne au-dela de ", ": line number beyond "};
constexpr Text kLettersNotThere{" : lettres que la machine n'a pas (", ": letters the machine does not have ("};
constexpr Text kKeptAsTheyAre{"), gardees telles quelles", "), kept as they are"};
constexpr Text kTooLong{" : trop longue (", ": too long ("};
constexpr Text kBytesTokenized{" octets une fois tokenisee, ", " bytes once tokenized, "};
constexpr Text kAtMost{" au plus)", " at most)"};

Said line_problem(unsigned number, const Said& what) { return kLine + std::to_string(number) + kFieldSeparator + what; }

// What the machine's LIST shows of a line's tokenized text.
void list_text(const std::uint8_t* text, std::size_t length, BasicListing& listing)
{
    bool quoted = false, data = false, rem = false;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t b = text[i];
        if (rem || quoted || data) {
            // Inside a string, DATA or REM every byte is a character.
            listing.text += static_cast<char>(b);
            if (b == kQuote) quoted = !quoted;
            else if (data && !quoted && b == kStatementEnd) data = false;
            continue;
        }
        if (b == kQuote) {
            quoted = true;
            listing.text += static_cast<char>(b);
        } else if (const char* keyword = keyword_of(b)) {
            listing.text += keyword;
            rem = b == kRemToken;
            data = b == kDataToken;
        } else if (b >= kFirstHighByte) {
            listing.text += kShownForUnknown;
            if (std::find(listing.unknown_tokens.begin(), listing.unknown_tokens.end(), b) == listing.unknown_tokens.end())
                listing.unknown_tokens.push_back(b);
        } else {
            listing.text += static_cast<char>(b);
        }
    }
}

// The end of the keyword `keyword` if the typed text at `at` spells it,
// spaces inside it skipped, or 0.
std::size_t keyword_end(const std::string& text, std::size_t at, const char* keyword)
{
    for (const char* k = keyword; *k != '\0'; ++k) {
        if (k != keyword)
            while (at < text.size() && text[at] == ' ') ++at;
        if (at >= text.size() || text[at] != *k) return 0;
        ++at;
    }
    return at;
}

// A typed line's text, tokenized as the machine stores it.
std::vector<std::uint8_t> tokenize_text(const std::string& text)
{
    std::vector<std::uint8_t> out;
    bool quoted = false, data = false, rem = false;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<std::uint8_t>(text[i]);
        if (rem || quoted || data) {
            // Copied as it is: a string, the rest of a REM, DATA up to a
            // colon outside quotes.
            out.push_back(c);
            if (c == kQuote) quoted = !quoted;
            else if (data && !quoted && c == kStatementEnd) data = false;
            ++i;
            continue;
        }
        if (c == kQuote) {
            quoted = true;
            out.push_back(c);
            ++i;
            continue;
        }
        if (c == kPrintShorthand) {
            out.push_back(kPrintToken);
            ++i;
            continue;
        }
        if (c >= kFirstHighByte) {
            out.push_back(kShownForUnknown);  // the machine keeps no such byte outside strings
            ++i;
            continue;
        }
        std::size_t end = 0;
        unsigned token = kFirstToken;
        for (; token <= kLastToken; ++token)
            if ((end = keyword_end(text, i, kKeywords[token - kFirstToken])) != 0) break;
        if (end == 0) {
            out.push_back(c);
            ++i;
            continue;
        }
        out.push_back(static_cast<std::uint8_t>(token));
        rem = token == kRemToken;
        data = token == kDataToken;
        i = end;
    }
    return out;
}

// The letters written in UTF-8 in a line: characters the machine does not
// have (its bytes of 0x80 and above are semigraphic blocks).
std::string utf8_letters(const std::string& line)
{
    std::string found;
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        const auto lead = static_cast<unsigned char>(line[i]);
        const auto next = static_cast<unsigned char>(line[i + 1]);
        // Two-byte sequences from U+00C0 on: accented and other letters.
        constexpr unsigned char kFirstLetterLead = 0xC3, kLastTwoByteLead = 0xDF;
        constexpr unsigned char kContinuationMask = 0xC0, kContinuation = 0x80;
        if (lead >= kFirstLetterLead && lead <= kLastTwoByteLead && (next & kContinuationMask) == kContinuation) {
            found += line.substr(i, 2);
            ++i;
        }
    }
    return found;
}

// The text lines of a listing, whatever its line breaks.
std::vector<std::string> text_lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

}  // namespace

const char* keyword_of(std::uint8_t token)
{
    return token >= kFirstToken && token <= kLastToken ? kKeywords[token - kFirstToken] : nullptr;
}

BasicListing list_basic_program(const std::vector<std::uint8_t>& program)
{
    BasicListing listing;
    long base = -1;  // the address the program was saved from, learned from its first link
    std::size_t at = 0;
    for (;;) {
        if (at + kLinkSize > program.size()) {
            listing.problems.push_back(kNoProgramEnd);
            break;
        }
        const std::uint16_t link = word_at(program, at);
        if (link == 0) break;
        if (at + kLinkSize + kNumberSize > program.size()) {
            listing.problems.push_back(kLastLineCut);
            break;
        }
        const unsigned number = word_at(program, at + kLinkSize);
        const std::size_t text = at + kLinkSize + kNumberSize;
        const auto end = std::find(program.begin() + static_cast<std::ptrdiff_t>(text), program.end(), kLineEnd);
        const auto length = static_cast<std::size_t>(end - program.begin()) - text;
        listing.text += std::to_string(number) + " ";
        list_text(program.data() + text, length, listing);
        listing.text += '\n';
        if (end == program.end()) {
            listing.problems.push_back(line_problem(number, kWithoutEnd));
            break;
        }
        const std::size_t next = text + length + 1;
        if (base < 0) base = static_cast<long>(link) - static_cast<long>(next);
        const long target = static_cast<long>(link) - base;
        if (target < 0 || target > static_cast<long>(program.size()))
            listing.problems.push_back(line_problem(number, kLinkTo + hex_word(link) + kOutsideProgram));
        at = next;
    }
    return listing;
}

namespace {

// True when the line, without a number, begins with one of the direct
// commands, with or without arguments, in capitals or not.
bool is_direct_command(const std::string& line)
{
    std::string upper = line;
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto tokens = tokenize_text(upper);
    return !tokens.empty() &&
           std::find(std::begin(kDirectCommands), std::end(kDirectCommands), tokens.front()) != std::end(kDirectCommands);
}

std::string without_trailing_spaces(std::string text)
{
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace

TokenizedProgram tokenize_basic_listing(const std::string& text, std::uint16_t start)
{
    TokenizedProgram result;
    std::map<unsigned, std::vector<std::uint8_t>> lines;
    std::size_t counted = 0;
    for (auto line : text_lines(text)) {
        ++counted;
        // A NUL cannot be typed (and would end the line in memory).
        line.erase(std::remove(line.begin(), line.end(), static_cast<char>(kLineEnd)), line.end());
        const Said where = kLine + std::to_string(counted) + kOfText;
        std::size_t at = line.find_first_not_of(' ');
        if (at == std::string::npos) continue;  // a blank line
        unsigned long number = 0;
        const std::size_t digits = at;
        while (at < line.size() && line[at] >= '0' && line[at] <= '9' && number <= kHighestLineNumber)
            number = number * 10 + static_cast<unsigned long>(line[at++] - '0');
        if (at == digits) {
            if (is_direct_command(line.substr(at)))
                result.warnings.push_back(where + kDirectCommand + without_trailing_spaces(line.substr(at)));
            else
                result.errors.push_back(where + kNoLineNumber);
            continue;
        }
        if (number > kHighestLineNumber) {
            result.errors.push_back(where + kNumberBeyond + std::to_string(kHighestLineNumber));
            continue;
        }
        while (at < line.size() && line[at] == ' ') ++at;
        const std::string letters = utf8_letters(line);
        if (!letters.empty())
            result.warnings.push_back(where + kLettersNotThere + letters + kKeptAsTheyAre);
        if (at == line.size()) {
            lines.erase(number);  // a number alone deletes its line
            continue;
        }
        auto tokens = tokenize_text(line.substr(at));
        if (tokens.size() > kLongestLine) {
            result.errors.push_back(where + kTooLong + std::to_string(tokens.size()) + kBytesTokenized +
                                    std::to_string(kLongestLine) + kAtMost);
            continue;
        }
        lines[number] = std::move(tokens);
    }
    unsigned address = start;
    for (auto it = lines.begin(); it != lines.end(); ++it) {
        const auto& tokens = it->second;
        address += kLinkSize + kNumberSize + tokens.size() + 1;  // where the next line starts
        put_word(result.bytes, address);
        put_word(result.bytes, it->first);
        result.bytes.insert(result.bytes.end(), tokens.begin(), tokens.end());
        result.bytes.push_back(kLineEnd);
    }
    put_word(result.bytes, 0);
    return result;
}

}  // namespace morlevix
