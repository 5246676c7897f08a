// Runs the built morlevix program in a directory, with its answers or its
// arguments, and hands back everything it printed.
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

// Runs `program` followed by `arguments` (words as a shell takes them) in
// `directory`, with `input` on its standard input. Its console texts come
// back with "\n" line breaks on every system, unless `text` is false (a
// WAV on standard output). `locale` is the program's LC_ALL: the C locale
// of scripts, whatever this machine's, unless a test asks for another.
inline ProgramRun run_program_with(const std::filesystem::path& program, const std::filesystem::path& directory,
                                   const std::string& arguments, const std::string& input, bool text = true,
                                   const std::string& locale = "C")
{
    TempDir io;
    write_file(io / "in", Bytes(input.begin(), input.end()));
    const auto quoted = [](const std::filesystem::path& p) { return "\"" + p.string() + "\""; };
#ifdef _WIN32
    const std::string change_directory = "cd /d ";
    const std::string with_locale = "set LC_ALL=" + locale + "&& ";
#else
    const std::string change_directory = "cd ";
    const std::string with_locale = "LC_ALL=" + locale + " ";
#endif
    const std::string command = change_directory + quoted(directory) + " && " + with_locale + quoted(program) +
                                (arguments.empty() ? "" : " " + arguments) + " < " +
                                quoted(io / "in") + " > " + quoted(io / "out") + " 2> " + quoted(io / "err");
    int result = std::system(command.c_str());
#ifdef _WIN32
    // Under Wine the command interpreter now and then fails to start at all
    // (-1, before the program ran): such a run is made again.
    constexpr int kNotStarted = -1;
    constexpr int kTries = 3;
    for (int tried = 1; result == kNotStarted && tried < kTries; ++tried) result = std::system(command.c_str());
#endif
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
    for (auto* stream : {&run.out, &run.err})
        if (text || stream == &run.err)
            for (auto at = stream->find("\r\n"); at != std::string::npos; at = stream->find("\r\n", at))
                stream->erase(at, 1);
#else
    (void)text;
#endif
    return run;
}

// The interactive batch: `answers` is everything the user types, as it
// reaches standard input.
inline ProgramRun run_program(const std::filesystem::path& program, const std::filesystem::path& directory,
                              const std::string& answers)
{
    return run_program_with(program, directory, "", answers);
}

}  // namespace morlevix::testing
