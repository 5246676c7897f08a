// Tapes recorded as decks and recorders damage them, drawn from a seed:
// what must hold of every decode and every merge of such takes. Run a few
// hundred at a time by the test suite, and thousands by damage_run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "recordings.h"

namespace morlevix::testing {

// One tape (one file, several files, or a file whose every block has its
// gap and leader) recorded with light hiss and one to three damages
// (dropouts, bursts of noise, splices, the recording stopped early); with
// `takes` above 1, as many takes, each damaged its own way, at other speeds
// (up to 6 %) and starts. Checks that status 0 (the decode sound, or the
// merge without a problem) means the image is the tape, and that a merge
// of takes that heard every block whole somewhere gives the tape, status
// 0. Returns what did not hold, or an empty text.
std::string broken_damage_property(std::uint32_t seed, int takes);

// The tape and takes that seed draws, and what was done to them.
struct DamageCase {
    Bytes image;
    std::vector<Recording> takes;
    std::vector<bool> stopped;  // each take stopped early
    std::string said;
};
DamageCase drawn_damage_case(std::uint32_t seed, int takes);

}  // namespace morlevix::testing
