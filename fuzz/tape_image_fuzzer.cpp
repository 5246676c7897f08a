// libFuzzer target: arbitrary bytes as a tape image, converted in memory,
// with every property a conversion must have checked on the result.
#include <cstdio>
#include <cstdlib>

#include "conversion_properties.h"
#include "tape/wav_output.h"

namespace {

void require_properties(const morlevix::testing::Bytes& image, std::uint64_t max_data_size)
{
    const std::string broken = morlevix::testing::broken_conversion_property(image, max_data_size);
    if (broken.empty()) return;
    std::fprintf(stderr, "property broken: %s\n", broken.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const morlevix::testing::Bytes image(data, data + size);
    require_properties(image, morlevix::kMaxWavDataSize);
    // A limit that images of this size reach, so that stopping is tried too.
    require_properties(image, morlevix::kClosingSilenceSamples + size * 128);
    return 0;
}
