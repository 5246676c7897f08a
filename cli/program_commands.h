// The commands on the files of a tape: a BASIC program shown as text, the
// bytes of a file taken out, and a new tape image made of listings and
// binaries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "console/console_streams.h"

namespace morlevix {

// The BASIC program of `file_name` (by default the tape's first file) on
// `tape` (an image or a recording), as the machine lists it, to `output`
// or standard output. The exit status.
int show_basic(const std::string& tape, const std::optional<std::string>& file_name,
               const std::optional<std::string>& output, const ConsoleStreams& console);

// The bytes of `file_name` on `tape`, to `output` (by default NAME.bin in
// the current directory). The exit status.
int extract_file(const std::string& tape, const std::string& file_name, const std::optional<std::string>& output,
                 const ConsoleStreams& console);

// One file of a tape to make, with the options given before it.
struct TapeSource {
    std::string path;
    std::optional<std::string> name;  // --name
    std::optional<std::uint16_t> load;  // --load
    std::optional<std::uint16_t> exec;  // --exec
};

// A tape image holding one file per source: a .bas or .txt listing
// tokenized for the Alice (or the MC-10), anything else as machine code.
// Written to `output`, by default beside the first source. The exit status.
int make_tape(const std::vector<TapeSource>& sources, bool mc10, const std::optional<std::string>& output,
              const ConsoleStreams& console);

// A hex address as typed ("3346", "0x3346", "$3346"), or nothing.
std::optional<std::uint16_t> parse_address(const std::string& text);

}  // namespace morlevix
