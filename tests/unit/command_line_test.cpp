#include "command/command.h"
#include "platform/posix/posix.h"
#include <gtest/gtest.h>
TEST(Smoke, Splits) { PosixSetCommandLine("prog a b"); LPSTR t[33]; int n; ASSERT_TRUE(SplitCommandLine(&n, t)); EXPECT_EQ(n, 3); }
