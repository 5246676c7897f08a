// The properties the fuzzer checks, on the seed images and on every image
// the fuzzer has ever found a fault with.
#include <gtest/gtest.h>

#include <filesystem>

#include "conversion_properties.h"
#include "basic_properties.h"
#include "recording_properties.h"
#include "tape/sound/wav_output.h"
#include "temp_dir.h"

namespace morlevix {
namespace {

void expect_properties(const testing::Bytes& image, const std::string& what)
{
    EXPECT_EQ(testing::broken_conversion_property(image, kMaxWavDataSize), "") << what;
    for (std::uint64_t limit : {kClosingSilenceSamples, kClosingSilenceSamples + image.size() * 128})
        EXPECT_EQ(testing::broken_conversion_property(image, limit), "") << what << ", limit " << limit;
}

TEST(ConversionProperties, HoldOnTheSeedImages)
{
    const auto seeds = testing::seed_tapes();
    for (std::size_t i = 0; i < seeds.size(); ++i) expect_properties(seeds[i], "seed " + std::to_string(i));
}

TEST(ConversionProperties, BasicPropertiesHoldOnTheSeeds)
{
    auto seeds = testing::seed_tapes();
    for (const auto& seed : testing::seed_basic()) seeds.push_back(seed);
    for (std::size_t i = 0; i < seeds.size(); ++i) EXPECT_EQ(testing::broken_basic_property(seeds[i]), "") << "seed " << i;
}

TEST(ConversionProperties, HoldOnTheSeedRecordings)
{
    const auto seeds = testing::seed_recordings();
    for (std::size_t i = 0; i < seeds.size(); ++i)
        EXPECT_EQ(testing::broken_recording_property(seeds[i]), "") << "seed " << i;
}

TEST(ConversionProperties, HoldOnEveryFuzzFinding)
{
    // Every input any fuzzer has ever found a fault with, tried by all.
    const std::filesystem::path findings = std::filesystem::path(MORLEVIX_SOURCE_DIR) / "tests" / "fuzz_findings";
    for (const auto& entry : std::filesystem::directory_iterator(findings)) {
        if (entry.path().extension() == ".md") continue;
        const auto bytes = testing::read_file(entry.path());
        expect_properties(bytes, entry.path().string());
        EXPECT_EQ(testing::broken_recording_property(bytes), "") << entry.path().string();
        EXPECT_EQ(testing::broken_basic_property(bytes), "") << entry.path().string();
    }
}

}  // namespace
}  // namespace morlevix
