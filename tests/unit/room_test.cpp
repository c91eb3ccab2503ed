// How much room a volume gives a reservation: whole units of what is free for anybody, and of the
// blocks kept for root too for a caller that may use them; a volume that counts no blocks holds
// nothing against it.
#include "platform/posix/beyond_end.h"
#include "platform/posix/handles.h"
#include "platform/posix/kernel_figures.h"
#include "platform/posix/system.h"
#include "platform/posix/volumes.h"
#include "tests/support/seams/seams.h"
#include "tests/support/child.h"
#include "tests/support/run_program.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/capability.h>
#include <sched.h>
#include <stdio.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

namespace {
constexpr long Ext4 = 0xEF53, Tmpfs = 0x01021994, Fat = 0x4d44, Exfat = 0x2011BAB0;

// The kernel's files as a row gives them, read through the seam: path and contents; any other is
// missing.
const char *const (*servedFiles)[2];
size_t servedCount;

ssize_t ServeKernelFile(const char *name, char *buffer, size_t size)
{
    for (size_t i = 0; i < servedCount; ++i)
        if (servedFiles[i][0] && strcmp(servedFiles[i][0], name) == 0)
            return snprintf(buffer, size, "%s", servedFiles[i][1]);
    errno = ENOENT;
    return -1;
}

const struct {
    unsigned long long unit, total, free, reserve, bytes;
    bool forRoot, forNobody;
    long type = 0;
    const char *meminfo = nullptr; // what /proc/meminfo reads, where the row sets it (and no cgroup limits)
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
    // It takes swap as well: what is free of memory and swap together holds a reservation.
    {4096, 0, 0, 0, 16 * 4096, true, true, Tmpfs, "MemAvailable: 4 kB\nSwapFree: 60 kB\n"},
    {4096, 0, 0, 0, 17 * 4096, false, false, Tmpfs, "MemAvailable: 4 kB\nSwapFree: 60 kB\n"},
};

// 'y' for each case that fits, 'n' for each refused with ERROR_DISK_FULL.
std::string Answers()
{
    std::string answers;
    const PosixCallTable real = PosixSystem;
    for (const auto &c : Cases) {
        const char *const meminfo[][2] = {{"/proc/meminfo", c.meminfo}};
        servedFiles = meminfo, servedCount = 1;
        PosixSystem.KernelFile = c.meminfo ? ServeKernelFile : real.KernelFile;
        PosixHandle handle{};
        handle.unit = c.unit;
        handle.totalUnits = c.total;
        handle.freeUnits = c.free;
        handle.reserveUnits = c.reserve;
        handle.volumeType = c.type;
        SetLastError(0);
        answers += PosixRoomForReservation(handle, c.bytes) ? 'y' : GetLastError() == ERROR_DISK_FULL ? 'n' : '?';
    }
    PosixSystem = real;
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
    // Without a mount to read its resuid from (no device), ext4's reserve is the capability's alone.
    const bool capable = SystemHasCapability(CAP_SYS_RESOURCE) == 1;
    for (const auto &c : Cases) {
        root += c.forRoot && (c.type != Ext4 || capable) ? 'y' : 'n';
        nobody += c.forNobody ? 'y' : 'n';
    }
    EXPECT_EQ(Answers(), root);
    for (Asking asking : {Asking::Plainly, Asking::QueryFailing})
        EXPECT_EQ(NobodysAnswers(asking), nobody) << int(asking);
    const std::string inNamespace = NobodysAnswers(Asking::InOwnNamespace);
    EXPECT_TRUE(inNamespace.empty() || inNamespace == nobody) << inNamespace;
}

// What lay beyond the end before a run: up to 8 ranges kept apart, whatever the size (the last
// block's unused part is none of them), and only those within a reservation's range count for it.
TEST(PosixFindBeyondEnd, EightRangesWhateverTheSize)
{
    const struct {
        long long size;
        int ranges;
        int count; // found, or -1 for unknown
    } Rows[] = {{3000, 8, 8}, {4096, 8, 8}, {3000, 9, -1}, {0, 1, 1}};
    constexpr long long Apart = 64 * 1024, Length = 4096;
    for (const auto &row : Rows) {
        const TemporaryDirectory directory;
        const std::string path = directory / "f";
        std::ofstream(path) << std::string(static_cast<size_t>(row.size), 'x');
        const int file = open(path.c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_GE(file, 0);
        fsync(file);
        for (int i = 1; i <= row.ranges; ++i)
            ASSERT_EQ(fallocate(file, FALLOC_FL_KEEP_SIZE, i * Apart, Length), 0);
        struct stat seen;
        struct statfs volume;
        ASSERT_EQ(fstat(file, &seen), 0);
        ASSERT_EQ(fstatfs(file, &volume), 0);
        PosixHandle handle = PosixDescriptorHandle(file);
        handle.unit = static_cast<unsigned long long>(volume.f_frsize ? volume.f_frsize : volume.f_bsize);
        PosixBeyondEnd beyond;
        PosixFindBeyondEnd(handle, seen, &beyond);
        close(file);
        if (row.count > 0 && beyond.unknown && beyond.count == 0) {
            GTEST_SKIP() << "the temporary folder's file system maps no extents";
        }
        EXPECT_EQ(beyond.unknown ? -1 : beyond.count, row.count) << row.size << " bytes, " << row.ranges;
        // Half of the fourth range lies within, the rest beyond the target.
        const long long target = 4 * Apart + Length / 2;
        EXPECT_EQ(PosixReservedWithin(beyond, row.size, target),
                  row.count < 0 ? 0 : std::min(row.ranges, 3) * Length + (row.ranges >= 4 ? Length / 2 : 0))
            << row.size << " bytes, " << row.ranges;
    }
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

// The memory cgroups as the kernel's files describe them, v2 and v1, read through the seam: the
// tightest room along the hierarchy counts, "max" and a missing file limit nothing.
struct CgroupFiles {
    const char *name, *cgroup;
    unsigned long long room;
    const char *files[8][2]; // path, contents
};

TEST(PosixCgroupMemoryRoom, TightestAlongTheHierarchy)
{
    const char *v2 = "30 1 0:26 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n";
    const char *v1 = "31 1 0:27 /box /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n";
    static const CgroupFiles cases[] = {
        {"v2_leaf", "0::/a/b\n", 60, {{"/proc/self/mountinfo", v2}, {"/sys/fs/cgroup/a/b/memory.max", "100"},
                                      {"/sys/fs/cgroup/a/b/memory.current", "40"}, {"/sys/fs/cgroup/a/memory.max", "max"}}},
        {"v2_parent", "0::/a/b\n", 5, {{"/proc/self/mountinfo", v2}, {"/sys/fs/cgroup/a/b/memory.max", "100"},
                                        {"/sys/fs/cgroup/a/b/memory.current", "40"}, {"/sys/fs/cgroup/a/memory.max", "50"},
                                        {"/sys/fs/cgroup/a/memory.current", "45"}}},
        {"v2_over", "0::/a\n", 0, {{"/proc/self/mountinfo", v2}, {"/sys/fs/cgroup/a/memory.max", "10"},
                                    {"/sys/fs/cgroup/a/memory.current", "12"}}},
        {"v2_unlimited", "0::/a\n", ULLONG_MAX, {{"/proc/self/mountinfo", v2}, {"/sys/fs/cgroup/a/memory.max", "max"},
                                                  {"/sys/fs/cgroup/a/memory.current", "5"}}},
        {"v1_below_mount_root", "4:memory:/box/c\n", 7, {{"/proc/self/mountinfo", v1},
                                                          {"/sys/fs/cgroup/memory/c/memory.limit_in_bytes", "10"},
                                                          {"/sys/fs/cgroup/memory/c/memory.usage_in_bytes", "3"}}},
        {"v1_other_controller", "4:cpu:/box/c\n", ULLONG_MAX, {{"/proc/self/mountinfo", v1}}},
    };
    const PosixCallTable real = PosixSystem;
    PosixSystem.KernelFile = ServeKernelFile;
    for (const CgroupFiles &row : cases) {
        CgroupFiles withCgroup = row;
        for (auto &file : withCgroup.files)
            if (!file[0]) {
                file[0] = "/proc/self/cgroup", file[1] = row.cgroup;
                break;
            }
        servedFiles = withCgroup.files, servedCount = std::size(withCgroup.files);
        EXPECT_EQ(PosixCgroupMemoryRoom(), row.room) << row.name;
    }
    PosixSystem = real;
}
} // namespace
