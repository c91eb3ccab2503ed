#include "tests/support/run_program.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace {
// The name each build gives itself: the one a user types there.
std::string ToolName() { return TargetIsWine() ? "Varnelt" : "varnelt"; }

std::string UsageText()
{
    const std::string name = ToolName();
    return AsPrinted("usage:\r\n\r\n" + name + " filename newsize [-s]\r\n-s set the sparse file flag\r\n\r\n"
                     "samples:\r\n" + name + " test.bin 1024\r\n" + name + " test.bin 512M\r\n" +
                     name + " test.bin 1G\r\n" + name + " test.bin 0x400\r\n\r\n"
                     "Units:\r\nKi 1024\r\nMi 1024*1024\r\nGi 1024*1024*1024\r\nTi 1024*1024*1024*1024\r\n\r\n"
                     "K  1000\r\nM  1000*1000\r\nG  1000*1000*1000\r\nT  1000*1000*1000*1000\r\n");
}

// A directory holding data.bin of ten bytes, which no run here may touch.
class Usage : public testing::Test {
protected:
    void SetUp() override
    {
        options.directory = directory.path;
        std::ofstream(directory / "data.bin") << "0123456789";
    }
    void TearDown() override { EXPECT_EQ(std::filesystem::file_size(directory / "data.bin"), 10u); }
    TemporaryDirectory directory;
    RunOptions options;
};

TEST_F(Usage, PrintsItsTextAndExitCode)
{
    struct Case {
        std::vector<std::string> arguments;
        std::string output;
        int exitCode;
        bool linuxOnly;
    };
    const bool wine = TargetIsWine();
    const std::string usage = UsageText();
    // The longest name that keeps the line within its 1279 bytes: "<tool> <name> 0". Only the
    // tool's own name counts, not the folder it was started from.
    const std::string tool = getenv("VARNELT_PROGRAM");
    const size_t longest = 1279 - tool.substr(tool.rfind('/') + 1).size() - 3;
    // Folders of 200 bytes: no part of the name is too long for the system, the first is missing.
    const auto name = [](size_t length) {
        std::string path;
        while (path.size() + 201 < length)
            path += std::string(200, 'x') + "/";
        return path + std::string(length - path.size(), 'y');
    };
    const Case cases[] = {
        {{}, usage, 1, false},
        {{"data.bin"}, usage, 1, false},
        {{"--help"}, usage, 0, false},
        {{"/?"}, usage, wine ? 0 : 1, false}, // Windows' spelling of help; a path on Linux
        {{"-h"}, usage, 1, false},
        {{"--versions"}, usage, 1, false},
        // Only the whole word: a start of it is no request for help or the version.
        {{"--hel"}, usage, 1, false}, {{"--h"}, usage, 1, false}, {{"-"}, usage, 1, false},
        {{"--versio"}, usage, 1, false},
        {{"--version"}, AsPrinted(ToolName() + " " VARNELT_VERSION "\r\n"), 0, false},
        {{"--version", "0"}, NotFound, 2, false}, // beside another argument, a name like any other
        {{"data.bin", "0", std::string(1300, 'x')}, AsPrinted("\r\ncommand line too long\r\n"), 1, false},
        {{name(longest), "0"}, NotFound, 2, true},
        {{name(longest + 1), "0"}, AsPrinted("\r\ncommand line too long\r\n"), 1, true},
        {{"data.bin\"", "0"}, AsPrinted("\r\nan argument holds a double quote\r\n"), 1, true},
        // The option is -s and ASCII letters only.
        {{"data.bin", "0", "-s1"}, Unexpected, 1, false}, {{"data.bin", "0", "-s/x"}, Unexpected, 1, false},
        {{"data.bin", "0", "-s\xC3\xA9"}, Unexpected, 1, false},
    };
    for (const Case &c : cases) {
        if (c.linuxOnly && wine)
            continue;
        const RunResult run = RunTool(c.arguments, options);
        const std::string what = c.arguments.empty() ? "no arguments" : c.arguments[0].substr(0, 20);
        EXPECT_EQ(run.output, c.output) << what;
        EXPECT_EQ(run.exitCode, c.exitCode) << what;
    }
}

// The help and the version line tell success only where their text went out: to a closed output,
// or a pipe whose reader is gone, it did not.
TEST_F(Usage, HelpAndVersionFailWhereNothingWasWritten)
{
    if (TargetIsWine()) {
        GTEST_SKIP() << "the Linux build's convention; Wine keeps its standard handles its own way";
    }
    for (const char *argument : {"--help", "--version"}) {
        for (bool closed : {true, false}) {
            RunOptions lost = options;
            lost.closedOutput = closed;
            lost.brokenOutput = !closed;
            const RunResult run = RunTool({argument}, lost);
            EXPECT_EQ(run.signal, 0) << argument;
            EXPECT_EQ(run.exitCode, 1) << argument << (closed ? " to a closed output" : " to a broken pipe");
        }
    }
}

// Spaces at the end of the raw line must not make an empty size that cuts the file to zero.
// Neither the stand-in nor Wine ever ends a line it composes with spaces, but Wine's command
// interpreter passes them on as typed.
TEST_F(Usage, TrailingSpacesGiveTheUsage)
{
    if (!TargetIsWine())
        GTEST_SKIP() << "an argument vector cannot end the Linux command line with spaces";
    const std::string program = getenv("VARNELT_PROGRAM");
    setenv("VARNELT_PROGRAM", "cmd", 1);
    const RunResult run = RunTool({"/c", WindowsPath(program) + " data.bin   "}, options);
    setenv("VARNELT_PROGRAM", program.c_str(), 1);
    EXPECT_EQ(run.output, UsageText());
    EXPECT_EQ(run.exitCode, 1);
}
} // namespace
