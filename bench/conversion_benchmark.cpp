// Measures, in one run on one directory:
//  - the WAV throughput of convert_tape_file on a large synthetic tape,
//  - the throughput of writing as many bytes straight to a file with the
//    same buffering (what a streamed file cannot beat), and their ratio;
//  - the peak memory of converting a 16 KiB tape and the large one, each in
//    a fresh child process.
//
//   conversion_benchmark [DIRECTORY]      (default: the current directory)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "common/file_names.h"
#include "tape/encoder/tape_image_converter.h"
#include "tape/sound/wav_output.h"
#include "bench_support.h"
#include "tape_builder.h"

namespace fs = std::filesystem;
using morlevix::testing::Bytes;
using morlevix::bench::peak_memory_of_child;
using morlevix::bench::seconds_since;
using morlevix::bench::synthetic_tape;

namespace {

constexpr std::size_t kLargeTapeBytes = 1100 * 1024;  // over 1 MiB of blocks
constexpr std::size_t kSmallTapeBytes = 16 * 1024;
constexpr int kRounds = 3;
constexpr char kConvertInChild[] = "--convert";

void save(const fs::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void convert_quietly(const fs::path& tape)
{
    morlevix::SilentReport silent;
    morlevix::convert_tape_file(tape.string(), morlevix::wav_name_for(tape.string()), silent);
}

double time_conversion(const fs::path& tape)
{
    const auto start = std::chrono::steady_clock::now();
    convert_quietly(tape);
    return seconds_since(start);
}

// The same number of bytes through the same unbuffered file sink, in
// buffers of the same size as the WAV writer's.
double time_raw_write(const fs::path& file, std::uintmax_t bytes)
{
    const std::vector<std::uint8_t> buffer(morlevix::WavWriter::kBufferSize, 0x80);
    const auto start = std::chrono::steady_clock::now();
    {
        morlevix::FileSink sink(file);
        for (std::uintmax_t left = bytes; left > 0;) {
            const auto n = static_cast<std::size_t>(std::min<std::uintmax_t>(left, buffer.size()));
            if (!sink.write(buffer.data(), n)) throw std::runtime_error("raw write failed");
            left -= n;
        }
        sink.close();
    }
    return seconds_since(start);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], kConvertInChild) == 0) {
        convert_quietly(argv[2]);
        std::printf("%ld\n", morlevix::bench::own_peak_memory());
        return 0;
    }
    const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::current_path();
    const fs::path large = dir / "BENCH_LARGE.K7";
    const fs::path small = dir / "BENCH_SMALL.K7";
    const fs::path raw = dir / "BENCH_RAW.bin";
    save(large, synthetic_tape(kLargeTapeBytes));
    save(small, synthetic_tape(kSmallTapeBytes));

    double best_conversion = 1e9, best_raw = 1e9;
    std::uintmax_t wav_bytes = 0;
    const fs::path wav = morlevix::wav_name_for(large.string());
    for (int round = 0; round < kRounds; ++round) {
        // Both runs write a new file: truncating the last round's would be
        // timed too.
        fs::remove(wav);
        best_conversion = std::min(best_conversion, time_conversion(large));
        wav_bytes = fs::file_size(wav);
        fs::remove(raw);
        best_raw = std::min(best_raw, time_raw_write(raw, wav_bytes));
    }
    fs::remove(raw);
    const double mb = static_cast<double>(wav_bytes) / 1e6;
    std::printf("tape image: %.2f MiB, WAV: %.1f MB (best of %d rounds)\n",
                static_cast<double>(fs::file_size(large)) / (1024.0 * 1024.0), mb, kRounds);
    std::printf("conversion:  %8.1f MB/s\n", mb / best_conversion);
    std::printf("raw write:   %8.1f MB/s\n", mb / best_raw);
    std::printf("ratio:       %8.1f %% of the raw write throughput\n", 100.0 * best_raw / best_conversion);

    const long small_peak = peak_memory_of_child(argv[0], kConvertInChild, small);
    const long large_peak = peak_memory_of_child(argv[0], kConvertInChild, large);
    std::printf("peak memory: %ld KiB for a %zu KiB tape, %ld KiB for a %.2f MiB tape (difference %ld KiB)\n",
                small_peak, static_cast<std::size_t>(fs::file_size(small) / 1024), large_peak,
                static_cast<double>(fs::file_size(large)) / (1024.0 * 1024.0), large_peak - small_peak);

    for (const auto& tape : {large, small}) {
        fs::remove(tape);
        fs::remove(morlevix::wav_name_for(tape.string()));
    }
    return 0;
}
