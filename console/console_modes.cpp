#include "console/console_modes.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace morlevix {

void use_binary_mode(std::FILE* stream)
{
#ifdef _WIN32
    _setmode(_fileno(stream), _O_BINARY);
#else
    (void)stream;
#endif
}

bool is_terminal(std::FILE* stream)
{
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

#ifdef _WIN32
Utf8Console::Utf8Console() : input_code_page_(GetConsoleCP()), output_code_page_(GetConsoleOutputCP())
{
    if (input_code_page_ != 0) SetConsoleCP(CP_UTF8);
    if (output_code_page_ != 0) SetConsoleOutputCP(CP_UTF8);
}

Utf8Console::~Utf8Console()
{
    if (input_code_page_ != 0) SetConsoleCP(input_code_page_);
    if (output_code_page_ != 0) SetConsoleOutputCP(output_code_page_);
}
#else
Utf8Console::Utf8Console() = default;
Utf8Console::~Utf8Console() = default;
#endif

}  // namespace morlevix
