// Writes the fuzzers' seed corpora:
//   make_seed_corpus TAPES_DIR [RECORDINGS_DIR [BASIC_DIR]]
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "basic_properties.h"
#include "conversion_properties.h"
#include "recording_properties.h"

namespace {

void write_seeds(const std::filesystem::path& dir, const std::vector<morlevix::testing::Bytes>& seeds)
{
    std::filesystem::create_directories(dir);
    for (std::size_t i = 0; i < seeds.size(); ++i) {
        std::ofstream out(dir / ("seed-" + std::to_string(i)), std::ios::binary);
        out.write(reinterpret_cast<const char*>(seeds[i].data()), static_cast<std::streamsize>(seeds[i].size()));
    }
    std::cout << seeds.size() << " seeds in " << dir.string() << '\n';
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 4) {
        std::cerr << "usage: make_seed_corpus TAPES_DIR [RECORDINGS_DIR [BASIC_DIR]]\n";
        return 2;
    }
    write_seeds(argv[1], morlevix::testing::seed_tapes());
    if (argc >= 3) write_seeds(argv[2], morlevix::testing::seed_recordings());
    if (argc == 4) write_seeds(argv[3], morlevix::testing::seed_basic());
    return 0;
}
