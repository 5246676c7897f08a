// decode's live view: a recording fed through a pipe in pieces, as a sound
// card's capture comes, shows on a terminal each file and each lost block
// before the stream ends; with standard error a file, nothing but the
// lines decode always prints.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include "recordings.h"
#include "tape_builder.h"
#include "temp_dir.h"

namespace morlevix {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;

// Two files, a block of the first broken off by a dropout and the one after
// it lost with it: 20 seconds of recording.
Bytes recording_with_a_lost_block()
{
    const Bytes tape = testing::concat({testing::tape_file("PREMIER", testing::counting_payload(8 * 255)),
                                        testing::tape_file("SECOND", testing::counting_payload(300, 5))});
    return testing::wav_file({testing::with_dropout(testing::recording_of(tape), 4.0, 5.2)});
}

// morlevix decode reading its standard input from a pipe the test feeds,
// its standard error a terminal or a file.
class FedDecode {
public:
    FedDecode(const std::filesystem::path& directory, int err, std::vector<std::string> arguments)
    {
        int feed[2];
        EXPECT_EQ(pipe(feed), 0);
        std::vector<std::string> words = {MORLEVIX_PROGRAM, "decode"};
        words.insert(words.end(), arguments.begin(), arguments.end());
        child_ = fork();
        if (child_ == 0) {
            std::vector<char*> argv;
            for (auto& word : words) argv.push_back(word.data());
            argv.push_back(nullptr);
            dup2(feed[0], STDIN_FILENO);
            dup2(err, STDERR_FILENO);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            close(feed[1]);
            if (chdir(directory.c_str()) == 0) execv(argv[0], argv.data());
            _exit(127);
        }
        close(feed[0]);
        feed_ = feed[1];
    }
    ~FedDecode()
    {
        if (feed_ >= 0) close(feed_);
        if (child_ > 0) waitpid(child_, nullptr, 0);
    }
    // `bytes` in pieces, a pause after each; `between` is called meanwhile.
    template <typename Meanwhile>
    void feed(const Bytes& bytes, std::size_t piece, std::chrono::milliseconds pause, Meanwhile between)
    {
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            const std::size_t size = std::min(piece, bytes.size() - at);
            ASSERT_EQ(write(feed_, bytes.data() + at, size), static_cast<ssize_t>(size));
            std::this_thread::sleep_for(pause);
            between();
        }
    }
    int end()
    {
        close(feed_);
        feed_ = -1;
        int status = 0;
        waitpid(child_, &status, 0);
        child_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t child_ = -1;
    int feed_ = -1;
};

TEST(LiveView, ATerminalSeesEachFileAndEachLostBlockBeforeTheStreamEnds)
{
    testing::TempDir dir;
    const Bytes wav = recording_with_a_lost_block();
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    std::string screen;
    const auto read_screen = [&] {
        pollfd p = {master, POLLIN, 0};
        while (poll(&p, 1, 0) > 0) {
            char chunk[512];
            const ssize_t n = read(master, chunk, sizeof chunk);
            if (n <= 0) break;
            screen.append(chunk, static_cast<std::size_t>(n));
        }
    };
    {
        // The 20 seconds in about five, at four pieces a second.
        FedDecode decode(dir.path(), slave, {"-o", "LU.k7", "-"});
        decode.feed(wav, wav.size() / 20 + 1, 250ms, read_screen);
        read_screen();
        // Before the stream ends: the file, and the block lost, with its time.
        EXPECT_NE(screen.find("fichier PREMIER"), std::string::npos) << screen;
        EXPECT_NE(screen.find("0:03.6  bloc 01 a 0:03.6 : signal interrompu dans le bloc"), std::string::npos) << screen;
        EXPECT_NE(screen.find("0:04.9  fichier PREMIER  : un bloc perdu entre 0:04.9 et 0:06.2"), std::string::npos) << screen;
        EXPECT_NE(screen.find("niveau "), std::string::npos) << screen;  // the status line
        EXPECT_EQ(decode.end(), 1);
    }
    std::this_thread::sleep_for(100ms);
    read_screen();
    // Then the lines decode always prints.
    EXPECT_NE(screen.find("morlevix: - : fichier PREMIER  : un bloc perdu entre 0:04.9"), std::string::npos) << screen;
    close(master);
    close(slave);
}

TEST(LiveView, AFileOnStandardErrorGetsTheLinesOfAlwaysOnly)
{
    testing::TempDir dir;
    const Bytes wav = recording_with_a_lost_block();
    const auto errors = dir / "erreurs.txt";
    const int file = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(file, 0);
    {
        FedDecode decode(dir.path(), file, {"-o", "LU.k7", "-"});
        decode.feed(wav, wav.size() / 12 + 1, 250ms, [] {});
        EXPECT_EQ(decode.end(), 1);
    }
    close(file);
    std::ifstream in(errors);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "morlevix: - : bloc 01 a 0:03.6 : signal interrompu dans le bloc (vitesse 100.0 %, niveau -0.3 dBFS, marge 59 %)\n"
                    "morlevix: - : fichier PREMIER  : un bloc perdu entre 0:04.9 et 0:06.2 (signal de cassette entendu, aucun bloc lu)\n");
}

}  // namespace
}  // namespace morlevix
