#include "run_program.h"

#include <gtest/gtest.h>

TEST(Usage, NoArgumentPrintsUsage)
{
    const RunResult run = RunTool({});
    EXPECT_EQ(run.exitCode, 1) << TargetName();
    EXPECT_EQ(run.output.substr(0, 10), "usage:\r\n\r\n");
}
