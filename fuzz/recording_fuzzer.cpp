// libFuzzer target: arbitrary bytes as a WAV recording and as raw samples,
// decoded, with every property a decoding must have checked.
#include <cstdio>
#include <cstdlib>

#include "recording_properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string broken = morlevix::testing::broken_recording_property(morlevix::testing::Bytes(data, data + size));
    if (broken.empty()) return 0;
    std::fprintf(stderr, "property broken: %s\n", broken.c_str());
    std::abort();
}
