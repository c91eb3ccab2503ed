#include "run_program.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace {
const char usageText[] =
    "usage:\r\n\r\nVarnelt filename newsize [-s]\r\n-s set the sparse file flag\r\n\r\n"
    "samples:\r\nVarnelt test.bin 1024\r\nVarnelt test.bin 512M\r\nVarnelt test.bin 1G\r\n"
    "Varnelt test.bin 0x400\r\n\r\n"
    "Units:\r\nKi 1024\r\nMi 1024*1024\r\nGi 1024*1024*1024\r\nTi 1024*1024*1024*1024\r\n\r\n"
    "K  1000\r\nM  1000*1000\r\nG  1000*1000*1000\r\nT  1000*1000*1000*1000\r\n";

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

TEST_F(Usage, RefusalsPrintTheirTextAndExitWithOne)
{
    struct Case {
        std::vector<std::string> arguments;
        std::string output;
        bool linuxOnly;
    };
    const Case cases[] = {
        {{}, usageText, false},
        {{"data.bin"}, usageText, false},
        {{"data.bin", "0", std::string(1300, 'x')}, "\r\ncommand line too long\r\n", false},
        {{"data.bin\"", "0"}, "\r\nan argument holds a double quote\r\n", true},
        // The option is -s and ASCII letters only.
        {{"data.bin", "0", "-s1"}, Unexpected, false}, {{"data.bin", "0", "-s/x"}, Unexpected, false},
        {{"data.bin", "0", "-s\xC3\xA9"}, Unexpected, false},
    };
    for (const Case &c : cases) {
        if (c.linuxOnly && TargetIsWine())
            continue;
        const RunResult run = RunTool(c.arguments, options);
        EXPECT_EQ(run.output, c.output) << c.arguments.size() << " arguments";
        EXPECT_EQ(run.exitCode, 1) << c.arguments.size() << " arguments";
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
    EXPECT_EQ(run.output, usageText);
    EXPECT_EQ(run.exitCode, 1);
}
} // namespace
