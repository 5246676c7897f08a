// What the batch needs from a command interpreter, done in-process: listing
// the tape images that match a typed pattern, and pausing for a key.
// Nothing typed ever reaches a shell.
#pragma once

#include <cstdio>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace morlevix {

inline constexpr char kTapeExtension[] = ".k7";
inline constexpr char kNothingFoundMessage[] = "Fichier introuvable";
inline constexpr char kPausePrompt[] = "Appuyez sur une touche pour continuer...";

// True when `name` matches `pattern`, ignoring case: '*' matches any run of
// characters, none included, and '?' exactly one.
bool matches_wildcard(const std::string& pattern, const std::string& name);

// The regular files that match `pattern`, in name order regardless of case.
// The wildcards apply to the last component; a directory part is kept in
// front of each name so that the file is read where it lies.
std::vector<std::string> list_matching_files(const std::string& pattern);

// The same for `pattern` followed by ".k7": the tape images that the batch
// converts for a typed name.
std::vector<std::string> list_tape_images(const std::string& pattern);

// True when `text` holds a wildcard.
bool has_wildcards(const std::string& text);

// Windows hands "*.k7" to a program as it is typed; elsewhere the shell has
// expanded it before the program starts.
#ifdef _WIN32
inline constexpr bool kProgramExpandsWildcards = true;
#else
inline constexpr bool kProgramExpandsWildcards = false;
#endif

// Standard input or output carry bytes, not text, from now on: a tape image
// read from a pipe, a WAV written to one. Only Windows tells the two apart.
void use_binary_mode(std::FILE* stream);

// Thrown by the pause when the key pressed is the terminal's interrupt (or
// quit) key, after the terminal is restored: the program unwinds, so that
// everything it holds is released, and then ends by that signal.
struct InterruptedByUser {
    int signal;
};

// Shows the pause prompt on `out` and, when standard input is a terminal or
// console, waits for one key press; a redirected input is not read. The
// terminal is left as it was found.
void pause_for_key(std::ostream& out);

// For as long as it lives, the console shows and reads text as UTF-8, the
// encoding of file names throughout the program; the console's own code
// pages come back afterwards. Only Windows consoles need this.
class Utf8Console {
public:
    Utf8Console();
    ~Utf8Console();
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
#ifdef _WIN32
    unsigned input_code_page_;
    unsigned output_code_page_;
#endif
};

}  // namespace morlevix
