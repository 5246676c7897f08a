// The console lines that the interactive batch and the command line share,
// word for word: what a conversion says of an image, and the files that
// cannot be read, created or written.
// The batch says them in French; the command line in the user's language.
#pragma once

#include "common/two_languages.h"

namespace morlevix {

inline constexpr Text kTruncatedBlockText{"Anomalie bloc ", "Anomaly in block "};  // followed by two hex digits
inline constexpr Text kTooLongText{"Fichier .wav trop long : conversion arretee", ".wav file too long: conversion stopped"};
inline constexpr Text kCannotReadText{"Impossible de lire ", "Cannot read "};      // followed by the file's name
inline constexpr Text kCannotCreateText{"Impossible de creer ", "Cannot create "};  // followed by the file's name
inline constexpr Text kWriteErrorText{"Erreur d'ecriture de ", "Error writing "};   // followed by the file's name

}  // namespace morlevix
