// A request to end that comes before anything changed cancels the run: the tool, still writing its
// first lines to a pipe nobody reads yet, gets Ctrl+C or SIGTERM, and when the pipe drains it ends by
// that signal with the file as it was, never resizing it first.
#include "tests/support/run_program.h"

#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>

namespace {
// The processes this test started that still run: the tool, sleeping in its write.
std::vector<pid_t> OwnChildren()
{
    std::vector<pid_t> children;
    DIR *processes = opendir("/proc");
    for (dirent *entry = processes ? readdir(processes) : nullptr; entry; entry = readdir(processes)) {
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line) || line.rfind(')') == std::string::npos)
            continue;
        // The parent's id is the second field after the name, which ends at the last parenthesis.
        const pid_t parent = atoi(line.c_str() + line.rfind(')') + 4);
        if (parent == getpid())
            children.push_back(atoi(entry->d_name));
    }
    if (processes)
        closedir(processes);
    return children;
}

TEST(Interruption, BeforeAnyChangeCancelsTheRun)
{
    if (TargetIsWine() || getenv("VARNELT_EMULATOR") != nullptr) {
        GTEST_SKIP() << "the signal goes to the Linux tool itself; Wine and the emulator stand between";
    }
    for (int signal : {SIGINT, SIGTERM}) {
        const TemporaryDirectory directory;
        const std::string original = FilePattern(5000);
        std::ofstream(directory / "f", std::ios::binary) << original;
        RunOptions options;
        options.directory = directory.path;
        options.outputRoom = 11; // "OpenFile..." fits, the rest waits: the tool sleeps before the size step
        size_t signalled = 0;
        options.whileBlocked = [&] {
            for (pid_t child : OwnChildren())
                signalled += kill(child, signal) == 0;
        };
        const RunResult run = RunTool({"f", "1Mi"}, options);
        EXPECT_EQ(signalled, 1u) << "the tool was not found";
        EXPECT_EQ(run.signal, signal) << run.output;
        EXPECT_EQ(run.output, UpToTheEnd("00100000"));
        EXPECT_TRUE(FileHolds(directory / "f", original, 5000)) << "resized before it ended";
    }
}
} // namespace
