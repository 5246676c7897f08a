// Texts in both languages, as the tests compare and print them.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "common/two_languages.h"

namespace morlevix {

// gtest prints a text in both languages.
inline void PrintTo(const Said& said, std::ostream* out) { *out << '"' << said.fr() << "\" / \"" << said.en() << '"'; }

namespace testing {

inline std::vector<std::string> french(const std::vector<Said>& texts)
{
    std::vector<std::string> result;
    for (const auto& text : texts) result.push_back(text.fr());
    return result;
}

// The French of lines that carry their text (a merge's problems...).
template <typename Line>
std::vector<std::string> french(const std::vector<Line>& lines)
{
    std::vector<std::string> result;
    for (const auto& line : lines) result.push_back(line.text.fr());
    return result;
}

}  // namespace testing
}  // namespace morlevix
