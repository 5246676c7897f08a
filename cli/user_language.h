// The language the command line speaks: English when the user's locale
// asks for it, French otherwise (French itself, or the C locale of scripts
// and CI, where the words stay as they always were).
#pragma once

#include <functional>
#include <string>

#include "common/two_languages.h"

namespace morlevix {

// A variable of the environment, or null when it is not set.
using EnvironmentLookup = std::function<const char*(const char* name)>;

// From LC_ALL, else LC_MESSAGES, else LANG (the first one set and not
// empty), by its language part: "en_GB.UTF-8" is English.
Language language_of_locale(const EnvironmentLookup& environment);

// The user's language: the locale's; on Windows, where no variable sets
// one, the language of the user's interface.
Language user_language();

}  // namespace morlevix
