// The pause on a real terminal: the program runs on a pseudo-terminal and
// the test types at it like a user, one key at a time.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <vector>
#include <csignal>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "tape_builder.h"
#include "temp_dir.h"

namespace morlevix {
namespace {

using namespace std::chrono_literals;

constexpr char kPause[] = "Appuyez sur une touche pour continuer...";
constexpr char kFarewell[] = "Merci d'avoir utilise MORLEVIX";

// The screen's text without escape sequences: a console that draws with
// them (Wine's) shows the same text as a plain terminal.
std::string visible(const std::string& screen)
{
    std::string text;
    for (std::size_t i = 0; i < screen.size(); ++i) {
        if (screen[i] == '\x1b' && i + 1 < screen.size() && screen[i + 1] == '[') {
            i += 2;
            while (i < screen.size() && !std::isalpha(static_cast<unsigned char>(screen[i]))) ++i;
            continue;
        }
        text += screen[i];
    }
    return text;
}

class TerminalSession {
public:
    // Runs `program` (its path first, then its arguments) in `directory`.
    TerminalSession(const std::filesystem::path& directory, std::vector<std::string> program = {MORLEVIX_PROGRAM})
    {
        std::vector<char*> argv;
        for (auto& word : program) argv.push_back(word.data());
        argv.push_back(nullptr);
        EXPECT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
        tcgetattr(slave_, &initial_);
        child_ = fork();
        if (child_ == 0) {
            setsid();
            ioctl(slave_, TIOCSCTTY, 0);
            dup2(slave_, STDIN_FILENO);
            dup2(slave_, STDOUT_FILENO);
            dup2(slave_, STDERR_FILENO);
            close(master_);
            if (chdir(directory.c_str()) == 0) execvp(argv[0], argv.data());
            _exit(127);
        }
    }
    ~TerminalSession()
    {
        if (child_ > 0 && !exited_) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        close(master_);
        close(slave_);
    }

    void type(const std::string& keys) { ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size())); }

    // Reads the screen until `text` has appeared `count` times in all, or `time` has passed.
    bool wait_for(const std::string& text, int count = 1, std::chrono::milliseconds time = 20s)
    {
        const auto deadline = std::chrono::steady_clock::now() + time;
        while (occurrences(text) < count && std::chrono::steady_clock::now() < deadline) read_for(100ms);
        return occurrences(text) >= count;
    }

    // Whatever the program prints within `time`.
    void read_for(std::chrono::milliseconds time)
    {
        pollfd p = {master_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(time.count())) <= 0) return;
        char chunk[512];
        const ssize_t n = read(master_, chunk, sizeof chunk);
        if (n > 0) screen_.append(chunk, static_cast<std::size_t>(n));
    }

    // Waits, at most 5 s, until the program has the terminal read single keys.
    void wait_for_single_key_mode() const
    {
        for (int i = 0; i < 250 && (settings().c_lflag & ICANON); ++i) std::this_thread::sleep_for(20ms);
    }

    // The terminal settings the program leaves or has set now.
    termios settings() const
    {
        termios now{};
        tcgetattr(slave_, &now);
        return now;
    }
    const termios& initial() const { return initial_; }

    // The program's wait status once it has ended, or -1 if it has not within 10 s.
    int wait_exit()
    {
        for (int i = 0; i < 100; ++i) {
            int status = 0;
            if (waitpid(child_, &status, WNOHANG) == child_) {
                exited_ = true;
                return status;
            }
            read_for(100ms);
        }
        return -1;
    }
    const std::string& screen() const { return screen_; }

private:
    int occurrences(const std::string& text) const
    {
        const std::string shown = visible(screen_);
        int n = 0;
        for (auto at = shown.find(text); at != std::string::npos; at = shown.find(text, at + 1)) ++n;
        return n;
    }


    int master_ = -1;
    int slave_ = -1;
    pid_t child_ = -1;
    bool exited_ = false;
    termios initial_{};
    std::string screen_;
};

constexpr tcflag_t kLineModes = ICANON | ECHO | ISIG;

class PauseOnATerminal : public ::testing::Test {
protected:
    PauseOnATerminal() { testing::write_file(dir / "JEU.K7", testing::tape_file("JEU", {1, 2, 3})); }

    // Answers * and o, then waits until the first pause reads single keys.
    static void reach_first_pause(TerminalSession& session)
    {
        session.type("*\n");
        ASSERT_TRUE(session.wait_for("(o/n) ? "));
        session.type("o\n");
        ASSERT_TRUE(session.wait_for(kPause));
        session.wait_for_single_key_mode();
    }

    testing::TempDir dir;
};

TEST_F(PauseOnATerminal, WaitsForOneKeyWithoutEchoAndRestoresTheTerminal)
{
    TerminalSession session(dir.path());
    reach_first_pause(session);

    // Waiting: the terminal is in single-key mode, and nothing goes on.
    EXPECT_EQ(session.settings().c_lflag & kLineModes, 0u);
    session.read_for(300ms);
    EXPECT_EQ(session.screen().find(kFarewell), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(dir / "JEU.wav"));

    session.type("x");  // one key, no Enter
    ASSERT_TRUE(session.wait_for(kFarewell));
    ASSERT_TRUE(session.wait_for(kPause, 2));
    const std::string after_key = session.screen().substr(session.screen().find(kPause));
    EXPECT_EQ(after_key.find('x'), std::string::npos) << "the key was echoed";

    session.type("q");
    const int status = session.wait_exit();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(session.settings().c_lflag & kLineModes, session.initial().c_lflag & kLineModes);
    EXPECT_EQ(session.settings().c_lflag & kLineModes, kLineModes);
}

TEST_F(PauseOnATerminal, ControlCEndsTheProgramAndRestoresTheTerminal)
{
    TerminalSession session(dir.path());
    reach_first_pause(session);

    session.type(std::string(1, static_cast<char>(session.initial().c_cc[VINTR])));
    const int status = session.wait_exit();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << "status " << status;
    EXPECT_EQ(session.settings().c_lflag & kLineModes, kLineModes);
    EXPECT_EQ(session.screen().find(kFarewell), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "dir.txt"));  // the listing never goes to disk
}

// The Windows build's pause on Wine's console, when a Windows program is
// given (the Windows build's tests give it).
TEST_F(PauseOnATerminal, WindowsProgramWaitsForOneKeyOnTheConsole)
{
    const char* windows_program = std::getenv("MORLEVIX_WINDOWS_PROGRAM");
    if (windows_program == nullptr) GTEST_SKIP() << "no Windows program to run";
    setenv("WINEDEBUG", "-all", 1);
    TerminalSession session(dir.path(), {"wine", windows_program});
    // Wine's console draws spaces as cursor moves: look for words without them.
    ASSERT_TRUE(session.wait_for("extension:"));
    session.wait_for_single_key_mode();  // Wine's console reads keys once it has set the terminal so
    session.type("*\r");
    ASSERT_TRUE(session.wait_for("(o/n)?")) << visible(session.screen());
    session.type("o\r");
    ASSERT_TRUE(session.wait_for("continuer..."));
    session.read_for(1000ms);
    EXPECT_FALSE(session.wait_for("Mercid'avoir", 1, 0ms)) << "the pause did not wait";
    EXPECT_TRUE(std::filesystem::exists(dir / "JEU.wav"));
    session.type("x");
    ASSERT_TRUE(session.wait_for("Mercid'avoir"));
    ASSERT_TRUE(session.wait_for("continuer...", 2));
    session.type("y");
    const int status = session.wait_exit();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

}  // namespace
}  // namespace morlevix
