// The close prompt, seen from outside: the Linux binary on a terminal of its own, on a terminal
// that a shell-like leader owns, and without a terminal. Every wait is bounded.
#include "tests/support/child.h"
#include "tests/support/transcripts.h"

#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {
const std::string Prompt = "Press a key to close";

void RunVarnelt() { execl(VARNELT_LINUX_BINARY, VARNELT_LINUX_BINARY, static_cast<char *>(nullptr)); }

ChildSetup OnTerminal()
{
    ChildSetup setup;
    setup.terminal = true;
    return setup;
}

// Leads its own session but has no terminal: no prompt. Its output is the reference for the
// runs on a terminal.
std::string OutputWithoutTerminal()
{
    Child child;
    EXPECT_TRUE(child.Start({}, RunVarnelt));
    child.Read();
    EXPECT_EQ(child.Wait(), 1);
    EXPECT_EQ(child.text.rfind(AsPrinted("usage:\r\n"), 0), 0u);
    EXPECT_EQ(child.text.find(Prompt), std::string::npos);
    return child.text;
}

TEST(ClosePrompt, WithoutTerminalEndsAtOnce) { OutputWithoutTerminal(); }

TEST(ClosePrompt, OwnTerminalWaitsForOneKeyAfterThePrompt)
{
    const std::string usage = OutputWithoutTerminal();
    Child child;
    ASSERT_TRUE(child.Start(OnTerminal(), [] {
        pollfd key = {0, POLLIN, 0};
        poll(&key, 1, 10000); // starts once the early key is surely waiting
        RunVarnelt();
    }));
    EXPECT_EQ(write(child.output, "e", 1), 1);
    EXPECT_TRUE(child.Read(Prompt));
    EXPECT_EQ(child.text, usage + Prompt);
    // Had the early key not been flushed, the read would have taken it instead of sleeping.
    EXPECT_TRUE(child.WaitUntilAsleepIn(SYS_read)) << "ended on a key typed before the prompt";
    EXPECT_EQ(write(child.output, "k", 1), 1);
    EXPECT_EQ(child.Wait(), 1);
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
