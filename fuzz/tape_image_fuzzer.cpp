// libFuzzer target: arbitrary bytes as a tape image, converted in memory,
// with every property a conversion must have checked on the result; and
// as the files of a whole tape, converted and decoded back.
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "conversion_properties.h"
#include "signal_decoder.h"
#include "tape/encoder/tape_image_converter.h"
#include "tape/sound/wav_output.h"

namespace {

// Decoding a WAV back is what costs, and most of all a block with a wrong
// checksum, which the decoder reads a second time, cycle by cycle. It is
// done for images whose WAV is at most this long (a file or two with a few
// blocks) and whose wrong blocks hold at most this many bytes; and the
// whole tape for inputs of at most this many bytes. So a minute tries
// many inputs.
constexpr std::uint64_t kShortWav = 120'000;
constexpr std::size_t kFewWrongBytes = 32;
constexpr std::size_t kSmallInput = 12;

bool cheap_to_decode(const morlevix::testing::Bytes& image)
{
    std::istringstream tape(std::string(image.begin(), image.end()));
    if (morlevix::plan_conversion(tape).data_size > kShortWav) return false;
    std::size_t wrong = 0;
    for (const auto& block : morlevix::testing::image_blocks(image)) {
        const morlevix::testing::Bytes payload(block.begin() + 3, block.end() - 1);
        if (morlevix::testing::checksum(block[1], payload) != block.back()) wrong += block.size();
    }
    return wrong <= kFewWrongBytes;
}

void require(const std::string& broken)
{
    if (broken.empty()) return;
    std::fprintf(stderr, "property broken: %s\n", broken.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morlevix;
    const testing::Bytes image(data, data + size);
    // A limit that images of this size reach, so that stopping is tried too.
    require(testing::broken_conversion_property(image, kClosingSilenceSamples + size * 128));
    if (cheap_to_decode(image)) require(testing::broken_conversion_property(image, kMaxWavDataSize));
    if (size <= kSmallInput) require(testing::broken_whole_tape_property(image));
    return 0;
}
