// Reading WAV files: every layout a recorder may leave, and a clear message
// for everything else.
#include "tape/sound/wav_input.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "tape/sound/compressed_samples.h"

#include "recordings.h"

namespace morlevix {
namespace {

using testing::Bytes;

struct ReadBack {
    std::string error;
    WavFormat format;
    std::vector<float> first_channel;
    std::vector<float> second_channel;
};

ReadBack read_back(const Bytes& file)
{
    std::istringstream in(std::string(file.begin(), file.end()));
    WavReader reader(in);
    ReadBack result;
    if (!reader.open()) {
        result.error = reader.error().fr();
        return result;
    }
    result.format = reader.format();
    std::vector<std::vector<float>> channels;
    while (reader.read(channels, 3) > 0) {
        result.first_channel.insert(result.first_channel.end(), channels[0].begin(), channels[0].end());
        if (channels.size() > 1)
            result.second_channel.insert(result.second_channel.end(), channels[1].begin(), channels[1].end());
    }
    result.error = reader.error().fr();
    return result;
}

void set_u32(Bytes& file, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) file[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

void set_u16(Bytes& file, std::size_t at, std::uint16_t value)
{
    file[at] = static_cast<std::uint8_t>(value);
    file[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// Ten samples from -1 towards 1.
testing::Recording ramp()
{
    testing::Recording r;
    for (int i = 0; i < 10; ++i) r.samples.push_back(-1 + 0.2 * i);
    return r;
}

TEST(WavInput, SamplesOfEveryFormatReadAsTheSameValues)
{
    using testing::SampleFormat;
    for (auto format : {SampleFormat::pcm8, SampleFormat::pcm16, SampleFormat::pcm24, SampleFormat::pcm32,
                        SampleFormat::float32, SampleFormat::float64})
        for (bool extensible : {false, true}) {
            const auto back = read_back(testing::wav_file({ramp(), testing::inverted(ramp())}, {format, extensible}));
            ASSERT_EQ(back.error, "");
            EXPECT_EQ(back.format.channels, 2);
            ASSERT_EQ(back.first_channel.size(), 10u);
            for (int i = 0; i < 10; ++i) EXPECT_NEAR(back.first_channel[static_cast<std::size_t>(i)], -1 + 0.2 * i, 0.01);
        }
}

// Two tones, as a rounded cassette signal is, half a second.
testing::Recording tones(double rate, double phase)
{
    testing::Recording r;
    r.rate = rate;
    constexpr double kPi = 3.14159265358979323846;
    for (int i = 0; i < static_cast<int>(rate / 2); ++i) {
        const double t = i / rate;
        r.samples.push_back(0.4 * std::sin(2 * kPi * 1225 * t + phase) + 0.2 * std::sin(2 * kPi * 2450 * t));
    }
    return r;
}

TEST(WavInput, CompressedFormatsReadAsTheSameSamplesAsPcm)
{
    // G.711's ends and middle, as the standard tables give them.
    EXPECT_EQ(mu_law_sample(0xFF), 0.0f);
    EXPECT_EQ(mu_law_sample(0x80), 32124 / 32768.0f);
    EXPECT_EQ(mu_law_sample(0x00), -32124 / 32768.0f);
    EXPECT_EQ(mu_law_sample(0xF0), 120 / 32768.0f);
    EXPECT_EQ(a_law_sample(0xD5), 8 / 32768.0f);
    EXPECT_EQ(a_law_sample(0xAA), 32256 / 32768.0f);
    EXPECT_EQ(a_law_sample(0x2A), -32256 / 32768.0f);

    // Stereo, a different signal on each side, so that the channels'
    // interleaving shows; the closeness each format promises.
    using testing::SampleFormat;
    for (double rate : {8000.0, 44100.0}) {
        const std::vector<testing::Recording> stereo = {tones(rate, 0), testing::inverted(tones(rate, 1))};
        const auto pcm = read_back(testing::wav_file(stereo));
        for (const auto& [format, tolerance] : std::vector<std::pair<SampleFormat, double>>{
                 {SampleFormat::mu_law, 0.02}, {SampleFormat::a_law, 0.02},
                 {SampleFormat::ima_adpcm, 0.03}, {SampleFormat::ms_adpcm, 0.03}})
            for (bool extensible : {false, true}) {
                const std::string what = std::to_string(static_cast<int>(format)) + (extensible ? " extensible " : " ") +
                                         std::to_string(rate);
                const auto back = read_back(testing::wav_file(stereo, {format, extensible, 256}));
                ASSERT_EQ(back.error, "") << what;
                EXPECT_EQ(back.format.channels, 2) << what;
                // ADPCM ends with a block filled up with silence.
                ASSERT_GE(back.first_channel.size(), pcm.first_channel.size()) << what;
                ASSERT_EQ(back.second_channel.size(), back.first_channel.size()) << what;
                double worst = 0, power = 0;
                for (std::size_t i = 0; i < pcm.first_channel.size(); ++i)
                    for (const auto& [heard, sent] : {std::pair{back.first_channel[i], pcm.first_channel[i]},
                                                      std::pair{back.second_channel[i], pcm.second_channel[i]}}) {
                        worst = std::max(worst, std::fabs(static_cast<double>(heard - sent)));
                        power += (heard - sent) * (heard - sent);
                    }
                const double rms = std::sqrt(power / (2.0 * static_cast<double>(pcm.first_channel.size())));
                // ADPCM follows two tones less closely at 8 kHz, where each
                // sample moves further.
                if (format == SampleFormat::mu_law || format == SampleFormat::a_law) EXPECT_LT(worst, tolerance) << what;
                else EXPECT_LT(rms, rate < 11025 ? 3 * tolerance : tolerance) << what;
            }
    }
}

TEST(WavInput, RecordersLayoutsAreRead)
{
    const Bytes plain = testing::wav_file({ramp()});  // 16-bit: data from offset 44
    // A chunk of odd size before the format and one after it, each with its pad byte.
    Bytes with_chunks(plain.begin(), plain.begin() + 12);
    const Bytes odd = {'J', 'U', 'N', 'K', 3, 0, 0, 0, 'a', 'b', 'c', 0};
    const Bytes list = {'L', 'I', 'S', 'T', 1, 0, 0, 0, 'x', 0};
    with_chunks.insert(with_chunks.end(), odd.begin(), odd.end());
    with_chunks.insert(with_chunks.end(), plain.begin() + 12, plain.begin() + 36);
    with_chunks.insert(with_chunks.end(), list.begin(), list.end());
    with_chunks.insert(with_chunks.end(), plain.begin() + 36, plain.end());
    EXPECT_EQ(read_back(with_chunks).first_channel, read_back(plain).first_channel);

    // Never closed: a data size of 0, or of all ones, or past the end of the
    // file, reads the samples that are there; half a sample at the end is dropped.
    for (std::uint32_t size : {0u, 0xFFFFFFFFu, 1000u}) {
        Bytes unclosed = plain;
        set_u32(unclosed, 40, size);
        unclosed.push_back(0x12);
        const auto back = read_back(unclosed);
        EXPECT_EQ(back.error, "");
        EXPECT_EQ(back.first_channel.size(), 10u) << size;
    }
    // A data size shorter than the file: what follows is not samples.
    Bytes shorter = plain;
    set_u32(shorter, 40, 8);
    EXPECT_EQ(read_back(shorter).first_channel.size(), 4u);
}

TEST(WavInput, AnythingElseIsRefusedInWords)
{
    const Bytes plain = testing::wav_file({ramp()});
    const auto changed = [&](auto change) {
        Bytes file = plain;
        change(file);
        return read_back(file).error;
    };
    EXPECT_EQ(read_back({}).error, "pas un fichier WAV");
    EXPECT_EQ(read_back(testing::wav_of({})).error, "");  // our own WAVs, of course
    EXPECT_EQ(changed([](Bytes& f) { f[0] = 'r'; }), "pas un fichier WAV");
    EXPECT_EQ(changed([](Bytes& f) { f[8] = 'A'; }), "pas un fichier WAV");
    EXPECT_EQ(changed([](Bytes& f) { set_u16(f, 20, 0x55); }), "format WAV compresse ou inconnu (code 85) non pris en charge");
    EXPECT_EQ(changed([](Bytes& f) { set_u16(f, 20, 7); }), "echantillons G.711 de 16 bits non pris en charge");
    EXPECT_EQ(changed([](Bytes& f) { set_u16(f, 20, 0x11); }), "echantillons ADPCM de 16 bits non pris en charge");
    EXPECT_EQ(changed([](Bytes& f) { set_u16(f, 22, 0); }), "nombre de canaux impossible (0)");
    EXPECT_EQ(changed([](Bytes& f) { set_u16(f, 22, 4000); }), "nombre de canaux impossible (4000)");
    EXPECT_EQ(changed([](Bytes& f) { set_u32(f, 24, 1000); }),
              "frequence d'echantillonnage non prise en charge (1000 Hz ; de 5500 a 192000 Hz)");
    EXPECT_EQ(changed([](Bytes& f) { set_u16(f, 34, 12); }), "echantillons de 12 bits non pris en charge");
    EXPECT_EQ(changed([](Bytes& f) { set_u16(f, 32, 7); }), "taille des echantillons incoherente");
    EXPECT_EQ(changed([](Bytes& f) { set_u32(f, 16, 0xFFFFFFF0u); }), "bloc de format WAV de taille impossible");
    EXPECT_EQ(changed([](Bytes& f) { std::copy_n("data", 4, f.begin() + 12); }),
              "echantillons avant le format dans le fichier WAV");
    // A chunk that claims more than the file holds, before any samples.
    EXPECT_EQ(changed([](Bytes& f) {
                  std::copy_n("LIST", 4, f.begin() + 36);
                  set_u32(f, 40, 0x7FFFFFFF);
              }),
              "pas d'echantillons dans le fichier WAV");
    // Cut anywhere in its header.
    for (std::size_t cut = 4; cut < 44; ++cut) {
        const auto back = read_back(Bytes(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(cut)));
        EXPECT_TRUE(back.error == "en-tete WAV coupe" || back.error == "pas d'echantillons dans le fichier WAV")
            << "cut at " << cut << ": " << back.error;
    }
}

}  // namespace
}  // namespace morlevix
