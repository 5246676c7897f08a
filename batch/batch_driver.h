// The interactive batch: banner, name or pattern, confirmation, then one
// conversion per matching tape image with a pause after each, and farewell.
#pragma once

#include <iosfwd>

namespace morlevix {

// Runs one batch in the current directory, talking on `out` and reading the
// answers from `in`; the listing's "nothing found" goes to `errors`.
// The result is the program's exit status: 0 whatever happened.
int run_batch(std::istream& in, std::ostream& out, std::ostream& errors);

}  // namespace morlevix
