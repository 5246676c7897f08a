// Runs the built morlevix program in a directory with its answers piped in,
// and hands back everything it printed.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "temp_dir.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace morlevix::testing {

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string read_text(const std::filesystem::path& path)
{
    const Bytes bytes = read_file(path);
    return std::string(bytes.begin(), bytes.end());
}

// `answers` is everything the user types, as it reaches standard input.
inline ProgramRun run_program(const std::filesystem::path& program, const std::filesystem::path& directory,
                              const std::string& answers)
{
    TempDir io;
    write_file(io / "in", Bytes(answers.begin(), answers.end()));
    const auto quoted = [](const std::filesystem::path& p) { return "\"" + p.string() + "\""; };
#ifdef _WIN32
    const std::string change_directory = "cd /d ";
#else
    const std::string change_directory = "cd ";
#endif
    const std::string command = change_directory + quoted(directory) + " && " + quoted(program) + " < " +
                                quoted(io / "in") + " > " + quoted(io / "out") + " 2> " + quoted(io / "err");
    const int result = std::system(command.c_str());
    ProgramRun run;
#ifdef _WIN32
    run.status = result;
#else
    run.status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
#endif
    run.out = read_text(io / "out");
    run.err = read_text(io / "err");
#ifdef _WIN32
    // The console's line breaks are "\r\n" there; the texts are the same.
    for (auto* text : {&run.out, &run.err})
        for (auto at = text->find("\r\n"); at != std::string::npos; at = text->find("\r\n", at)) text->erase(at, 1);
#endif
    return run;
}

}  // namespace morlevix::testing
