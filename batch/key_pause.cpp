#include "batch/key_pause.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <ostream>
#include <system_error>

#include "tape/tape_image_converter.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace morlevix {
namespace {

constexpr char kAnyRun = '*';
constexpr char kAnyOne = '?';

char fold(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool is_continuation_byte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Where the character starting at `at` ends: '?' stands for one character,
// which in UTF-8 may take several bytes.
std::size_t after_character(const std::string& text, std::size_t at)
{
    ++at;
    while (at < text.size() && is_continuation_byte(text[at])) ++at;
    return at;
}

bool less_ignoring_case(const std::string& a, const std::string& b)
{
    const auto folded_less = [](char x, char y) { return fold(x) < fold(y); };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), folded_less)) return true;
    if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), folded_less)) return false;
    return a < b;  // same but for case: a stable order all the same
}

// Names with a line break cannot stand on one line of the console.
bool fits_on_a_line(const std::string& name) { return name.find_first_of("\r\n") == std::string::npos; }

#ifdef _WIN32
// One key from the console, not echoed. Ctrl-C ends the program as it would
// at any other moment.
void wait_for_key()
{
    const int key = _getch();
    if (key == 0 || key == 0xE0) _getch();  // a function or arrow key comes as two codes
    constexpr int kControlC = 3;
    if (key == kControlC) throw InterruptedByUser{SIGINT};
}

bool input_is_interactive()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}
#else
// Puts the terminal back as it was found, on every way out.
class TerminalSettingsGuard {
public:
    explicit TerminalSettingsGuard(const termios& saved) : saved_(saved) {}
    ~TerminalSettingsGuard() { tcsetattr(STDIN_FILENO, TCSANOW, &saved_); }
    TerminalSettingsGuard(const TerminalSettingsGuard&) = delete;
    TerminalSettingsGuard& operator=(const TerminalSettingsGuard&) = delete;

private:
    termios saved_;
};

// One key, read without waiting for Enter and without echo. Signal keys are
// read as keys too, so that the settings are restored before the program
// ends by the signal they stand for.
int read_one_key(const termios& saved)
{
    termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    TerminalSettingsGuard restore(saved);
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return -1;
    unsigned char key = 0;
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, &key, 1);
        if (n == 1) return key;
        if (n == 0 || errno != EINTR) return -1;
    }
}

void wait_for_key()
{
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
    const int key = read_one_key(saved);
    if (key < 0) return;
    if (key == saved.c_cc[VINTR]) throw InterruptedByUser{SIGINT};
    if (key == saved.c_cc[VQUIT]) throw InterruptedByUser{SIGQUIT};
}

bool input_is_interactive() { return isatty(STDIN_FILENO) != 0; }
#endif

}  // namespace

bool matches_wildcard(const std::string& pattern, const std::string& name)
{
    std::size_t p = 0, n = 0;
    // Where to resume after the last '*': the pattern just past it, and the
    // name one character further than the last try.
    std::size_t star = std::string::npos, star_name = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == kAnyRun) {
            star = ++p;
            star_name = n;
        } else if (p < pattern.size() && pattern[p] == kAnyOne) {
            ++p;
            n = after_character(name, n);
        } else if (p < pattern.size() && fold(pattern[p]) == fold(name[n])) {
            ++p;
            ++n;
        } else if (star != std::string::npos) {
            p = star;
            n = star_name = after_character(name, star_name);
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == kAnyRun) ++p;
    return p == pattern.size();
}

std::vector<std::string> list_matching_files(const std::string& full)
{
    const auto separator = full.find_last_of(kPathSeparators);
    const std::string directory = separator == std::string::npos ? "" : full.substr(0, separator + 1);
    const std::string file_pattern = full.substr(directory.size());

    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator entries(directory.empty() ? "." : path_from_name(directory), error);
    for (const auto end = std::filesystem::directory_iterator(); !error && entries != end; entries.increment(error)) {
        std::error_code not_regular;
        if (!entries->is_regular_file(not_regular)) continue;
        const std::string name = name_from_path(entries->path().filename());
        if (fits_on_a_line(name) && matches_wildcard(file_pattern, name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), less_ignoring_case);
    for (auto& name : names) name = directory + name;
    return names;
}

std::vector<std::string> list_tape_images(const std::string& pattern)
{
    return list_matching_files(pattern + kTapeExtension);
}

bool has_wildcards(const std::string& text)
{
    return text.find(kAnyRun) != std::string::npos || text.find(kAnyOne) != std::string::npos;
}

void use_binary_mode(std::FILE* stream)
{
#ifdef _WIN32
    _setmode(_fileno(stream), _O_BINARY);
#else
    (void)stream;
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

void pause_for_key(std::ostream& out)
{
    out << kPausePrompt << std::flush;
    if (input_is_interactive()) wait_for_key();
    out << '\n' << std::flush;
}

}  // namespace morlevix
