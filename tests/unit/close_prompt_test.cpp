// The close prompt, seen from outside: the Linux binary on a terminal of its own, on a terminal
// that a shell-like leader owns, and without a terminal. Every wait is bounded.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {
const std::string prompt = "Press a key to close";

[[noreturn]] void RunVarnelt()
{
    execl(VARNELT_LINUX_BINARY, VARNELT_LINUX_BINARY, static_cast<char *>(nullptr));
    _exit(127);
}

// A terminal that passes the output bytes unchanged and echoes no key, set up before the child
// starts so that no key can come in ahead of it.
pid_t ForkOnTerminal(int *master)
{
    termios settings{};
    cfmakeraw(&settings);
    settings.c_cflag |= CREAD;
    settings.c_cc[VMIN] = 1;
    cfsetspeed(&settings, B38400);
    return forkpty(master, nullptr, &settings, nullptr);
}

// Reads until the text ends with the marker, the writers are gone, or 10 s have passed.
std::string ReadUntil(int from, const std::string &marker = "")
{
    std::string text;
    for (int waited = 0; waited < 10000; waited += 20) {
        if (!marker.empty() && text.size() >= marker.size() &&
            text.compare(text.size() - marker.size(), marker.size(), marker) == 0)
            break;
        pollfd ready = {from, POLLIN, 0};
        if (poll(&ready, 1, 20) <= 0)
            continue;
        char chunk[4096];
        const ssize_t n = read(from, chunk, sizeof chunk);
        if (n <= 0)
            break; // end of file, or EIO once the terminal's last user has gone
        text.append(chunk, static_cast<size_t>(n));
    }
    return text;
}

// The exit code, or -1 when the process did not end within 10 s (it is killed then).
int WaitForExit(pid_t process)
{
    int status = 0;
    for (int waited = 0; waited < 10000; waited += 10) {
        if (waitpid(process, &status, WNOHANG) == process)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        usleep(10000);
    }
    kill(process, SIGKILL);
    waitpid(process, &status, 0);
    return -1;
}

// Leads its own session but has no terminal: no prompt. Its output is the reference for the
// runs on a terminal.
std::string OutputWithoutTerminal()
{
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    const pid_t child = fork();
    if (child == 0) {
        setsid();
        dup2(open("/dev/null", O_RDONLY), 0);
        dup2(ends[1], 1);
        RunVarnelt();
    }
    close(ends[1]);
    const std::string output = ReadUntil(ends[0]);
    close(ends[0]);
    EXPECT_EQ(WaitForExit(child), 1);
    EXPECT_EQ(output.rfind("usage:\r\n", 0), 0u);
    EXPECT_EQ(output.find(prompt), std::string::npos);
    return output;
}

TEST(ClosePrompt, WithoutTerminalEndsAtOnce) { OutputWithoutTerminal(); }

TEST(ClosePrompt, OwnTerminalWaitsForOneKeyAfterThePrompt)
{
    const std::string usage = OutputWithoutTerminal();
    int master = -1;
    const pid_t child = ForkOnTerminal(&master);
    ASSERT_GE(child, 0);
    if (child == 0) {
        pollfd key = {0, POLLIN, 0};
        poll(&key, 1, 10000); // starts once the early key is surely waiting
        RunVarnelt();
    }
    EXPECT_EQ(write(master, "e", 1), 1);
    EXPECT_EQ(ReadUntil(master, prompt), usage + prompt);
    usleep(500000); // the program reads 100 ms after the prompt: the early key must be gone
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, WNOHANG), 0) << "ended on a key typed before the prompt";
    EXPECT_EQ(write(master, "k", 1), 1);
    EXPECT_EQ(WaitForExit(child), 1);
    close(master);
}

TEST(ClosePrompt, TerminalOfAnotherLeaderEndsAtOnce)
{
    const std::string usage = OutputWithoutTerminal();
    int master = -1;
    const pid_t leader = ForkOnTerminal(&master);
    ASSERT_GE(leader, 0);
    if (leader == 0) {
        // Like a shell: runs the program in its foreground group and passes on its exit code.
        const pid_t program = fork();
        if (program == 0)
            RunVarnelt();
        int status = 0;
        waitpid(program, &status, 0);
        _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 99);
    }
    EXPECT_EQ(ReadUntil(master), usage);
    EXPECT_EQ(WaitForExit(leader), 1);
    close(master);
}
} // namespace
