#include "console/file_patterns.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "common/file_names.h"

namespace morlevix {
namespace {

constexpr char kAnyRun = '*';
constexpr char kAnyOne = '?';

char fold(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool is_continuation_byte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Where the character starting at `at` ends: '?' stands for one character,
// which in UTF-8 may take several bytes.
std::size_t after_character(const std::string& text, std::size_t at)
{
    ++at;
    while (at < text.size() && is_continuation_byte(text[at])) ++at;
    return at;
}

bool less_ignoring_case(const std::string& a, const std::string& b)
{
    const auto folded_less = [](char x, char y) { return fold(x) < fold(y); };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), folded_less)) return true;
    if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), folded_less)) return false;
    return a < b;  // same but for case: a stable order all the same
}

// Names with a line break cannot stand on one line of the console.
bool fits_on_a_line(const std::string& name) { return name.find_first_of("\r\n") == std::string::npos; }

}  // namespace

bool matches_wildcard(const std::string& pattern, const std::string& name)
{
    std::size_t p = 0, n = 0;
    // Where to resume after the last '*': the pattern just past it, and the
    // name one character further than the last try.
    std::size_t star = std::string::npos, star_name = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == kAnyRun) {
            star = ++p;
            star_name = n;
        } else if (p < pattern.size() && pattern[p] == kAnyOne) {
            ++p;
            n = after_character(name, n);
        } else if (p < pattern.size() && fold(pattern[p]) == fold(name[n])) {
            ++p;
            ++n;
        } else if (star != std::string::npos) {
            p = star;
            n = star_name = after_character(name, star_name);
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == kAnyRun) ++p;
    return p == pattern.size();
}

std::vector<std::string> list_matching_files(const std::string& full)
{
    const std::string directory = full.substr(0, file_name_start(full));
    const std::string file_pattern = full.substr(directory.size());

    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator entries(directory.empty() ? "." : path_from_name(directory), error);
    for (const auto end = std::filesystem::directory_iterator(); !error && entries != end; entries.increment(error)) {
        std::error_code not_regular;
        if (!entries->is_regular_file(not_regular)) continue;
        const std::string name = name_from_path(entries->path().filename());
        if (fits_on_a_line(name) && matches_wildcard(file_pattern, name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), less_ignoring_case);
    for (auto& name : names) name = directory + name;
    return names;
}

bool has_wildcards(const std::string& text)
{
    return text.find(kAnyRun) != std::string::npos || text.find(kAnyOne) != std::string::npos;
}

}  // namespace morlevix
