#include "cli/user_language.h"

#include <cstdlib>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace morlevix {
namespace {

constexpr const char* kLocaleVariables[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
constexpr char kEnglish[] = "en";
constexpr std::size_t kEnglishLength = 2;

// The locale named by the environment, or nothing.
std::string locale_named(const EnvironmentLookup& environment)
{
    for (const char* variable : kLocaleVariables) {
        const char* value = environment(variable);
        if (value != nullptr && *value != '\0') return value;
    }
    return {};
}

}  // namespace

Language language_of_locale(const EnvironmentLookup& environment)
{
    const std::string locale = locale_named(environment);
    // "en", "en_US", "en.UTF-8", "en@euro": the language ends at any of these.
    const bool english = locale.compare(0, kEnglishLength, kEnglish) == 0 &&
                         (locale.size() == kEnglishLength || locale.find_first_of("_.@") == kEnglishLength);
    return english ? Language::english : Language::french;
}

Language user_language()
{
    const EnvironmentLookup environment = [](const char* name) -> const char* { return std::getenv(name); };
#ifdef _WIN32
    if (locale_named(environment).empty())
        return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_ENGLISH ? Language::english : Language::french;
#endif
    return language_of_locale(environment);
}

}  // namespace morlevix
