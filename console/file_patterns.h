// File names matched against wildcard patterns, as a command interpreter
// would list them, done in-process: the batch lists the images for a typed
// name with it, and the command line expands its arguments with it where
// the system's shell does not.
#pragma once

#include <string>
#include <vector>

namespace morlevix {

// True when `name` matches `pattern`, ignoring case: '*' matches any run of
// characters, none included, and '?' exactly one.
bool matches_wildcard(const std::string& pattern, const std::string& name);

// The regular files that match `pattern`, in name order regardless of case.
// The wildcards apply to the last component; a directory part is kept in
// front of each name so that the file is read where it lies.
std::vector<std::string> list_matching_files(const std::string& pattern);

// True when `text` holds a wildcard.
bool has_wildcards(const std::string& text);

// Windows hands "*.k7" to a program as it is typed; elsewhere the shell has
// expanded it before the program starts.
#ifdef _WIN32
inline constexpr bool kProgramExpandsWildcards = true;
#else
inline constexpr bool kProgramExpandsWildcards = false;
#endif

}  // namespace morlevix
