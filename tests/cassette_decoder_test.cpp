// The decoder on recordings made from our own WAVs and put through what
// real tapes suffer: every block must come back, byte for byte.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <sstream>

#include "said_in_tests.h"
#include "conversion_properties.h"
#include "recordings.h"
#include "signal_decoder.h"
#include "tape/reading/recording_converter.h"
#include "tape_builder.h"

namespace morlevix {
namespace {

using testing::Bytes;
using testing::concat;
using testing::Recording;

// Two files: one with a gap flag of 0 (blocks 4 ms apart), one with 0xFF
// (a gap and leader before every block), blocks of every length class,
// random payloads, an unusual block type.
Bytes two_file_tape()
{
    std::mt19937 generator(7);
    Bytes long_payload(700), short_payload(40);
    for (auto& b : long_payload) b = static_cast<std::uint8_t>(generator());
    for (auto& b : short_payload) b = static_cast<std::uint8_t>(generator());
    return concat({testing::tape_file("ALPHA", long_payload, 0x00), testing::header_block("BETA", 0xFF),
                   testing::data_block(short_payload), testing::data_block({}),
                   testing::tape_block(0x42, {1, 2, 3}), testing::end_of_file_block()});
}

DecodedRecording decode(const Bytes& wav)
{
    std::istringstream in(std::string(wav.begin(), wav.end()));
    return decode_recording(in);
}

std::vector<Bytes> heard_bytes(const DecodedRecording& decoded)
{
    std::vector<Bytes> blocks;
    for (const auto& heard : decoded.blocks) {
        const auto start = heard.block.bytes.begin();
        blocks.emplace_back(start, start + static_cast<std::ptrdiff_t>(heard.block.length));
    }
    return blocks;
}

// Every block of `image` comes back whole and sound from `wav`.
void expect_every_block(const Bytes& image, const Bytes& wav, const std::string& what)
{
    const auto decoded = decode(wav);
    EXPECT_EQ(decoded.error, Said()) << what;
    EXPECT_EQ(heard_bytes(decoded), testing::image_blocks(image)) << what;
    EXPECT_TRUE(decoded.sound()) << what;
}

TEST(CassetteDecoder, OurOwnWavsComeBackByteForByte)
{
    // Converting the decoded image gives back the very WAV it was heard from.
    auto tapes = testing::seed_tapes();
    tapes.push_back(two_file_tape());
    for (std::size_t i = 0; i < tapes.size(); ++i) {
        const Bytes wav = testing::wav_of(tapes[i]);
        const auto decoded = decode(wav);
        EXPECT_EQ(heard_bytes(decoded), testing::image_blocks(tapes[i])) << "tape " << i;
        if (decoded.blocks.empty()) continue;  // nothing to make an image of
        EXPECT_EQ(testing::wav_of(tape_image_of(decoded.blocks)), wav) << "tape " << i;
    }
}

TEST(CassetteDecoder, EveryBlockComesBackThroughWhatTapesSuffer)
{
    const Bytes image = two_file_tape();
    const Recording ours = testing::recording_of(image);
    using testing::ac_coupled;
    using testing::low_passed;
    using testing::played;
    using testing::with_hiss;
    // An old cassette: band-limited, hiss, running 4 % slow and wobbling.
    const auto old_cassette = [&](double rate) {
        return with_hiss(played(ac_coupled(low_passed(ours, 2800), 200), rate, 0.96, 0.02, 0.5, 0.005, 8), 15, 3);
    };
    const std::vector<std::pair<std::string, std::function<Recording()>>> cases = {
        {"a whisper, -40 dBFS", [&] { return testing::with_gain(ours, -40); }},
        {"hard clipping of a rounded signal", [&] { return testing::clipped(low_passed(ours, 2800), 20); }},
        {"a DC offset", [&] { return testing::with_offset(testing::with_gain(ours, -6), 0.3); }},
        {"inverted", [&] { return testing::inverted(ours); }},
        {"low-pass at 2.8 kHz", [&] { return low_passed(ours, 2800); }},
        {"AC coupling at 300 Hz", [&] { return ac_coupled(ours, 300); }},
        {"high-pass at 400 Hz", [&] { return testing::high_passed(ours, 400); }},
        {"hiss at 5 dB", [&] { return with_hiss(testing::with_gain(ours, -10), 5, 1); }},
        {"hiss at 5 dB, inverted", [&] { return with_hiss(testing::inverted(ours), 5, 2); }},
        {"12 % fast", [&] { return played(ours, 44100, 1.12); }},
        {"12 % slow", [&] { return played(ours, 44100, 0.88); }},
        {"wow and flutter", [&] { return played(ours, 44100, 1.0, 0.03, 0.7, 0.01, 9); }},
        {"12 % fast, band-limited, hiss at 15 dB",
         [&] { return with_hiss(played(ac_coupled(low_passed(ours, 2800), 300), 44100, 1.12), 15, 8); }},
        {"12 % slow, band-limited, hiss at 15 dB",
         [&] { return with_hiss(played(ac_coupled(low_passed(ours, 2800), 300), 44100, 0.88), 15, 9); }},
        {"clipped, then AC-coupled", [&] { return ac_coupled(testing::clipped(low_passed(ours, 2800), 20), 200); }},
        {"an old cassette", [&] { return old_cassette(44100); }},
        {"an old cassette at 8 kHz", [&] { return old_cassette(8000); }},
        {"an old cassette at 22.05 kHz, inverted", [&] { return testing::inverted(old_cassette(22050)); }},
    };
    for (const auto& [what, make] : cases) expect_every_block(image, testing::wav_file({make()}), what);
}

TEST(CassetteDecoder, EveryBlockComesBackThroughRecordingsAsPeopleMakeThem)
{
    const Bytes image = two_file_tape();
    const Recording ours = testing::recording_of(image);
    using testing::with_hiss;
    // Not read whole yet: a room's reflections (see below).
    const auto steep_low_pass = [&](double cutoff) { return testing::low_passed(testing::low_passed(ours, cutoff), cutoff); };
    const std::vector<std::pair<std::string, std::function<Recording()>>> cases = {
        {"25 % slow", [&] { return testing::played(ours, 44100, 0.75); }},
        {"15 % fast", [&] { return testing::played(ours, 44100, 1.15); }},
        {"drifting from 20 % slow to 10 % fast", [&] { return testing::played_drifting(ours, 0.8, 1.1); }},
        {"azimuth error, 100 us", [&] { return testing::with_azimuth_error(ours, 100e-6); }},
        {"azimuth error, 150 us", [&] { return testing::with_azimuth_error(ours, 150e-6); }},
        // The short cycles' tone 30 dB down, and the channel's inverse
        // learned from the leader, whatever the polarity, speed and rate.
        {"azimuth error, 200 us", [&] { return testing::with_azimuth_error(ours, 200e-6); }},
        {"azimuth error, 200 us, inverted", [&] { return testing::inverted(testing::with_azimuth_error(ours, 200e-6)); }},
        {"azimuth error, 200 us, 15 % fast", [&] { return testing::played(testing::with_azimuth_error(ours, 200e-6), 44100, 1.15); }},
        {"azimuth error, 200 us, at 8 kHz", [&] { return testing::resampled(testing::with_azimuth_error(ours, 200e-6), 8000); }},
        {"a steep low-pass at 1.6 kHz", [&] { return steep_low_pass(1600); }},
        {"a steep low-pass at 1.5 kHz, inverted", [&] { return testing::inverted(steep_low_pass(1500)); }},
        {"a steep low-pass at 1.6 kHz, 25 % slow", [&] { return testing::played(steep_low_pass(1600), 44100, 0.75); }},
        {"a steep low-pass at 1.6 kHz, hiss at 20 dB", [&] { return with_hiss(steep_low_pass(1600), 20, 5); }},
        {"mains hum as loud as the signal", [&] { return testing::with_hum(testing::with_gain(ours, -6), 50, 0); }},
        {"mains hum 6 dB above the signal", [&] { return testing::with_hum(testing::with_gain(ours, -12), 60, 6); }},
        {"clicks", [&] { return testing::with_clicks(testing::with_gain(ours, -6), 5, 11); }},
        {"dips of 20 dB, 5 ms", [&] { return testing::with_dips(ours, -20, 0.005, 0.7); }},
        {"dips of 12 dB, 20 ms", [&] { return testing::with_dips(ours, -12, 0.02, 0.9); }},
        {"automatic level control", [&] { return testing::with_level_control(testing::with_gain(ours, -20)); }},
        {"a phone's band, 200 to 5,000 Hz, and hiss", [&] {
             return with_hiss(testing::high_passed(testing::low_passed(ours, 5000), 200), 15, 12);
         }},
        {"white hiss at 1 dB", [&] { return with_hiss(testing::with_gain(ours, -10), 1, 13); }},
    };
    for (const auto& [what, make] : cases) expect_every_block(image, testing::wav_file({make()}), what);
}

TEST(CassetteDecoder, ARoomsEchoesAreReadAgainAsWholeCycles)
{
    // A phone held to a loudspeaker: the echoes of the cycles before move
    // every crossing, and the crossings alone read one block of these ten.
    // Read again as whole cycles of the two tones, they all come back
    // (a block is allowed for rounding that differs between compilers); a
    // tape 10 % slow in a room loses one, one heard at 8 kHz three. Whatever
    // is said sound is right.
    const Bytes image = two_file_tape();
    const auto blocks = testing::image_blocks(image);
    const Recording ours = testing::recording_of(image);
    const Recording room = testing::in_a_room(ours, 0.1);
    const std::size_t all_but_one = blocks.size() - 1;
    const std::size_t all_but_two = blocks.size() - 2;
    const std::size_t more_than_half = blocks.size() / 2 + 1;
    struct Case {
        std::string what;
        Recording recording;
        std::size_t at_least;
    };
    const std::vector<Case> cases = {
        {"a room of 0.05 s", testing::in_a_room(ours, 0.05), all_but_one},
        {"a room of 0.1 s", room, all_but_one},
        {"a room of 0.1 s, hiss at 20 dB", testing::with_hiss(room, 20, 14), all_but_one},
        {"a room of 0.1 s, inverted", testing::inverted(room), all_but_one},
        {"a room of 0.2 s", testing::in_a_room(ours, 0.2), all_but_one},
        {"a room of 0.1 s, 10 % slow", testing::in_a_room(testing::played(ours, 44100, 0.9), 0.1), all_but_two},
        {"a room of 0.1 s, at 8 kHz", testing::resampled(room, 8000), more_than_half},
    };
    for (const auto& [what, recording, at_least] : cases) {
        const auto decoded = decode(testing::wav_file({recording}));
        std::size_t sound = 0, next = 0;
        for (const auto& heard : decoded.blocks) {
            if (!heard.sound()) continue;
            ++sound;
            const Bytes bytes(heard.block.bytes.begin(), heard.block.bytes.begin() + static_cast<std::ptrdiff_t>(heard.block.length));
            const auto found = std::find(blocks.begin() + static_cast<std::ptrdiff_t>(next), blocks.end(), bytes);
            ASSERT_NE(found, blocks.end()) << what << ": a sound block that is not on the tape, or out of order";
            next = static_cast<std::size_t>(found - blocks.begin()) + 1;
        }
        EXPECT_GE(sound, at_least) << what << ": " << sound << " of " << blocks.size();
    }
}

TEST(CassetteDecoder, ABlockTheCrossingsNeverHeardIsReadFromWhereTheOneBeforeEnded)
{
    // Blocks 4 ms apart have no leader of their own: a block whose marker
    // and sync bytes the echoes hide from the crossings was lost, unheard,
    // with every one after it. Blocks of zeros (long cycles only) after the
    // short cycles of their length byte lose it in a bare room; each is
    // read again from the end of the one before. Where every block has its
    // gap and leader (0xFF), the leader's own mark reads it instead.
    std::mt19937 generator(11);
    Bytes random_payload(600);
    for (auto& b : random_payload) b = static_cast<std::uint8_t>(generator());
    for (const std::uint8_t gaps : {0x00, 0xFF}) {
        const Bytes image = concat({testing::tape_file("ZERO", Bytes(1000, 0), gaps), testing::tape_file("RND", random_payload, gaps)});
        expect_every_block(image, testing::wav_file({testing::in_a_bare_room(testing::recording_of(image), 0.3)}),
                           "a bare room of 0.3 s, gap flag " + std::to_string(gaps));
    }
}

TEST(CassetteDecoder, EveryRateLayoutAndSampleFormatReads)
{
    const Bytes image = two_file_tape();
    const Recording ours = testing::recording_of(image);
    for (double rate : {5500.0, 6000.0, 8000.0, 11025.0, 22050.0, 48000.0, 96000.0, 192000.0})
        expect_every_block(image, testing::wav_file({testing::resampled(ours, rate)}), std::to_string(rate) + " Hz");
    const auto telephone = testing::high_passed(testing::low_passed(testing::resampled(ours, 8000), 3400), 300);
    expect_every_block(image, testing::wav_file({telephone}), "telephone band");

    using testing::SampleFormat;
    const Recording quiet = testing::with_gain(ours, -12);
    for (auto format : {SampleFormat::pcm8, SampleFormat::pcm16, SampleFormat::pcm24, SampleFormat::pcm32,
                        SampleFormat::float32, SampleFormat::float64, SampleFormat::mu_law, SampleFormat::a_law,
                        SampleFormat::ima_adpcm, SampleFormat::ms_adpcm})
        for (bool extensible : {false, true})
            expect_every_block(image, testing::wav_file({quiet}, {format, extensible}),
                               "format " + std::to_string(static_cast<int>(format)) + (extensible ? " extensible" : ""));
    // A voice recorder's: 8 kHz, compressed, stereo (Microsoft ADPCM needs
    // a better encoder than our own at that rate: sox's, in the sox test).
    const Recording voice = testing::resampled(quiet, 8000);
    for (auto format : {SampleFormat::mu_law, SampleFormat::a_law, SampleFormat::ima_adpcm})
        expect_every_block(image, testing::wav_file({voice, voice}, {format, false, 256}),
                           "8 kHz stereo, format " + std::to_string(static_cast<int>(format)));

    // The signal on one channel only, the other silent or full of hiss;
    // both channels the same; one channel the other inverted.
    Recording silence = ours;
    std::fill(silence.samples.begin(), silence.samples.end(), 0.0);
    const Recording hiss = testing::with_hiss(silence, 0, 4);
    const std::vector<std::pair<std::string, std::vector<Recording>>> layouts = {
        {"left only", {ours, silence}}, {"right only, hiss on the left", {testing::with_gain(hiss, -20), ours}},
        {"same on both", {ours, ours}}, {"right inverted", {ours, testing::inverted(ours)}},
        {"third of four", {silence, silence, ours, silence}}};
    for (const auto& [what, channels] : layouts) expect_every_block(image, testing::wav_file(channels), what);
}

TEST(CassetteDecoder, EachBlockSaysTheSpeedLevelAndMarginItWasHeardAt)
{
    const Bytes image = two_file_tape();
    const Recording ours = testing::recording_of(image);
    // Our own signal peaks at 127/128 of full scale: -0.07 dBFS.
    for (const auto& [speed, gain] : std::vector<std::pair<double, double>>{{1.0, 0}, {0.93, -12}, {1.1, -30}}) {
        const auto decoded = decode(testing::wav_file({testing::with_gain(testing::played(ours, 44100, speed), gain)}));
        ASSERT_EQ(heard_bytes(decoded), testing::image_blocks(image)) << speed;
        for (const auto& heard : decoded.blocks) {
            EXPECT_NEAR(heard.figures.speed, speed, 0.005) << speed;
            EXPECT_NEAR(heard.figures.level, gain, 0.6) << speed;  // the band limit rings a little over the edges
            EXPECT_GT(heard.figures.margin, 0.5) << speed;
        }
    }
    // Hiss takes margin away: the weakest bit of a long block lies nearer
    // the line (in a short one the clean signal's own edges weigh as much).
    const auto hissy = decode(testing::wav_file({testing::with_hiss(ours, 3, 6)}));
    const auto clean = decode(testing::wav_file({ours}));
    ASSERT_EQ(hissy.blocks.size(), clean.blocks.size());
    for (std::size_t i = 0; i < clean.blocks.size(); ++i) {
        if (clean.blocks[i].block.payload_length() < 40) continue;
        EXPECT_LT(hissy.blocks[i].figures.margin, clean.blocks[i].figures.margin - 0.1) << "block " << i;
    }
}

TEST(CassetteDecoder, HissHumOrMusicAloneMakeNoBlock)
{
    // Hum, and music: three voices of notes from a scale, square-ish, some
    // of them near the tape's two tones.
    Recording hum;
    hum.samples.assign(44100 * 30, 0.0);
    hum = testing::with_hum(testing::with_offset(hum, 0.3), 50, 0);
    EXPECT_EQ(decode(testing::wav_file({testing::with_offset(hum, -0.3)})).blocks.size(), 0u) << "hum";
    Recording music;
    std::mt19937 generator(21);
    constexpr double kPi = 3.14159265358979323846;
    const double scale[] = {262, 294, 330, 392, 440, 523, 587, 659, 784, 880, 1047, 1175, 1319, 2349, 2637};
    double phases[3] = {};
    for (int note = 0; note < 30 * 4; ++note) {
        double pitches[3];
        for (auto& p : pitches) p = scale[generator() % std::size(scale)];
        for (int i = 0; i < 44100 / 4; ++i) {
            double sample = 0;
            for (int v = 0; v < 3; ++v) {
                phases[v] += 2 * kPi * pitches[v] / 44100;
                sample += 0.25 * std::tanh(3 * std::sin(phases[v])) * std::exp(-4.0 * i / 44100);
            }
            music.samples.push_back(sample);
        }
    }
    EXPECT_EQ(decode(testing::wav_file({music})).blocks.size(), 0u) << "music";
    EXPECT_EQ(decode(testing::wav_file({testing::resampled(music, 8000)})).blocks.size(), 0u) << "music at 8 kHz";

    for (double rate : {8000.0, 44100.0}) {
        Recording hiss;
        hiss.rate = rate;
        hiss.samples.assign(static_cast<std::size_t>(rate * 30), 0.5);  // the level the hiss is measured against
        hiss = testing::with_offset(testing::with_hiss(hiss, 0, 5), -0.5);
        for (const auto& heard : {hiss, testing::low_passed(hiss, 3000)})
            EXPECT_EQ(decode(testing::wav_file({heard})).blocks.size(), 0u) << rate << " Hz";
    }
}

TEST(CassetteDecoder, ADropoutBreaksItsBlockAndSparesTheOthers)
{
    const Bytes image = testing::tape_file("TROU", testing::counting_payload(600));
    const auto blocks = testing::image_blocks(image);
    // A tenth of a second of silence in the middle of the second data block
    // (it starts about 3.67 s in; 255 bytes last about 1.25 s).
    const auto decoded = decode(testing::wav_file({testing::with_dropout(testing::recording_of(image), 4.2, 4.3)}));
    ASSERT_EQ(decoded.blocks.size(), blocks.size());
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const auto& heard = decoded.blocks[i];
        if (i != 2) {
            EXPECT_TRUE(heard.sound()) << "block " << i;
            continue;
        }
        EXPECT_FALSE(heard.complete);
        EXPECT_GT(heard.block.length, 3u);
        EXPECT_TRUE(std::equal(heard.block.bytes.begin(), heard.block.bytes.begin() + static_cast<std::ptrdiff_t>(heard.block.length),
                               blocks[i].begin()));
        EXPECT_NEAR(heard.seconds, 3.67, 0.05);
    }
    // The image keeps the broken block at its full length, so the blocks
    // after it stay whole; the catalog says which block broke off.
    const Bytes kept = tape_image_of(decoded.blocks);
    EXPECT_EQ(testing::image_blocks(kept).size(), blocks.size());
    const auto problems = catalog_problems(catalog_of(decoded.blocks));
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].fr().find("bloc 01 de 255 octets a la position"), std::string::npos) << problems[0].fr();
    EXPECT_NE(problems[0].fr().find("signal interrompu dans le bloc"), std::string::npos) << problems[0].fr();
    EXPECT_NE(problems[0].en().find("block 01 of 255 bytes at position"), std::string::npos) << problems[0].en();
}

TEST(CassetteDecoder, ABlockWhoseSyncADropoutTookIsReadBackFromItsEnd)
{
    // A few milliseconds of silence over a data block's sync, type and
    // length bytes: between blocks 4 ms apart nothing else announces it.
    // Followed by another data block it has a data block's type and full
    // length, and is read back from its closing marker, checksum and all,
    // and said. The last data block, followed by the end block, could be
    // of any length: never made up, said lost.
    const Bytes image = testing::tape_file("TROU", testing::counting_payload(600));
    const auto blocks = testing::image_blocks(image);
    const Recording ours = testing::recording_of(image);
    const auto clean = decode(testing::wav_file({ours}));
    ASSERT_EQ(clean.blocks.size(), 5u);
    const double byte_seconds = heard_duration(clean.blocks[1]) / static_cast<double>(blocks[1].size());
    const auto without_first_bytes = [&](std::size_t b) {
        const double sync = clean.blocks[b].seconds;
        return decode(testing::wav_file({testing::with_dropout(ours, sync - 0.002, sync + 2.8 * byte_seconds)}));
    };

    const auto middle = without_first_bytes(2);
    EXPECT_EQ(heard_bytes(middle), blocks);
    EXPECT_TRUE(middle.sound());
    ASSERT_EQ(middle.blocks.size(), 5u);
    EXPECT_TRUE(middle.blocks[2].without_sync);
    EXPECT_NEAR(middle.blocks[2].seconds, clean.blocks[2].seconds, 0.001);
    ASSERT_EQ(middle.account.notes.size(), 1u);
    EXPECT_EQ(middle.account.notes[0].kind, AccountProblem::without_sync);

    // At every rate: the samples of a block that only the second reading
    // hears are still kept when its turn comes (at 5.5 kHz they were gone).
    for (const double rate : {5512.0, 8000.0, 11025.0, 22050.0}) {
        const double sync = clean.blocks[2].seconds;
        const auto at_rate = decode(testing::wav_file(
            {testing::resampled(testing::with_dropout(ours, sync - 0.002, sync + 2.8 * byte_seconds), rate)}));
        EXPECT_TRUE(at_rate.sound()) << rate;
        EXPECT_EQ(heard_bytes(at_rate), blocks) << rate;
    }

    const auto last = without_first_bytes(3);
    EXPECT_FALSE(last.sound());
    for (const auto& heard : last.blocks) EXPECT_FALSE(heard.without_sync);
    std::size_t lost = 0;
    for (const auto& stretch : last.account.lost) lost += stretch.blocks;
    EXPECT_EQ(lost, 1u);
}

}  // namespace
}  // namespace morlevix
