#include "file_replacement.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <random>
#include <string>
#include <system_error>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace morlevix {
namespace {

// A temporary file is named after its target, so that a user who finds one
// left by a crash knows what it was: "JEU.wav.tmp-1a2b3c4d".
constexpr char kTemporaryMark[] = ".tmp-";
constexpr int kNameAttempts = 16;
constexpr int kHexDigitsInSuffix = 8;

#ifndef _WIN32
// The temporary file being written, for a signal handler to remove: the one
// piece of file-scope state of the program. The path is set before the flag
// and cleared after it, so a handler never reads a path half written.
constexpr std::size_t kUnfinishedPathCapacity = 4096;
char unfinished_path[kUnfinishedPathCapacity];
volatile std::sig_atomic_t unfinished_path_set = 0;

void set_unfinished_file(const std::filesystem::path& path)
{
    const std::string& name = path.native();
    if (name.size() >= kUnfinishedPathCapacity) return;  // longer than any path the system takes
    unfinished_path_set = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    std::memcpy(unfinished_path, name.c_str(), name.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    unfinished_path_set = 1;
}

void clear_unfinished_file() { unfinished_path_set = 0; }
#else
void set_unfinished_file(const std::filesystem::path&) {}
void clear_unfinished_file() {}
#endif

std::string random_suffix(std::mt19937& generator)
{
    constexpr char kDigits[] = "0123456789abcdef";
    constexpr unsigned kDigitMask = 0xF;
    constexpr int kBitsPerDigit = 4;
    const std::uint32_t value = generator();
    std::string suffix;
    for (int i = 0; i < kHexDigitsInSuffix; ++i) suffix += kDigits[(value >> (kBitsPerDigit * i)) & kDigitMask];
    return suffix;
}

// Creates `path` only if no file of that name exists, so that a temporary
// name never takes over somebody else's file.
bool create_new_file(const std::filesystem::path& path)
{
#ifdef _WIN32
    const int fd = _wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return false;
    _close(fd);
#else
    constexpr mode_t kNewFileMode = 0666;  // narrowed by the user's umask, as for any file
    const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY, kNewFileMode);
    if (fd < 0) return false;
    close(fd);
#endif
    return true;
}

// Renames `from` over `to`, replacing an existing `to` in one step.
bool replace_file(const std::filesystem::path& from, const std::filesystem::path& to)
{
#ifdef _WIN32
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    std::error_code error;
    std::filesystem::rename(from, to, error);
    return !error;
#endif
}

}  // namespace

void remove_unfinished_file() noexcept
{
#ifndef _WIN32
    if (unfinished_path_set == 0) return;
    unfinished_path_set = 0;
    unlink(unfinished_path);
#endif
}

FileReplacement::FileReplacement(const std::filesystem::path& target) : target_(target)
{
    std::random_device device;
    std::mt19937 generator(device() ^ static_cast<std::uint32_t>(
                                          std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        auto candidate = target;
        candidate += kTemporaryMark + random_suffix(generator);
        if (!create_new_file(candidate)) {
            std::error_code ignored;
            if (std::filesystem::exists(candidate, ignored)) continue;  // taken: try another name
            return;  // the directory cannot take a new file
        }
        temporary_ = candidate;
        set_unfinished_file(temporary_);
        sink_ = std::make_unique<FileSink>(temporary_, FileSink::ExistingEmptyFile{});
        return;
    }
}

FileReplacement::~FileReplacement()
{
    if (committed_ || temporary_.empty()) return;
    sink_.reset();  // closed before it is removed, as Windows requires
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
    clear_unfinished_file();  // only now: a signal in between finds nothing to remove
}

bool FileReplacement::commit()
{
    if (!sink_ || !sink_->close()) return false;
    committed_ = replace_file(temporary_, target_);
    if (committed_) clear_unfinished_file();
    return committed_;
}

}  // namespace morlevix
