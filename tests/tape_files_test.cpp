// The converter on real files: names, where the WAV goes, and what is left
// on disk when something goes wrong.
#include <gtest/gtest.h>

#include <sstream>

#include "signal_decoder.h"
#include "common/file_replacement.h"
#include "batch/batch_conversion.h"
#include "common/file_names.h"
#include "temp_dir.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace morlevix {
namespace {

using testing::Bytes;
using testing::read_file;
using testing::TempDir;
using testing::write_file;

std::string convert_file(const std::filesystem::path& image)
{
    std::ostringstream console;
    convert_tape_image(image.string(), console);
    return console.str();
}

TEST(TapeFiles, WavNameIsTheFileNameCutAtItsFirstDot)
{
    EXPECT_EQ(wav_name_for("JEU.K7"), "JEU.wav");
    EXPECT_EQ(wav_name_for("A.B.K7"), "A.wav");
    EXPECT_EQ(wav_name_for("a.b.c.k7"), "a.wav");
    EXPECT_EQ(wav_name_for("SANSPOINT"), "SANSPOINT.wav");
    EXPECT_EQ(wav_name_for("jeux/JEU.K7"), "jeux/JEU.wav");
    EXPECT_EQ(wav_name_for("../A.B.K7"), "../A.wav");
    EXPECT_EQ(wav_name_for("v1.2/jeux.d/NOM"), "v1.2/jeux.d/NOM.wav");
}

TEST(TapeFiles, WavIsWrittenBesideTheImage)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "jeux.k7");
    const Bytes image = testing::tape_file("JEU", testing::counting_payload(700));
    write_file(dir / "jeux.k7" / "JEU.B.K7", image);

    EXPECT_EQ(convert_file(dir / "jeux.k7" / "JEU.B.K7"), "\nJEU     ");
    const auto wav = testing::parse_wav(read_file(dir / "jeux.k7" / "JEU.wav"));
    EXPECT_EQ(wav.error, "");
    EXPECT_EQ(testing::decoded_blocks(wav.samples), testing::image_blocks(image));
}

TEST(TapeFiles, ImageThatCannotBeReadLeavesAnExistingWavAsItWas)
{
    TempDir dir;
    const Bytes precious = {'m', 'y', ' ', 'w', 'a', 'v'};
    write_file(dir / "ABSENT.wav", precious);
    std::filesystem::create_directory(dir / "DOSSIER.K7");
    write_file(dir / "DOSSIER.wav", precious);

    EXPECT_EQ(convert_file(dir / "ABSENT.K7"), "\nImpossible de lire " + (dir / "ABSENT.K7").string());
    EXPECT_EQ(read_file(dir / "ABSENT.wav"), precious);
    EXPECT_EQ(convert_file(dir / "DOSSIER.K7"), "\nImpossible de lire " + (dir / "DOSSIER.K7").string());
    EXPECT_EQ(read_file(dir / "DOSSIER.wav"), precious);
    EXPECT_FALSE(std::filesystem::exists(dir / "NOUVEAU.wav"));
    convert_file(dir / "NOUVEAU.K7");
    EXPECT_FALSE(std::filesystem::exists(dir / "NOUVEAU.wav"));
}

TEST(TapeFiles, WavThatCannotBeCreatedIsReported)
{
    TempDir dir;
    write_file(dir / "JEU.K7", testing::tape_file("JEU", {1, 2, 3}));
    std::filesystem::create_directory(dir / "JEU.wav");
    EXPECT_EQ(convert_file(dir / "JEU.K7"), "\nImpossible de creer " + (dir / "JEU.wav").string());

    // An image named like its own WAV is never overwritten by it.
    const Bytes image = testing::tape_file("MEME", {1, 2, 3});
    write_file(dir / "MEME.wav", image);
    EXPECT_EQ(convert_file(dir / "MEME.wav"), "\nImpossible de creer " + (dir / "MEME.wav").string());
    EXPECT_EQ(read_file(dir / "MEME.wav"), image);
}

TEST(TapeFiles, ReplacementTakesTheNameOnlyWhenCommitted)
{
    TempDir dir;
    const Bytes previous = {'o', 'l', 'd'};
    const Bytes next = {'n', 'e', 'w', '!'};
    write_file(dir / "JEU.wav", previous);
    {
        FileReplacement abandoned(dir / "JEU.wav");
        ASSERT_TRUE(abandoned.is_open());
        abandoned.sink().write(next.data(), next.size());
    }
    EXPECT_EQ(read_file(dir / "JEU.wav"), previous);
    EXPECT_EQ(testing::file_names(dir.path()), std::vector<std::string>{"JEU.wav"});
    for (const char* name : {"JEU.wav", "NEUF.wav"}) {
        FileReplacement replacement(dir / name);
        replacement.sink().write(next.data(), next.size());
        EXPECT_TRUE(replacement.commit());
        EXPECT_EQ(read_file(dir / name), next);
    }
    EXPECT_EQ(testing::file_names(dir.path()), (std::vector<std::string>{"JEU.wav", "NEUF.wav"}));
    // A directory cannot be replaced by a file, and a missing directory cannot take one.
    std::filesystem::create_directory(dir / "DOSSIER.wav");
    FileReplacement onto_directory(dir / "DOSSIER.wav");
    EXPECT_FALSE(onto_directory.commit());
    EXPECT_FALSE(FileReplacement(dir / "absent" / "X.wav").is_open());
}

#ifndef _WIN32
TEST(TapeFiles, WriteFailureLeavesThePreviousWavAndNoIncompleteOne)
{
    TempDir dir;
    write_file(dir / "JEU.K7", testing::tape_file("JEU", testing::counting_payload(2000)));
    write_file(dir / "JEU.wav", {'o', 'l', 'd'});
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A file size limit far below the WAV's size, as a full disk or quota would.
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {100000, 100000};
        setrlimit(RLIMIT_FSIZE, &limit);
        const std::string console = convert_file(dir / "JEU.K7");
        const bool sent = write(pipe_fds[1], console.data(), console.size()) == static_cast<ssize_t>(console.size());
        _exit(sent ? 0 : 1);
    }
    close(pipe_fds[1]);
    std::string console;
    char chunk[256];
    for (ssize_t n; (n = read(pipe_fds[0], chunk, sizeof chunk)) > 0;) console.append(chunk, static_cast<std::size_t>(n));
    close(pipe_fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(console, "\nJEU     \nErreur d'ecriture de " + (dir / "JEU.wav").string());
    // The WAV of an earlier conversion is left as it was, and nothing else.
    EXPECT_EQ(read_file(dir / "JEU.wav"), Bytes({'o', 'l', 'd'}));
    EXPECT_EQ(testing::file_names(dir.path()), (std::vector<std::string>{"JEU.K7", "JEU.wav"}));
}
#endif

}  // namespace
}  // namespace morlevix
