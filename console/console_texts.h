// The console lines that the interactive batch and the command line share,
// word for word: what a conversion says of an image, and the files that
// cannot be read, created or written.
#pragma once

namespace morlevix {

inline constexpr char kTruncatedBlockText[] = "Anomalie bloc ";  // followed by two hex digits
inline constexpr char kTooLongText[] = "Fichier .wav trop long : conversion arretee";
inline constexpr char kCannotReadText[] = "Impossible de lire ";       // followed by the file's name
inline constexpr char kCannotCreateText[] = "Impossible de creer ";    // followed by the file's name
inline constexpr char kWriteErrorText[] = "Erreur d'ecriture de ";     // followed by the file's name

}  // namespace morlevix
