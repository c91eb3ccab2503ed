// How much room a volume gives a reservation: whole units of what is free for anybody, and of the
// blocks kept for root too for a caller that may use them; a volume that counts no blocks holds
// nothing against it.
#include "platform/posix/handles.h"
#include "platform/posix/seams.h"
#include "platform/posix/system.h"
#include "tests/support/child.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {
constexpr long Ext4 = 0xEF53, Tmpfs = 0x01021994, Fat = 0x4d44, Exfat = 0x2011BAB0;

const struct {
    unsigned long long unit, total, free, reserve, bytes;
    bool forRoot, forNobody;
    long type = 0;
} Cases[] = {
    {4096, 100, 10, 20, 10 * 4096, true, true},          // exactly what is free
    {4096, 100, 10, 20, 10 * 4096 + 1, true, false},     // one byte into an eleventh unit
    {4096, 100, 10, 20, 20 * 4096, true, false},         // exactly what is free with root's reserve
    {4096, 100, 10, 20, 20 * 4096 + 1, false, false},
    {1024, 100, 10, 10, 11 * 1024, false, false},        // one unit over, no reserve
    {4096, 0, 0, 0, 1ULL << 40, true, true},             // ramfs counts no blocks
    {4096, 100, 0, 0, 1, false, false},                  // a full volume is not one without blocks
    // ext4 keeps 2 % of its blocks, at most 4096, from root too.
    {4096, 100000, 10, 5000, 2700 * 4096, true, false, Ext4},
    {4096, 100000, 10, 5000, 2900 * 4096, false, false, Ext4},
    {4096, 10000000, 10, 5000, 900 * 4096, true, false, Ext4},
    {4096, 10000000, 10, 5000, 1000 * 4096, false, false, Ext4},
    // tmpfs without a limit counts no blocks but takes memory, which is not a pebibyte.
    {4096, 0, 0, 0, 1ULL << 50, false, false, Tmpfs},
    {4096, 0, 0, 0, 4096, true, true, Tmpfs},
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
        handle.volumeType = c.type;
        SetLastError(0);
        answers += PosixRoomForReservation(handle, c.bytes) ? 'y' : GetLastError() == ERROR_DISK_FULL ? 'n' : '?';
    }
    return answers;
}

// How nobody asks: as root of a user namespace of its own (as a rootless container is; the kernel
// grants the reserve by the user id outside), or where the capability query fails.
enum class Asking { Plainly, InOwnNamespace, QueryFailing };

// Nobody's answers; empty where the way of asking cannot be set up.
std::string NobodysAnswers(Asking asking)
{
    const bool ownNamespace = asking == Asking::InOwnNamespace;
    ChildSetup asNobody;
    asNobody.user = "nobody";
    Child child;
    const bool started = child.Start(asNobody, [&] {
        if (asking == Asking::QueryFailing)
            PosixFailCall(PosixCallCapget, 1, EPERM, PosixFault::FromThenOn);
        const std::string map = "0 " + std::to_string(geteuid()) + " 1";
        prctl(PR_SET_DUMPABLE, 1); // its /proc files, the map among them, are its own again
        const int file = !ownNamespace ? -2 : unshare(CLONE_NEWUSER) == 0 ? open("/proc/self/uid_map", O_WRONLY) : -1;
        if (file == -1 || (file >= 0 && write(file, map.data(), map.size()) != static_cast<ssize_t>(map.size())))
            _exit(3);
        const std::string answers = Answers();
        _exit(write(1, answers.data(), answers.size()) == static_cast<ssize_t>(answers.size()) ? 0 : 1);
    });
    child.Read();
    return started && child.Wait() == 0 ? child.text : "";
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
    for (Asking asking : {Asking::Plainly, Asking::QueryFailing})
        EXPECT_EQ(NobodysAnswers(asking), nobody) << int(asking);
    const std::string inNamespace = NobodysAnswers(Asking::InOwnNamespace);
    EXPECT_TRUE(inNamespace.empty() || inNamespace == nobody) << inNamespace;
}

// A capability counts only in effect: nobody keeping root's as permitted holds none of them.
TEST(SystemHasCapability, OnlyInEffect)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "becoming nobody needs root";
    }
    EXPECT_EQ(SystemHasCapability(CAP_CHOWN), 1);
    ChildSetup keeping;
    keeping.user = "nobody";
    keeping.keepCapabilities = true;
    Child child;
    ASSERT_TRUE(child.Start(keeping, [] { _exit(SystemHasCapability(CAP_CHOWN) == 0 ? 0 : 1); }));
    EXPECT_EQ(child.Wait(), 0);
}

// The volumes that keep no holes refuse the sparse flag, whatever module mounts them here.
TEST(PosixKeepsNoHoles, FatAndExfatOnly)
{
    for (long type : {Fat, Exfat})
        EXPECT_TRUE(PosixKeepsNoHoles(type)) << std::hex << type;
    for (long type : {Ext4, Tmpfs, 0L})
        EXPECT_FALSE(PosixKeepsNoHoles(type)) << std::hex << type;
}
} // namespace
