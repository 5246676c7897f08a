// The decoder's word on tapes drawn as the family's real tapes are (see
// real_tape_properties.h), both ways: status 0 means the tape, and a
// recording whose every block survives says status 0. A few hundred
// cases here; thousands in a longer run (damage_run --real).
#include <gtest/gtest.h>

#include <sstream>

#include "real_tape_properties.h"
#include "signal_decoder.h"
#include "tape/reading/recording_converter.h"
#include "tape_builder.h"

namespace morlevix {
namespace {

TEST(RealTapes, OneTakeSaysStatusZeroExactlyWhenItIsTheTape)
{
    for (std::uint32_t seed = 1; seed <= 150; ++seed) EXPECT_EQ(testing::broken_real_tape_property(seed, 1), "");
}

TEST(RealTapes, TakesMergedSayStatusZeroExactlyWhenTheyAreTheTape)
{
    for (std::uint32_t seed = 1; seed <= 40; ++seed) EXPECT_EQ(testing::broken_real_tape_property(seed, 2), "");
    for (std::uint32_t seed = 1; seed <= 20; ++seed) EXPECT_EQ(testing::broken_real_tape_property(seed, 3), "");
}

TEST(RealTapes, AnotherWritersRecordingWithoutItsLastMarkerReadsWhole)
{
    // Cycles of 1,200 and 2,400 Hz, no silence between blocks, no marker
    // after the end block: every block sound, the tape whole.
    const testing::Bytes image = testing::concat(
        {testing::tape_file("AUTRE", testing::counting_payload(700)), testing::tape_file("ECARTS", {1, 2, 3}, 0xFF)});
    const testing::Bytes wav = testing::wav_file({testing::recording_by_other_writer(image)});
    std::istringstream in(std::string(wav.begin(), wav.end()));
    const DecodedRecording decoded = decode_recording(in);
    EXPECT_TRUE(decoded.sound());
    ASSERT_FALSE(decoded.blocks.empty());
    EXPECT_FALSE(decoded.blocks.back().closed);
    EXPECT_EQ(testing::image_blocks(tape_image_of(decoded.blocks)), testing::image_blocks(image));
    EXPECT_NEAR(decoded.blocks.front().figures.speed, 1200.0 / 1225.0, 0.005);
}

}  // namespace
}  // namespace morlevix
