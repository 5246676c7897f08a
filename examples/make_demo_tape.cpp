// Writes the bundled example tape image: make_demo_tape examples/DEMO.K7
#include <fstream>
#include <iostream>

#include "demo_tape.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: make_demo_tape FILE.K7\n";
        return 2;
    }
    const auto image = morlevix::testing::demo_tape();
    std::ofstream out(argv[1], std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    return out ? 0 : 1;
}
