#include "tests/support/run_program.h"

#include <stdlib.h>
#include <sys/stat.h>

namespace {
// The system's text in the console's own code page: Wine's French text for a directory, written
// by cmd to a file from a console at code page 850, then from one switched to UTF-8.
TEST(ErrorText, ShowsInTheConsolesCodePage)
{
    if (!TargetIsWine()) {
        GTEST_SKIP() << "code pages are Windows'";
    }
    const TemporaryDirectory directory;
    ASSERT_EQ(mkdir((directory / "adir").c_str(), 0755), 0);
    const std::string run = WindowsPath(getenv("VARNELT_PROGRAM")) + " adir 5 > out";
    // Wine gives a program a console with code pages only on a terminal: script makes one.
    const std::string command = "cd '" + directory.path + "' && LC_ALL=fr_FR.UTF-8 script -qc \"wine cmd /c '" +
                                "chcp 850 >nul & " + run + "850 & chcp 65001 >nul & " + run +
                                "65001'\" /dev/null </dev/null >/dev/null";
    EXPECT_TRUE(Shell(command, nullptr, 120)) << command;
    EXPECT_EQ(Contents(directory / "out850"), "OpenFile... failed\r\n(Acc\x8As refus\x82.)\r\n\r\n");
    EXPECT_EQ(Contents(directory / "out65001"), "OpenFile... failed\r\n(Acc\xC3\xA8s refus\xC3\xA9.)\r\n\r\n");
}
} // namespace
