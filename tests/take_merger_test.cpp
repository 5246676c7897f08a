// Several takes of one tape merged: each block taken from a take that heard
// it sound, the takes matched by their blocks whatever their speed and start.
#include "said_in_tests.h"
#include "tape/account/take_merger.h"

#include <gtest/gtest.h>

#include <sstream>

#include "recordings.h"
#include "signal_decoder.h"
#include "tape/reading/recording_converter.h"
#include "tape_builder.h"

namespace morlevix {
namespace {

using testing::Bytes;
using testing::Recording;

std::vector<HeardBlock> heard_in(const Recording& take)
{
    const Bytes wav = testing::wav_file({take});
    std::istringstream in(std::string(wav.begin(), wav.end()));
    return decode_recording(in).blocks;
}

std::vector<Bytes> bytes_of(const std::vector<HeardBlock>& blocks)
{
    std::vector<Bytes> result;
    for (const auto& heard : blocks) {
        const auto start = heard.block.bytes.begin();
        result.emplace_back(start, start + static_cast<std::ptrdiff_t>(heard.block.length));
    }
    return result;
}

// Silence before the signal: a take started early.
Recording started_early(Recording r, double seconds)
{
    r.samples.insert(r.samples.begin(), static_cast<std::size_t>(seconds * r.rate), 0.0);
    return r;
}

// Two files of several blocks each: (header, 3 data, end), (header, 2 data, end).
const Bytes kTape = testing::concat({testing::tape_file("PREMIER", testing::counting_payload(700)),
                                     testing::tape_file("SECOND", testing::counting_payload(400, 3))});
// Where the blocks of kTape start in our own WAV, in seconds.
constexpr double kSecondDataBlock = 3.66;
constexpr double kSecondFileHeader = 7.1;

TEST(TakeMerger, TakesWithDropoutsInDifferentBlocksGiveAWholeTape)
{
    const Recording ours = testing::recording_of(kTape);
    const auto whole = testing::image_blocks(kTape);
    // One take broken in the second data block; another, 7 % slow and
    // started 1.7 s early, broken in the second file's header.
    const Recording first = testing::with_dropout(ours, kSecondDataBlock + 0.5, kSecondDataBlock + 0.6);
    Recording second = started_early(testing::played(ours, 44100, 0.93), 1.7);
    const double header_there = 1.7 + kSecondFileHeader / 0.93;
    second = testing::with_dropout(second, header_there + 0.03, header_there + 0.06);
    const auto a = heard_in(first), b = heard_in(second);
    ASSERT_EQ(a.size(), whole.size());
    ASSERT_FALSE(a[2].sound());
    ASSERT_EQ(b.size(), whole.size());

    // Whichever take comes first, each broken block comes from the other.
    for (const bool a_first : {true, false}) {
        const MergedTape merged = merge_takes(a_first ? std::vector<std::vector<HeardBlock>>{a, b}
                                                      : std::vector<std::vector<HeardBlock>>{b, a});
        EXPECT_TRUE(merged.sound());
        EXPECT_EQ(bytes_of(merged.heard_blocks()), whole);
        EXPECT_EQ(merged.file_names, (std::vector<std::string>{"PREMIER ", "SECOND  "}));
        const std::size_t take_a = a_first ? 0 : 1, take_b = 1 - take_a;
        EXPECT_EQ(merged.blocks[2].take, take_b);
        EXPECT_EQ(merged.blocks[2].place, 2u);
        EXPECT_EQ(merged.blocks[5].take, take_a);
        EXPECT_EQ(merged.blocks[5].place, 0u);
        EXPECT_EQ(merged.blocks[5].file, 1u);
    }
}

TEST(TakeMerger, ABlockMissingFromOneTakeIsCountedFromTheTime)
{
    const Recording ours = testing::recording_of(kTape);
    // The second data block is not heard at all in this take (silence over
    // all of it), so the third one must still count as the third.
    const auto a = heard_in(testing::with_dropout(ours, kSecondDataBlock - 0.002, kSecondDataBlock + 1.28));
    ASSERT_EQ(a.size(), testing::image_blocks(kTape).size() - 1);
    const auto b = heard_in(testing::with_dropout(started_early(testing::played(ours, 44100, 1.08), 0.4), 1.5, 1.6));
    const MergedTape merged = merge_takes({a, b});
    EXPECT_TRUE(merged.sound());
    EXPECT_EQ(bytes_of(merged.heard_blocks()), testing::image_blocks(kTape));
    EXPECT_EQ(merged.blocks[2].take, 1u);
    EXPECT_EQ(merged.blocks[3].take, 0u);

    // Heard in no take, and bad in every take: said, and written as heard best.
    const MergedTape alone = merge_takes({a});
    EXPECT_FALSE(alone.sound());
    EXPECT_TRUE(alone.blocks[2].missing);
    EXPECT_EQ(alone.heard_blocks().size(), a.size());
    const auto c = heard_in(testing::with_dropout(ours, kSecondDataBlock + 0.9, kSecondDataBlock + 1.0));
    const MergedTape bad = merge_takes({heard_in(testing::with_dropout(ours, kSecondDataBlock + 0.5, kSecondDataBlock + 0.6)), c});
    EXPECT_FALSE(bad.sound());
    EXPECT_FALSE(bad.blocks[2].missing);
    EXPECT_FALSE(bad.blocks[2].heard.complete);
}

TEST(TakeMerger, ATakeStoppedEarlyGivesTheEndBlockItLostNoTime)
{
    // One take stopped after the first header: its file's end block is
    // lost right after that header, by its account. Another, 4 % fast,
    // stopped inside that end block. A third, 5 % slow and started early,
    // heard everything. The broken end block and the lost one are the end
    // block the third take heard sound, where that one heard it.
    const Recording ours = testing::recording_of(kTape);
    const auto clean = heard_in(ours);
    ASSERT_EQ(clean.size(), testing::image_blocks(kTape).size());
    const double end_block = clean[4].seconds;
    TakeSet set;
    for (const Recording& take : {testing::stopped_at(ours, clean[0].seconds + 0.5),
                                  testing::stopped_at(testing::played(ours, 44100, 1.04), (end_block + 0.01) / 1.04),
                                  started_early(testing::played(ours, 44100, 0.95), 1.0)}) {
        const Bytes wav = testing::wav_file({take});
        std::istringstream in(std::string(wav.begin(), wav.end()));
        EXPECT_TRUE(set.add(in).empty());
    }
    const MergedTape merged = set.merge();
    EXPECT_TRUE(merged.sound());
    EXPECT_EQ(bytes_of(merged.heard_blocks()), testing::image_blocks(kTape));
    EXPECT_TRUE(merge_report(merged, {"A.wav", "B.wav", "C.wav"}, "M.k7").problems.empty());
}

TEST(TakeMerger, AHeaderThatATakeMissedAltogetherLeavesTheFileItsBlocks)
{
    // Silence over the whole header of the second file: after the first
    // file's end block, what comes is still the second file, not more of the
    // first.
    const Recording ours = testing::recording_of(kTape);
    const auto a = heard_in(testing::with_dropout(ours, kSecondFileHeader - 0.002, kSecondFileHeader + 0.1));
    ASSERT_EQ(a.size(), testing::image_blocks(kTape).size() - 1);
    const auto b = heard_in(testing::with_dropout(testing::played(ours, 44100, 0.95), kSecondDataBlock / 0.95 + 0.5,
                                                  kSecondDataBlock / 0.95 + 0.6));
    for (const bool a_first : {true, false}) {
        const MergedTape merged = merge_takes(a_first ? std::vector<std::vector<HeardBlock>>{a, b}
                                                      : std::vector<std::vector<HeardBlock>>{b, a});
        EXPECT_TRUE(merged.sound());
        EXPECT_EQ(bytes_of(merged.heard_blocks()), testing::image_blocks(kTape));
        EXPECT_EQ(merged.file_names, (std::vector<std::string>{"PREMIER ", "SECOND  "}));
    }

    // Alone, the take gives a file whose header no take heard, and says so.
    const MergedTape alone = merge_takes({a});
    ASSERT_EQ(alone.blocks.size(), testing::image_blocks(kTape).size());
    EXPECT_TRUE(alone.blocks[5].missing);
    EXPECT_EQ(alone.blocks[6].file, 1u);
    EXPECT_EQ(alone.blocks[6].place, 1u);
    const MergeReport report = merge_report(alone, {"A.wav"}, "X.k7");
    EXPECT_EQ(testing::french(report.files), (std::vector<std::string>{"PREMIER  : blocs 0-4 de A.wav", "? : blocs 0 manquant, 1-3 de A.wav"}));
    EXPECT_EQ(testing::french(report.problems), std::vector<std::string>{"X.k7 : ? : bloc 0 : entendu dans aucune prise"});
}

TEST(TakeMerger, WhatATakeHeardInsideABlockAnotherHeardWholeIsNotABlockOfItsOwn)
{
    // One take stopped early, after the second file's first data block. In
    // another, 3 % slow and started a second early, a splice took that
    // block's start: a sync byte found in what was left made a block of
    // another type, broken off, heard while the first take heard its block
    // whole. It is no block of the tape: the merge is the tape.
    const auto whole = heard_in(testing::recording_of(kTape));
    ASSERT_EQ(whole.size(), 9u);
    const std::vector<HeardBlock> stopped(whole.begin(), whole.begin() + 7);
    std::vector<HeardBlock> spliced = whole;
    for (auto& heard : spliced) {
        heard.seconds = 1 + heard.seconds / 0.97;
        heard.figures.speed = 0.97;
    }
    HeardBlock& piece = spliced[6];
    piece.seconds += 0.3;
    piece.complete = false;
    piece.block.length = 150;
    for (std::size_t i = kBlockTypeOffset; i < piece.block.length; ++i) piece.block.bytes[i] = static_cast<std::uint8_t>(0xEC + 37 * i);
    ASSERT_FALSE(piece.sound());
    for (const bool stopped_first : {true, false}) {
        const MergedTape merged = merge_takes(stopped_first ? std::vector<std::vector<HeardBlock>>{stopped, spliced}
                                                            : std::vector<std::vector<HeardBlock>>{spliced, stopped});
        EXPECT_TRUE(merged.sound()) << stopped_first;
        EXPECT_EQ(bytes_of(merged.heard_blocks()), testing::image_blocks(kTape)) << stopped_first;
    }
}

TEST(TakeMerger, TwoTakesThatHeardABlockSoundTwoWaysAreSaidToDisagree)
{
    // Noise over a block in one take left two bits wrong the same way, its
    // checksum right. Heard at the same time as the other take's copy, it
    // is the same block heard two ways: the copy heard with the better
    // margin is kept, once, and the merge says the takes disagree.
    const auto whole = heard_in(testing::recording_of(kTape));
    std::vector<HeardBlock> other = whole;
    for (auto& heard : other) heard.seconds = 0.5 + heard.seconds / 1.04;
    for (auto& heard : other) heard.figures.speed = 1.04;
    HeardBlock& twisted = other[2];
    twisted.block.bytes[kPayloadOffset + 3] ^= 0x80;
    twisted.block.bytes[kPayloadOffset + 9] ^= 0x80;
    twisted.figures.margin = 0.05;
    ASSERT_TRUE(twisted.sound());
    for (const bool twisted_first : {true, false}) {
        const MergedTape merged = merge_takes(twisted_first ? std::vector<std::vector<HeardBlock>>{other, whole}
                                                            : std::vector<std::vector<HeardBlock>>{whole, other});
        EXPECT_FALSE(merged.sound()) << twisted_first;
        EXPECT_EQ(bytes_of(merged.heard_blocks()), testing::image_blocks(kTape)) << twisted_first;
        const MergeReport report = merge_report(merged, {"A.wav", "B.wav"}, "X.k7");
        const std::string kept = twisted_first ? "B.wav" : "A.wav", lost = twisted_first ? "A.wav" : "B.wav";
        EXPECT_EQ(testing::french(report.problems), std::vector<std::string>{"X.k7 : PREMIER  : bloc 2 : juste dans " + kept + " et dans " + lost +
                                                            ", mais pas pareil ; garde celui de " + kept})
            << twisted_first;
    }
}

}  // namespace
}  // namespace morlevix
