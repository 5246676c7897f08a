// Which reader a file goes to, told by its first bytes; and what a build
// says of a format it cannot read.
#include <gtest/gtest.h>

#include <sstream>

#include "tape/reading/recording_converter.h"
#include "tape/sound/recording_input.h"

namespace morlevix {
namespace {

std::string bytes(std::initializer_list<int> values)
{
    std::string text;
    for (const int v : values) text += static_cast<char>(v);
    return text;
}

TEST(RecordingInput, AFileIsToldByItsFirstBytesAndLeftWhereItWas)
{
    const std::string ogg = "OggS" + std::string(24, '\0');
    const std::string id3 = "ID3" + bytes({4, 0, 0, 0, 0, 0, 5}) + "TAGS!";  // a tag of 5 bytes
    const std::vector<std::pair<std::string, FileKind>> cases = {
        {"RIFF\x24\0\0\0WAVEfmt ", FileKind::wav},
        {"RIFF\x24\0\0\0AVI LIST", FileKind::wav},  // our reader says it is no WAVE
        {"RF64\xff\xff\xff\xffWAVEds64", FileKind::rf64},
        {"riff" + bytes({0x2E, 0x91, 0xCF, 0x11, 0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0, 0}), FileKind::w64},
        {std::string("FORM\0\0\0\0AIFFCOMM", 16), FileKind::aiff},
        {std::string("FORM\0\0\0\0AIFCFVER", 16), FileKind::aiff},
        {"fLaC\0\0\0\x22", FileKind::flac},
        {ogg + "OpusHead", FileKind::ogg_opus},
        {ogg + "\x01vorbis", FileKind::ogg_vorbis},
        {ogg + "\x7f" "FLAC", FileKind::ogg_flac},
        {ogg + "\x80theora", FileKind::ogg},
        {bytes({0xFF, 0xFB, 0x90, 0x64}), FileKind::mp3},
        {id3 + bytes({0xFF, 0xFB, 0x90, 0x64}), FileKind::mp3},
        {id3 + "fLaC", FileKind::flac},
        {bytes({0xFF, 0xF1, 0x50, 0x80}), FileKind::aac},
        {std::string("\0\0\0\x20" "ftypM4A ", 12), FileKind::aac},
        {"caff\0\1\0\0", FileKind::caf},
        {".snd\0\0\0\x18", FileKind::au},
        {"#!AMR\n", FileKind::amr},
        // Tape images, and anything else, are no recording.
        {bytes({0x55, 0x55, 0x55, 0x3C, 0x00, 0x0F}), FileKind::other},
        {bytes({0x3C, 0x00, 0x0F}), FileKind::other},
        {"10 PRINT \"BONJOUR\"\n", FileKind::other},
        {"", FileKind::other},
    };
    for (const auto& [start, kind] : cases) {
        std::istringstream file(start + std::string(100, 'x'));
        file.seekg(0);
        EXPECT_EQ(file_kind_of(file), kind) << start;
        EXPECT_EQ(file.tellg(), 0) << start;
        EXPECT_TRUE(file.good()) << start;
    }
}

// What reading `file` as a recording says.
Said refusal_of(const std::string& file)
{
    std::istringstream in(file);
    return decode_recording(in).error;
}

TEST(RecordingInput, AFormatThisBuildDoesNotReadIsRefusedByNameWithWhatToDo)
{
    const Said flac = refusal_of("fLaC" + std::string(200, '\x01'));
    if (CompressedRecording::available()) {
        // Read by libsndfile: bytes that are no FLAC are said unreadable.
        EXPECT_EQ(flac.fr().rfind("enregistrement illisible (", 0), 0u) << flac.fr();
        EXPECT_EQ(flac.en().rfind("unreadable recording (", 0), 0u) << flac.en();
    } else {
        EXPECT_EQ(flac.fr(), "FLAC : format que cette version de morlevix ne lit pas ; convertir en WAV, par exemple "
                             "avec sox IN.flac OUT.wav");
        EXPECT_EQ(flac.en(), "FLAC: a format this build of morlevix does not read; convert it to WAV, for example "
                             "with sox IN.flac OUT.wav");
        EXPECT_EQ(refusal_of(bytes({0xFF, 0xFB, 0x90, 0x64}) + std::string(500, '\0')).fr(),
                  "MP3 : format que cette version de morlevix ne lit pas ; convertir en WAV, par exemple avec sox "
                  "IN.mp3 OUT.wav");
    }
    // A phone's AAC, whatever the build: the page, or ffmpeg.
    const Said m4a = refusal_of(std::string("\0\0\0\x20" "ftypM4A ", 12) + std::string(200, '\0'));
    EXPECT_EQ(m4a.en(), "AAC (M4A): a format morlevix does not read; open the file in morlevix's page (the browser "
                        "decodes it), or convert it to WAV, for example with ffmpeg -i IN.m4a OUT.wav");
    // A text: no recording at all.
    EXPECT_EQ(refusal_of("bonjour").fr(), "pas un fichier WAV, ni un enregistrement d'un autre format connu");
    // The help says which this build reads.
    const std::string formats = recording_formats_text().en();
    EXPECT_EQ(formats.find("FLAC, Ogg Vorbis, Opus, MP3") != std::string::npos, CompressedRecording::available()) << formats;
}

}  // namespace
}  // namespace morlevix
