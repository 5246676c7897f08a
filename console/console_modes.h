// How the console carries what the programs read and write: bytes rather
// than text on standard input and output where a tape or a WAV goes
// through them, and UTF-8, the encoding of file names throughout.
#pragma once

#include <cstdio>

namespace morlevix {

// Standard input or output carry bytes, not text, from now on: a tape image
// read from a pipe, a WAV written to one. Only Windows tells the two apart.
void use_binary_mode(std::FILE* stream);

// Whether the stream is a terminal (a console window on Windows), rather
// than a file or a pipe.
bool is_terminal(std::FILE* stream);

// For as long as it lives, the console shows and reads text as UTF-8, the
// encoding of file names throughout the program; the console's own code
// pages come back afterwards. Only Windows consoles need this.
class Utf8Console {
public:
    Utf8Console();
    ~Utf8Console();
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
#ifdef _WIN32
    unsigned input_code_page_;
    unsigned output_code_page_;
#endif
};

}  // namespace morlevix
