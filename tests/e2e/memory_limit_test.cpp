// tmpfs takes its blocks from memory, charged to the memory cgroup of whoever allocates them: in a
// container's limit, a reservation that fits the machine but not the cgroup would have the system
// end processes. The tool, run inside a cgroup of its own with a limit, refuses it as a full volume
// before it takes anything, whether or not the tmpfs has a size limit of its own.
#include "tests/support/run_program.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <fstream>

namespace {
// A memory cgroup of this process's own below its present one, with the limit; empty path where
// none can be made here, and why.
struct LimitedCgroup {
    explicit LimitedCgroup(long long bytes)
    {
        std::string place;
        std::ifstream cgroups("/proc/self/cgroup");
        std::string line, v1, v2;
        while (std::getline(cgroups, line)) {
            const size_t first = line.find(':'), second = line.find(':', first + 1);
            const std::string controllers = line.substr(first + 1, second - first - 1);
            if (("," + controllers + ",").find(",memory,") != std::string::npos)
                v1 = line.substr(second + 1);
            else if (line.rfind("0::", 0) == 0)
                v2 = line.substr(second + 1);
        }
        std::string mount;
        const bool first = !v1.empty();
        if (first ? !Shell("findmnt -rnt cgroup -O memory -o TARGET | head -n1", &mount)
                  : !Shell("findmnt -rnt cgroup2 -o TARGET | head -n1", &mount)) {
            why = "no memory cgroup is mounted here";
            return;
        }
        const std::string parent = mount.substr(0, mount.find('\n')) + (first ? v1 : v2);
        const std::string limit = first ? "memory.limit_in_bytes" : "memory.max";
        if (!first)
            std::ofstream(parent + "/cgroup.subtree_control") << "+memory";
        path = parent + "/varnelt-test-" + std::to_string(getpid());
        if (mkdir(path.c_str(), 0755) != 0) {
            why = "cannot make a cgroup below " + parent;
            path.clear();
            return;
        }
        std::ofstream(path + "/" + limit) << bytes;
        long long set = 0;
        std::ifstream(path + "/" + limit) >> set;
        if (set != bytes)
            why = "the memory controller does not limit a cgroup below " + parent;
    }
    ~LimitedCgroup()
    {
        if (!path.empty())
            rmdir(path.c_str());
    }
    std::string path, why;
};

const struct {
    const char *name;
    const char *options; // of the tmpfs
} Rows[] = {{"without_a_size_limit", "size=0"}, {"with_a_size_limit", "size=1g"}};

TEST(MemoryLimit, TmpfsReservationBeyondTheCgroupIsRefused)
{
    if (TargetIsWine() || getenv("VARNELT_EMULATOR") != nullptr) {
        GTEST_SKIP() << "memory cgroups and tmpfs are the Linux machine's own; the binary runs directly";
    }
    if (geteuid() != 0) {
        GTEST_SKIP() << "making a cgroup and mounting a tmpfs need root";
    }
    for (const auto &row : Rows) {
        const TemporaryDirectory directory;
        const std::string point = directory / "volume", path = point + "/f", original = FilePattern(5000);
        ASSERT_EQ(mkdir(point.c_str(), 0755), 0);
        if (mount("tmpfs", point.c_str(), "tmpfs", 0, row.options) != 0) {
            GTEST_SKIP() << "cannot mount a tmpfs here";
        }
        std::ofstream(path, std::ios::binary) << original;
        std::string said;
        bool succeeded = false;
        struct statfs before = {}, after = {};
        struct stat file = {};
        {
            const LimitedCgroup cgroup(64 * Mi);
            if (!cgroup.why.empty()) {
                umount2(point.c_str(), MNT_DETACH);
                GTEST_SKIP() << cgroup.why;
            }
            statfs(point.c_str(), &before);
            succeeded = Shell("cd '" + point + "' && echo $$ > '" + cgroup.path + "/cgroup.procs' && exec '" +
                                  getenv("VARNELT_PROGRAM") + "' f 256Mi",
                              &said);
            statfs(point.c_str(), &after);
            stat(path.c_str(), &file);
            EXPECT_TRUE(FileHolds(path, original, 5000)) << row.name;
            umount2(point.c_str(), MNT_DETACH); // its pages go before the cgroup does
        }
        EXPECT_FALSE(succeeded) << row.name;
        EXPECT_EQ(said, EndFailed("10000000", DiskFull)) << row.name;
        EXPECT_EQ(after.f_bfree, before.f_bfree) << row.name << ": the refused reservation took memory";
        EXPECT_LE(file.st_blocks * 512, 8192) << row.name;
    }
}
} // namespace
