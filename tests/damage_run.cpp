// Many damaged recordings, decoded alone or merged: prints every case whose
// properties do not hold, and how many did and did not.
//   damage_run FIRST_SEED COUNT TAKES
//   damage_run --write SEED TAKES DIR   the tape and takes of one case, as files
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <cstdlib>
#include <string>

#include "damage_properties.h"

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--write") == 0) {
        using namespace morlevix::testing;
        const auto drawn = drawn_damage_case(static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)), std::atoi(argv[3]));
        const std::filesystem::path dir = argv[4];
        std::filesystem::create_directories(dir);
        const auto save = [&](const std::string& name, const Bytes& bytes) {
            std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        };
        save("TAPE.k7", drawn.image);
        for (std::size_t t = 0; t < drawn.takes.size(); ++t) save("TAKE" + std::to_string(t + 1) + ".wav", wav_file({drawn.takes[t]}));
        std::printf("%s\n", drawn.said.c_str());
        return 0;
    }
    if (argc != 4) {
        std::fprintf(stderr, "usage: damage_run FIRST_SEED COUNT TAKES\n");
        return 2;
    }
    const auto first = static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10));
    const auto count = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
    const int takes = std::atoi(argv[3]);
    std::uint32_t broken = 0;
    for (std::uint32_t seed = first; seed < first + count; ++seed) {
        const std::string problem = morlevix::testing::broken_damage_property(seed, takes);
        if (problem.empty()) continue;
        ++broken;
        std::printf("%s\n", problem.c_str());
        std::fflush(stdout);
    }
    std::printf("%u of %u cases held, %u did not\n", count - broken, count, broken);
    return broken == 0 ? 0 : 1;
}
