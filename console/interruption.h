// What an interruption leaves: Ctrl-C, a termination signal or a closed
// terminal during a conversion, a decoding or a make removes the file being
// written under its temporary name, and the program then ends by that
// signal, so that the shell sees its usual status (130 for Ctrl-C, 143 for
// a termination).
#pragma once

namespace morlevix {

// Installs the handlers, for the rest of the program's life.
void clean_up_when_interrupted();

}  // namespace morlevix
