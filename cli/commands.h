// The commands that work on tape images: convert them into WAV files, and
// list what they hold.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console/console_streams.h"

namespace morlevix {

// Converts every image (or standard input, for "-") into its WAV: the one
// beside it, or `output` when given ("-": standard output). The exit status.
int convert_images(const std::vector<std::string>& images, const std::optional<std::string>& output,
                   const ConsoleStreams& console);

// Decodes every recording (or standard input, for "-") into its tape image:
// the one beside it, or `output` when given ("-": standard output). The exit status.
int decode_recordings(const std::vector<std::string>& recordings, const std::optional<std::string>& output,
                      const ConsoleStreams& console);

// Merges several takes of one tape (recordings, or "-" for standard input)
// into one image: `output`, by default beside the first take. The console
// says which take gave which block. The exit status: 1 when some block was
// sound in no take.
int merge_recordings(const std::vector<std::string>& takes, const std::optional<std::string>& output,
                     const ConsoleStreams& console);

// Lists the files of every image or recording (decoded in memory), and
// with `blocks` every block. The exit status.
int list_images(const std::vector<std::string>& images, bool blocks, const ConsoleStreams& console);

}  // namespace morlevix
