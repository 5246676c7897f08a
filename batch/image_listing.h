// The batch's list of the tape images to convert for a typed name, made in
// memory: no listing file is written, and nothing typed reaches a shell.
#pragma once

#include <string>
#include <vector>

namespace morlevix {

inline constexpr char kNothingFoundMessage[] = "Fichier introuvable";

// The tape images that match `pattern` followed by ".k7", in name order
// regardless of case, each with the directory part of the pattern.
std::vector<std::string> list_tape_images(const std::string& pattern);

}  // namespace morlevix
