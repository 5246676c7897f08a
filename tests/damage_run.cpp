// Many damaged recordings, decoded and merged, for a longer run than the
// suite's: prints every case whose properties do not hold, and how many
// did and did not.
//   damage_run [--real] FIRST_SEED COUNT TAKES
//   damage_run [--real] --write SEED TAKES DIR   the tape and takes of one case, as files
// With --real, tapes drawn as the family's real tapes are (see
// real_tape_properties.h); without, the damaged tapes of damage_properties.h.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "damage_properties.h"
#include "real_tape_properties.h"

namespace {

using namespace morlevix::testing;

void save(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv)
{
    const bool real = argc > 1 && std::strcmp(argv[1], "--real") == 0;
    if (real) {
        --argc;
        ++argv;
    }
    if (argc == 5 && std::strcmp(argv[1], "--write") == 0) {
        const auto seed = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
        const int takes = std::atoi(argv[3]);
        const std::filesystem::path dir = argv[4];
        std::filesystem::create_directories(dir);
        Bytes image;
        std::vector<Recording> recordings;
        std::string said;
        if (real) {
            const auto drawn = drawn_real_tape_case(seed, takes);
            image = drawn.image, recordings = drawn.takes, said = drawn.said;
        } else {
            const auto drawn = drawn_damage_case(seed, takes);
            image = drawn.image, recordings = drawn.takes, said = drawn.said;
        }
        save(dir / "TAPE.k7", image);
        for (std::size_t t = 0; t < recordings.size(); ++t) save(dir / ("TAKE" + std::to_string(t + 1) + ".wav"), wav_file({recordings[t]}));
        std::printf("%s\n", said.c_str());
        return 0;
    }
    if (argc != 4) {
        std::fprintf(stderr, "usage: damage_run [--real] FIRST_SEED COUNT TAKES\n");
        return 2;
    }
    const auto first = static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10));
    const auto count = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
    const int takes = std::atoi(argv[3]);
    std::uint32_t broken = 0;
    for (std::uint32_t seed = first; seed < first + count; ++seed) {
        const std::string problem = real ? broken_real_tape_property(seed, takes) : broken_damage_property(seed, takes);
        if (problem.empty()) continue;
        ++broken;
        std::printf("%s\n", problem.c_str());
        std::fflush(stdout);
    }
    std::printf("%u of %u cases held, %u did not\n", count - broken, count, broken);
    return broken == 0 ? 0 : 1;
}
