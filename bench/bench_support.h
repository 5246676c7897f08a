// What both benchmarks need: a synthetic tape, a stopwatch, and the peak
// memory of the benchmark's own work run again in a fresh child process.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>

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

// Peak resident memory, in KiB, of running `self` with `flag` and `file`
// (the benchmark doing its work once on that file), or -1 if it failed.
inline long peak_memory_of_child(const char* self, const char* flag, const std::filesystem::path& file)
{
    const pid_t child = fork();
    if (child == 0) {
        execl(self, self, flag, file.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : -1;
}

}  // namespace morlevix::bench
