// What both benchmarks need: a synthetic tape, a stopwatch, and the peak
// memory of the benchmark's own work run again in a fresh child process.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tape_builder.h"

namespace morlevix::bench {

// A tape of data blocks with varied payloads, so that bits take both lengths.
inline testing::Bytes synthetic_tape(std::size_t size)
{
    testing::Bytes content(size);
    std::uint32_t state = 12345;
    for (auto& b : content) {
        state = state * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(state >> 16);
    }
    return testing::tape_file("BENCH", content);
}

inline double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The peak resident memory of this process so far, in KiB, as the kernel
// counts it since the program started (VmHWM), or -1.
inline long own_peak_memory()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// Peak resident memory, in KiB, of running `self` with `flag` and `file`
// (the benchmark doing its work once on that file, then printing
// own_peak_memory()), or -1 if it failed. The child counts for itself: a
// forked child's count would start from the benchmark's own pages.
inline long peak_memory_of_child(const char* self, const char* flag, const std::filesystem::path& file)
{
    int out[2];
    if (pipe(out) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        execl(self, self, flag, file.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string printed;
    char chunk[64];
    for (ssize_t n; (n = read(out[0], chunk, sizeof chunk)) > 0;) printed.append(chunk, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || printed.empty()) return -1;
    return std::stol(printed);
}

}  // namespace morlevix::bench
