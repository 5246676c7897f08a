// The bundled example tape: one file "DEMO" of three data blocks.
#pragma once

#include <string>

#include "tape_builder.h"

namespace morlevix::testing {

inline Bytes demo_tape()
{
    std::string text;
    for (int line = 1; text.size() < 600; ++line)
        text += std::to_string(line) + " MORLEVIX - CASSETTE DE DEMONSTRATION POUR ALICE\r";
    return tape_file("DEMO", Bytes(text.begin(), text.end()));
}

}  // namespace morlevix::testing
