// File names as the programs carry them (UTF-8 on every system), and what
// is done with names before any file is read or written: the directory part
// and the file's own name, the names of the files a conversion makes, the
// test for two names of one file, and the opening of a file to read.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace morlevix {

// What separates the directory part of a file name from the name itself.
#ifdef _WIN32
inline constexpr char kPathSeparators[] = "/\\";
#else
inline constexpr char kPathSeparators[] = "/";
#endif

// The extensions of what the programs write.
inline constexpr char kTapeExtension[] = ".k7";
inline constexpr char kWavExtension[] = ".wav";

// Where the file's own name starts in `name`, after any directory part.
std::size_t file_name_start(const std::string& name);

// The name with its file name cut at the first dot and `extension` put in
// its place; any directory part is kept as it stands.
std::string name_with_extension(const std::string& name, const char* extension);
// The WAV name for an image: JEU.K7 gives JEU.wav, A.B.K7 gives A.wav.
std::string wav_name_for(const std::string& tape_name);

// The path a name stands for, and the name of a path.
std::filesystem::path path_from_name(const std::string& name);
std::string name_from_path(const std::filesystem::path& path);

// True when the two names stand for one and the same existing file.
bool same_file(const std::string& a, const std::string& b);

// Opens the file `name` for reading and reads its first byte: false when it
// cannot be read. Nothing else is touched before that is known.
bool open_input_file(const std::string& name, std::ifstream& file);

}  // namespace morlevix
