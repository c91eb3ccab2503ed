// How much room a volume gives a reservation: whole units of what is free for anybody, and of the
// blocks kept for root too for a caller that may use them; a volume that counts no blocks holds
// nothing against it.
#include "platform/posix/handles.h"
#include "tests/support/child.h"

#include <unistd.h>

#include <gtest/gtest.h>

namespace {
const struct {
    unsigned long long unit, total, free, reserve, bytes;
    bool forRoot, forNobody;
} Cases[] = {
    {4096, 100, 10, 20, 10 * 4096, true, true},          // exactly what is free
    {4096, 100, 10, 20, 10 * 4096 + 1, true, false},     // one byte into an eleventh unit
    {4096, 100, 10, 20, 20 * 4096, true, false},         // exactly what is free with root's reserve
    {4096, 100, 10, 20, 20 * 4096 + 1, false, false},
    {1024, 100, 10, 10, 11 * 1024, false, false},        // one unit over, no reserve
    {4096, 0, 0, 0, 1ULL << 40, true, true},             // ramfs counts no blocks
};

// 'y' for each case that fits, 'n' for each refused with ERROR_DISK_FULL.
std::string Answers()
{
    std::string answers;
    for (const auto &c : Cases) {
        PosixHandle handle{};
        handle.unit = c.unit;
        handle.totalUnits = c.total;
        handle.freeUnits = c.free;
        handle.reserveUnits = c.reserve;
        SetLastError(0);
        answers += PosixRoomForReservation(handle, c.bytes) ? 'y' : GetLastError() == ERROR_DISK_FULL ? 'n' : '?';
    }
    return answers;
}

TEST(PosixRoomForReservation, WholeUnitsOfWhatTheCallerMayUse)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "asking as root and as nobody needs root";
    }
    std::string root, nobody;
    for (const auto &c : Cases) {
        root += c.forRoot ? 'y' : 'n';
        nobody += c.forNobody ? 'y' : 'n';
    }
    EXPECT_EQ(Answers(), root);
    ChildSetup asNobody;
    asNobody.user = "nobody";
    Child child;
    ASSERT_TRUE(child.Start(asNobody, [] {
        const std::string answers = Answers();
        _exit(write(1, answers.data(), answers.size()) == static_cast<ssize_t>(answers.size()) ? 0 : 1);
    }));
    child.Read();
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(child.text, nobody);
}
} // namespace
