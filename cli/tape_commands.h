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

// Lists the files of every image or recording (decoded in memory), and
// with `blocks` every block. The exit status.
int list_images(const std::vector<std::string>& images, bool blocks, const ConsoleStreams& console);

}  // namespace morlevix
