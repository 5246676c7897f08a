// libFuzzer target: arbitrary bytes as a tape of BASIC programs, as a
// program, and as a listing, with every property checked.
#include <cstdio>
#include <cstdlib>

#include "basic_properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string broken = morlevix::testing::broken_basic_property(morlevix::testing::Bytes(data, data + size));
    if (broken.empty()) return 0;
    std::fprintf(stderr, "property broken: %s\n", broken.c_str());
    std::abort();
}
