// Measures, in one run on one directory:
//  - how fast decode_recording reads a 39-minute recording of 55 files
//    (44.1 kHz, 16-bit, mono, with hiss 30 dB down), as times faster than
//    real time, and how fast the same file is simply read, in the same run;
//  - the whole program decoding that recording (`morlevix decode -o -`),
//    and the same files with no gaps, as a process, median of 7 runs; with
//    `--vs OTHER_MORLEVIX`, another build of the program (an older one,
//    say) in turn with this one, run for run, and the ratio of the two;
//  - the peak memory of decoding a 1-minute recording and the 39-minute
//    one, each in a fresh child process;
//  - where the build reads compressed recordings (libsndfile), the same two
//    recordings as FLAC, written through libsndfile: decoding time against
//    the WAV's in the same run, and peak memory;
//  - how many blocks come back through white hiss at 5, 4 and 3 dB of
//    signal-to-noise ratio, over a dozen recordings of a 12-block file.
//
//   decoder_benchmark [DIRECTORY] [--vs OTHER_MORLEVIX]   (default: the current directory)
//   decoder_benchmark --write FILE      only writes the 39-minute recording, for
//                                       timing the program by other means
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#ifdef MORLEVIX_BENCH_FLAC
#include <sndfile.h>
#endif

#include "bench_support.h"
#include "recordings.h"
#include "signal_decoder.h"
#include "tape/sound/compressed_recording.h"
#include "tape/reading/recording_converter.h"
#include "tape_builder.h"

#ifndef MORLEVIX_PROGRAM
#error "MORLEVIX_PROGRAM is set by the build"
#endif

namespace fs = std::filesystem;
using morlevix::testing::Bytes;
using morlevix::bench::peak_memory_of_child;
using morlevix::bench::seconds_since;
using morlevix::bench::synthetic_tape;

namespace {

#ifdef MORLEVIX_BENCH_FLAC
// The recording `wav` as a 16-bit FLAC, written through libsndfile (which
// the program reads it through); each file closed by its handle.
bool write_flac(const fs::path& wav, const fs::path& flac)
{
    constexpr sf_count_t kFrames = 65536;  // copied at a time
    using Sound = std::unique_ptr<SNDFILE, int (*)(SNDFILE*)>;
    SF_INFO in_info{};
    const Sound in(sf_open(wav.string().c_str(), SFM_READ, &in_info), sf_close);
    if (!in) return false;
    SF_INFO out_info{};
    out_info.samplerate = in_info.samplerate;
    out_info.channels = in_info.channels;
    out_info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    Sound out(sf_open(flac.string().c_str(), SFM_WRITE, &out_info), sf_close);
    if (!out) return false;
    std::vector<short> frames(static_cast<std::size_t>(kFrames) * static_cast<std::size_t>(in_info.channels));
    for (sf_count_t read; (read = sf_readf_short(in.get(), frames.data(), kFrames)) > 0;)
        if (sf_writef_short(out.get(), frames.data(), read) != read) return false;
    return sf_close(out.release()) == 0;
}
#else
bool write_flac(const fs::path&, const fs::path&) { return false; }
#endif

constexpr std::size_t kFiles = 55;                  // about 39 minutes of them
constexpr std::size_t kShortTapeBytes = 40 * 255;   // about a minute
constexpr int kRounds = 3;
constexpr int kProcessRuns = 7;
constexpr double kHissBelowSignal = 30;             // decibels
constexpr double kLevel = 0.5;                      // of full scale
constexpr char kDecodeInChild[] = "--decode";
constexpr char kVersus[] = "--vs";
constexpr char kWriteOnly[] = "--write";

void put_u32(std::ofstream& out, std::uint32_t v)
{
    const char bytes[] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
    out.write(bytes, 4);
}

// A tape of `kFiles` files of varied lengths, as a collection of programs
// and data is: with `gaps`, every fifth has a gap and leader before each
// block.
Bytes many_files_tape(bool gaps)
{
    std::mt19937 generator(55);
    Bytes tape;
    for (std::size_t f = 0; f < kFiles; ++f) {
        Bytes content(3000 + generator() % 7500);
        for (auto& b : content) b = static_cast<std::uint8_t>(generator());
        const Bytes file = morlevix::testing::tape_file("FILE" + std::to_string(f), content, gaps && f % 5 == 4 ? 0xFF : 0x00);
        tape.insert(tape.end(), file.begin(), file.end());
    }
    return tape;
}

// Our own 8-bit WAV of `tape`, turned into a 16-bit recording with hiss,
// streamed from our signal into the file.
std::uint64_t make_recording(const Bytes& tape, const fs::path& recording)
{
    const Bytes ours = morlevix::testing::wav_of(tape);
    const std::uint64_t samples = ours.size() - 44;
    std::ofstream out(recording, std::ios::binary);
    out.write("RIFF", 4);
    put_u32(out, static_cast<std::uint32_t>(36 + 2 * samples));
    out.write("WAVEfmt ", 8);
    const char format[] = {16, 0, 0, 0, 1, 0, 1, 0, 0x44, static_cast<char>(0xAC), 0, 0, static_cast<char>(0x88), 0x58, 1, 0, 2, 0, 16, 0};
    out.write(format, sizeof format);
    out.write("data", 4);
    put_u32(out, static_cast<std::uint32_t>(2 * samples));
    std::mt19937 noise(1);
    std::normal_distribution<double> hiss(0.0, kLevel * std::pow(10.0, -kHissBelowSignal / 20));
    std::vector<char> converted;
    converted.reserve(2 * samples);
    for (std::size_t i = 44; i < ours.size(); ++i) {
        const double v = (ours[i] - 128) / 128.0 * kLevel + hiss(noise);
        const auto s = static_cast<std::int16_t>(std::clamp(std::lround(v * 32767), -32768L, 32767L));
        converted.push_back(static_cast<char>(s & 0xFF));
        converted.push_back(static_cast<char>((s >> 8) & 0xFF));
    }
    out.write(converted.data(), static_cast<std::streamsize>(converted.size()));
    return samples;
}

morlevix::DecodedRecording decode(const fs::path& recording)
{
    std::ifstream in(recording, std::ios::binary);
    return morlevix::decode_recording(in);
}

// The same file read through the same kind of stream, in blocks of the
// size the WAV reader asks for, and thrown away.
double time_plain_read(const fs::path& recording)
{
    const auto start = std::chrono::steady_clock::now();
    std::ifstream in(recording, std::ios::binary);
    std::vector<char> buffer(16384 * 2);
    std::uint64_t sum = 0;
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
        sum += static_cast<unsigned char>(buffer[0]);
    const double seconds = seconds_since(start);
    if (sum == 1) std::printf(" ");  // keeps the reads from being thrown away
    return seconds;
}

// The wall time of `program decode -o - recording` as a whole process, its
// image thrown away; negative when it could not run.
double time_program(const std::string& program, const fs::path& recording)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int nowhere = open("/dev/null", O_WRONLY);
        dup2(nowhere, STDOUT_FILENO);
        dup2(nowhere, STDERR_FILENO);
        execl(program.c_str(), program.c_str(), "decode", "-o", "-", recording.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    const double seconds = seconds_since(start);
    return WIFEXITED(status) && WEXITSTATUS(status) <= 1 ? seconds : -1;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// This build's program and, when given, another, in turn: their medians
// and the median of the ratios run for run (other / this).
void compare_programs(const std::string& other, const fs::path& recording, double seconds, const char* what)
{
    std::vector<double> ours, theirs, ratios;
    for (int run = 0; run < kProcessRuns; ++run) {
        ours.push_back(time_program(MORLEVIX_PROGRAM, recording));
        if (other.empty()) continue;
        theirs.push_back(time_program(other, recording));
        ratios.push_back(theirs.back() / ours.back());
    }
    if (*std::min_element(ours.begin(), ours.end()) < 0) {
        std::printf("this build's program did not run: %s\n", MORLEVIX_PROGRAM);
        return;
    }
    std::printf("whole program, median of %d runs, %s:\n", kProcessRuns, what);
    std::printf("  this build:    %8.3f s, %8.0f times faster than real time\n", median(ours), seconds / median(ours));
    if (other.empty()) return;
    if (*std::min_element(theirs.begin(), theirs.end()) < 0) {
        std::printf("  %s did not run\n", other.c_str());
        return;
    }
    std::printf("  the other:     %8.3f s, %8.0f times faster than real time (%s)\n", median(theirs),
                seconds / median(theirs), other.c_str());
    std::printf("  ratio:         %8.3f (the other's time / this build's, median of the runs in turn)\n", median(ratios));
}

// Blocks back whole through hiss at `snr` decibels, out of all blocks.
std::pair<std::size_t, std::size_t> blocks_through_hiss(double snr)
{
    using namespace morlevix::testing;
    constexpr int kRecordings = 12;
    constexpr double kGain = -10;
    std::mt19937 generator(11);
    Bytes payload(255 * 12);
    for (auto& b : payload) b = static_cast<std::uint8_t>(generator());
    const Bytes image = tape_file("HISS", payload);
    const auto expected = image_blocks(image);
    const Recording clean = with_gain(recording_of(image), kGain);
    std::size_t back = 0;
    for (int seed = 1; seed <= kRecordings; ++seed) {
        const Bytes wav = wav_file({with_hiss(clean, snr, static_cast<std::uint32_t>(seed))});
        std::istringstream in(std::string(wav.begin(), wav.end()));
        const auto decoded = morlevix::decode_recording(in);
        for (const auto& heard : decoded.blocks) {
            const Bytes bytes(heard.block.bytes.begin(), heard.block.bytes.begin() + static_cast<std::ptrdiff_t>(heard.block.length));
            if (heard.complete && std::find(expected.begin(), expected.end(), bytes) != expected.end()) ++back;
        }
    }
    return {back, expected.size() * kRecordings};
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], kDecodeInChild) == 0) {
        if (decode(argv[2]).blocks.empty()) return 1;
        std::printf("%ld\n", morlevix::bench::own_peak_memory());
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], kWriteOnly) == 0) {
        make_recording(many_files_tape(true), argv[2]);
        return 0;
    }
    fs::path dir = fs::current_path();
    std::string other;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], kVersus) == 0 && i + 1 < argc) other = fs::absolute(argv[++i]).string();
        else dir = argv[i];
    }
    const fs::path long_recording = dir / "BENCH_LONG.wav";
    const fs::path gapless_recording = dir / "BENCH_GAPLESS.wav";
    const fs::path short_recording = dir / "BENCH_SHORT.wav";
    const Bytes long_tape = many_files_tape(true);
    const double minutes = static_cast<double>(make_recording(long_tape, long_recording)) / 44100 / 60;
    const double gapless_minutes = static_cast<double>(make_recording(many_files_tape(false), gapless_recording)) / 44100 / 60;
    make_recording(synthetic_tape(kShortTapeBytes), short_recording);

    double best_decode = 1e9, best_read = 1e9;
    std::size_t blocks = 0, sound = 0;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        const auto decoded = decode(long_recording);
        best_decode = std::min(best_decode, seconds_since(start));
        blocks = decoded.blocks.size();
        sound = static_cast<std::size_t>(std::count_if(decoded.blocks.begin(), decoded.blocks.end(),
                                                        [](const morlevix::HeardBlock& b) { return b.sound(); }));
        best_read = std::min(best_read, time_plain_read(long_recording));
    }
    const double seconds = minutes * 60;
    std::printf("recording: %.1f minutes, %zu files, 44.1 kHz 16-bit mono, %.0f MB (best of %d rounds)\n", minutes, kFiles,
                static_cast<double>(fs::file_size(long_recording)) / 1e6, kRounds);
    std::printf("blocks heard: %zu of %zu, %zu sound\n", blocks, morlevix::testing::image_blocks(long_tape).size(), sound);
    std::printf("decoding:    %8.3f s, %8.0f times faster than real time\n", best_decode, seconds / best_decode);
    std::printf("plain read:  %8.3f s, %8.0f times faster than real time\n", best_read, seconds / best_read);
    std::printf("ratio:       %8.1f (decoding time / plain read time)\n", best_decode / best_read);
    compare_programs(other, long_recording, seconds, "every fifth file with gaps");
    compare_programs(other, gapless_recording, gapless_minutes * 60, "the same files without gaps");

    const long short_peak = peak_memory_of_child(argv[0], kDecodeInChild, short_recording);
    const long long_peak = peak_memory_of_child(argv[0], kDecodeInChild, long_recording);
    std::printf("peak memory: %ld KiB for a 1-minute recording, %ld KiB for a %.0f-minute one (difference %ld KiB)\n",
                short_peak, long_peak, minutes, long_peak - short_peak);

    // The same as FLAC, read through libsndfile and streamed as a WAV is.
    const fs::path long_flac = dir / "BENCH_LONG.flac", short_flac = dir / "BENCH_SHORT.flac";
    if (!morlevix::CompressedRecording::available()) {
        std::printf("FLAC: not measured (this build reads WAV only)\n");
    } else if (!write_flac(long_recording, long_flac) || !write_flac(short_recording, short_flac)) {
        std::printf("FLAC: not measured (libsndfile could not write it)\n");
    } else {
        double best_flac = 1e9, best_wav = 1e9;
        bool same = true;
        for (int round = 0; round < kRounds; ++round) {
            auto start = std::chrono::steady_clock::now();
            const auto from_flac = decode(long_flac);
            best_flac = std::min(best_flac, seconds_since(start));
            start = std::chrono::steady_clock::now();
            const auto from_wav = decode(long_recording);
            best_wav = std::min(best_wav, seconds_since(start));
            same = same && morlevix::tape_image_of(from_flac.blocks) == morlevix::tape_image_of(from_wav.blocks);
        }
        std::printf("FLAC: %.0f MB, decoding %8.3f s, %8.0f times faster than real time; %.2f times the WAV's time, "
                    "the image %s\n",
                    static_cast<double>(fs::file_size(long_flac)) / 1e6, best_flac, seconds / best_flac, best_flac / best_wav,
                    same ? "the same" : "ANOTHER");
        const long flac_short_peak = peak_memory_of_child(argv[0], kDecodeInChild, short_flac);
        const long flac_long_peak = peak_memory_of_child(argv[0], kDecodeInChild, long_flac);
        std::printf("FLAC peak memory: %ld KiB for 1 minute, %ld KiB for %.0f minutes (difference %ld KiB)\n",
                    flac_short_peak, flac_long_peak, minutes, flac_long_peak - flac_short_peak);
    }
    for (const auto& file : {long_recording, gapless_recording, short_recording, long_flac, short_flac}) fs::remove(file);

    for (double snr : {5.0, 4.0, 3.0}) {
        const auto [back, all] = blocks_through_hiss(snr);
        std::printf("white hiss at %.0f dB: %zu of %zu blocks back\n", snr, back, all);
    }
    return 0;
}
