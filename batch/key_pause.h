// The batch's pause, done in-process in place of a command interpreter's:
// a prompt, then one key press read straight from the terminal.
#pragma once

#include <iosfwd>

namespace morlevix {

inline constexpr char kPausePrompt[] = "Appuyez sur une touche pour continuer...";

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

}  // namespace morlevix
