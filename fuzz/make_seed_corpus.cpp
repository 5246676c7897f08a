// Writes the fuzzer's seed corpus into a directory: make_seed_corpus DIR
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "conversion_properties.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: make_seed_corpus DIR\n";
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    const auto seeds = morlevix::testing::seed_tapes();
    for (std::size_t i = 0; i < seeds.size(); ++i) {
        std::ofstream out(dir / ("seed-" + std::to_string(i)), std::ios::binary);
        out.write(reinterpret_cast<const char*>(seeds[i].data()), static_cast<std::streamsize>(seeds[i].size()));
    }
    std::cout << seeds.size() << " seeds in " << dir.string() << '\n';
    return 0;
}
