// The close prompt, seen from outside: the program on a terminal of its own, on a terminal that a
// shell-like leader owns, and without a terminal; its rule is Windows', so the stand-in shows the
// terminal as a console window here. The Linux binary itself never prompts. Every wait is bounded.
#include "command/command.h"
#include "platform/posix/posix.h"
#include "platform/posix/system.h"
#include "tests/support/seams/seams.h"
#include "tests/support/child.h"
#include "tests/support/transcripts.h"

#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {
const std::string Prompt = "Press a key to close";

// Runs the program in this child with this argument, or with none, as the binary's start-up does
// but with the console window shown.
void RunVarnelt(const char *argument = nullptr)
{
    char name[] = "varnelt";
    char *arguments[] = {name, const_cast<char *>(argument), nullptr};
    PosixBlockSignals();
    PosixComposeCommandLine(argument ? 2 : 1, arguments);
    PosixShowConsoleWindow(true);
    VarneltStart();
}

// Every refusal that ends the run waits at the prompt: the usage, and a line too long to take.
const std::string TooLong(1300, 'x');
const struct {
    const char *argument;
    std::string starts;
} Refusals[] = {{nullptr, "usage:\r\n"}, {TooLong.c_str(), "\r\ncommand line too long\r\n"}};

ChildSetup OnTerminal(bool echoing = false)
{
    ChildSetup setup;
    setup.terminal = true;
    setup.echoing = echoing;
    return setup;
}

// Leads its own session but has no terminal: no prompt. Its output is the reference for the
// runs on a terminal.
std::string OutputWithoutTerminal(const char *argument = nullptr, const std::string &starts = "usage:\r\n")
{
    Child child;
    EXPECT_TRUE(child.Start({}, [&] { RunVarnelt(argument); }));
    child.Read();
    EXPECT_EQ(child.Wait(), 1);
    EXPECT_EQ(child.text.rfind(AsPrinted(starts), 0), 0u) << child.text;
    EXPECT_EQ(child.text.find(Prompt), std::string::npos);
    return child.text;
}

TEST(ClosePrompt, WithoutTerminalEndsAtOnce) { OutputWithoutTerminal(); }

TEST(ClosePrompt, OwnTerminalWaitsForOneKeyAfterThePrompt)
{
    for (const auto &refusal : Refusals) {
        const std::string output = OutputWithoutTerminal(refusal.argument, refusal.starts);
        Child child;
        ASSERT_TRUE(child.Start(OnTerminal(true), [&] {
            pollfd key = {0, POLLIN, 0};
            poll(&key, 1, 10000); // starts once the early key is surely waiting
            RunVarnelt(refusal.argument);
        }));
        EXPECT_EQ(write(child.output, "e", 1), 1);
        EXPECT_TRUE(child.Read(Prompt));
        EXPECT_EQ(child.text, "e" + output + Prompt); // echoed before the run
        const int terminal = dup(child.output); // kept past the end, to see the settings left
        // Had the early key not been flushed, the read would have taken it instead of sleeping.
        EXPECT_TRUE(child.WaitUntilAsleepIn(SYS_read)) << "ended on a key typed before the prompt";
        EXPECT_EQ(write(child.output, "k", 1), 1);
        child.Read("k", 1000); // an echo comes before the end
        EXPECT_EQ(child.text, "e" + output + Prompt) << "the key was echoed";
        EXPECT_EQ(child.Wait(), 1);
        termios after{};
        EXPECT_TRUE(tcgetattr(terminal, &after) == 0 && after.c_lflag & ECHO) << "the echo stays off";
        close(terminal);
    }
}

// No terminal session tells a window opened for the tool from docker run -t or script -c, where
// nobody ever presses a key: the Linux binary ends at once on a terminal it leads.
TEST(ClosePrompt, NeverOnLinux)
{
    const std::string usage = OutputWithoutTerminal();
    Child child;
    ASSERT_TRUE(child.Start(OnTerminal(), [] {
        execl(VARNELT_LINUX_BINARY, VARNELT_LINUX_BINARY, static_cast<char *>(nullptr));
    }));
    child.Read("", 2000);
    EXPECT_EQ(child.text, usage);
    EXPECT_EQ(child.Wait(1000), 1) << "waited for a key";
}

TEST(ClosePrompt, TerminalOfAnotherLeaderEndsAtOnce)
{
    const std::string usage = OutputWithoutTerminal();
    Child leader;
    ASSERT_TRUE(leader.Start(OnTerminal(), [] {
        // Like a shell: runs the program in its foreground group and passes on its exit code.
        const pid_t program = fork();
        if (program == 0)
            RunVarnelt();
        int status = 0;
        waitpid(program, &status, 0);
        _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 99);
    }));
    leader.Read();
    EXPECT_EQ(leader.text, usage);
    EXPECT_EQ(leader.Wait(), 1);
}
} // namespace
