// The Linux build on small volumes of its own: a reservation that cannot fit fails before it
// takes a single block from the volume, one that runs out midway gives back what it took, one
// that fits is reserved and changes the size once, and a file system that cannot keep holes
// refuses the sparse flag while the resize goes on. A failed run leaves the file's times.
#include "tests/support/run_program.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <thread>

namespace {

struct Volume {
    const char *type;
    const char *make; // the command that formats the image, or null for a volume without one
    int mebibytes;
};

// ext4 keeps 5 % of its blocks for root; on a volume this small its blocks are of 1 KiB, so that
// an extension of a few mebibytes spans block groups and takes several allocations.
const Volume Ext4 = {"ext4", "mkfs.ext4 -q -F", 32}, Tmpfs = {"tmpfs", nullptr, 8}, Ramfs = {"ramfs", nullptr, 0},
             Vfat = {"vfat", "mkfs.vfat", 32}, Exfat = {"exfat", "mkfs.exfat", 32};

struct VolumeRow {
    std::string name;
    Volume volume;
    std::vector<std::string> arguments;
    int leftMebibytes; // a file beside "f" takes a user's free space but this much before the run, or -1
    std::string output;
    int exitCode;
    long long size;                // afterwards
    std::string user = "";         // run as this user instead of root
    int leftMidwayMebibytes = -1;  // the same, taken while the tool waits after its open
    int reservedMebibytes = 0;     // reserved beyond the end of "f" before the run
    bool readOnly = false;         // the volume is mounted again read-only before the run
};

void PrintTo(const VolumeRow &row, std::ostream *out) { *out << row.name; }

std::string DiskFullAt(const std::string &position) { return EndFailed(position, DiskFull); }

const VolumeRow Rows[] = {
    {"ext4_beyond_the_volume", Ext4, {"f", "64Mi"}, -1, DiskFullAt("04000000"), 1, Unchanged},
    {"ext4_beyond_what_is_left", Ext4, {"f", "16Mi"}, 8, DiskFullAt("01000000"), 1, Unchanged},
    {"ext4_within_what_is_left", Ext4, {"f", "16Mi"}, -1, Steps("01000000"), 0, 16 * Mi},
    // The blocks ext4 keeps for root are root's to use, and nobody else's.
    {"ext4_into_roots_reserve", Ext4, {"f", "2Mi"}, 1, Steps("00200000"), 0, 2 * Mi},
    {"ext4_into_roots_reserve_as_nobody", Ext4, {"f", "2Mi"}, 1, DiskFullAt("00200000"), 1, Unchanged, "nobody"},
    // Another writer takes the room after the open: what was reserved goes back.
    {"ext4_runs_out_midway", Ext4, {"f", "8Mi"}, -1, DiskFullAt("00800000"), 1, Unchanged, "", 4},
    // Reserved beyond the end already (as a run killed midway leaves it): no more room is needed.
    {"ext4_reserved_before", Ext4, {"f", "8Mi"}, 1, Steps("00800000"), 0, 8 * Mi, "", -1, 8},
    {"tmpfs_beyond_what_is_left", Tmpfs, {"f", "4Mi"}, 2, DiskFullAt("00400000"), 1, Unchanged},
    {"tmpfs_within_what_is_left", Tmpfs, {"f", "4Mi"}, -1, Steps("00400000"), 0, 4 * Mi},
    // ramfs counts no blocks at all: there is nothing to hold a reservation against.
    {"ramfs_counts_no_blocks", Ramfs, {"f", "4Mi"}, -1, Steps("00400000"), 0, 4 * Mi},
    // A writable file on a volume mounted read-only: the open says so in the system's words.
    {"tmpfs_mounted_read_only", Tmpfs, {"f", "1Mi"}, -1, OpenFailed("The media is write protected."), 1, Unchanged,
     "", -1, 0, true},
    {"vfat_sparse_refused", Vfat, {"f", "1Mi", "-s"}, -1, Steps("00100000", SparseRefused), 0, Mi},
    {"exfat_sparse_refused", Exfat, {"f", "1Mi", "-s"}, -1, Steps("00100000", SparseRefused), 0, Mi},
};

// Makes a file beside "f" that leaves this much of the free space a user may take; root may take
// the blocks the volume keeps for it too.
bool TakeAllBut(const std::string &volume, int leftMebibytes, const char *name)
{
    struct statfs free = {};
    const long long taking = statfs(volume.c_str(), &free) == 0
                                 ? static_cast<long long>(free.f_bavail) * free.f_bsize - leftMebibytes * Mi : 0;
    const int filler = open((volume + "/" + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const bool made = taking > 0 && filler >= 0 && fallocate(filler, 0, 0, taking) == 0;
    close(filler);
    return made;
}

// A word of a shell command line, after a space (the names here hold no quote).
std::string Quoted(const std::string &word) { return " '" + word + "'"; }

class OnVolume : public testing::TestWithParam<VolumeRow> {
protected:
    void TearDown() override
    {
        // Even after a failure: the loop device goes with the last reference to the mount.
        if (mounted && umount2(mountPoint().c_str(), 0) != 0)
            umount2(mountPoint().c_str(), MNT_DETACH);
    }
    // Empty when the volume is mounted at mountPoint(); otherwise why it cannot be.
    std::string Mount(const Volume &volume)
    {
        if (geteuid() != 0)
            return "mounting a volume needs root";
        if (mkdir(mountPoint().c_str(), 0755) != 0)
            return "cannot make the mount point";
        const std::string image = directory / "image";
        std::string said;
        if (volume.make) {
            std::ofstream{image};
            if (truncate(image.c_str(), volume.mebibytes * Mi) != 0 ||
                !Shell(volume.make + Quoted(image), &said))
                return std::string("cannot format a ") + volume.type + " image: " + said;
        }
        said.clear(); // the mount's own words say why, not the format's banner
        const std::string source = volume.make ? image : volume.type;
        const std::string how = volume.make         ? " -o loop"
                                : volume.mebibytes ? " -o size=" + std::to_string(volume.mebibytes) + "m"
                                                   : "";
        if (!Shell("mount -t " + std::string(volume.type) + how + Quoted(source) + Quoted(mountPoint()), &said))
            return std::string("cannot mount a ") + volume.type + " volume here: " + said;
        mounted = true;
        return "";
    }
    std::string mountPoint() const { return directory / "volume"; }
    TemporaryDirectory directory;
    bool mounted = false;
};

TEST_P(OnVolume, Row)
{
    const VolumeRow &row = GetParam();
    const bool sparse = row.arguments.size() > 2;
    if (TargetIsWine()) {
        GTEST_SKIP() << (sparse ? "Wine accepts the sparse request on any file system"
                                : "Wine extends with a hole, so it reserves nothing and meets no full disk");
    }
    const std::string why = Mount(row.volume);
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    const std::string path = mountPoint() + "/f", original = FilePattern();
    std::ofstream(path, std::ios::binary) << original;
    if (row.reservedMebibytes > 0) {
        ASSERT_EQ(Shell("fallocate -n -l " + std::to_string(row.reservedMebibytes) + "MiB" + Quoted(path)), true);
    }
    if (row.leftMebibytes >= 0) {
        ASSERT_TRUE(TakeAllBut(mountPoint(), row.leftMebibytes, "g"));
    }
    ASSERT_TRUE(MakeOld(path));
    if (row.readOnly) {
        ASSERT_TRUE(Shell("mount -o remount,ro" + Quoted(mountPoint())));
    }
    RunOptions options;
    options.directory = mountPoint();
    options.user = row.user;
    if (!row.user.empty()) {
        ASSERT_TRUE(ShareWithNobody(directory.path, path));
    }
    // Nothing left for the file system to allocate on its own while the free count is watched.
    auto settle = [&] {
        const int volume = open(mountPoint().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        syncfs(volume);
        close(volume);
    };
    settle();
    struct statfs before = {};
    ASSERT_EQ(statfs(mountPoint().c_str(), &before), 0);
    bool tookMidway = false;
    if (row.leftMidwayMebibytes >= 0) {
        options.outputRoom = 11; // "OpenFile..." fits, " ok" does not: the tool waits after its open
        options.whileBlocked = [&] {
            tookMidway = TakeAllBut(mountPoint(), row.leftMidwayMebibytes, "h");
            settle();
            statfs(mountPoint().c_str(), &before);
        };
    }

    // The watcher runs at the highest priority, so that a short drop between two samples is
    // unlikely; a refusal is tried a few times over to make it less likely still. It also watches
    // the size, which may only ever be the old one or the new one.
    std::atomic<bool> running{true}, watching{false};
    unsigned long long lowest = before.f_bfree;
    std::atomic<long long> between{-1};
    const long long asked = row.size == Unchanged ? static_cast<long long>(original.size()) : row.size;
    std::thread watcher([&] {
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -20); // as root; else as it is
        struct statfs now;
        struct stat file;
        while (running) {
            if (statfs(mountPoint().c_str(), &now) == 0)
                lowest = std::min<unsigned long long>(lowest, now.f_bfree);
            if (stat(path.c_str(), &file) == 0 && file.st_size != static_cast<off_t>(original.size()) &&
                file.st_size != asked)
                between = file.st_size;
            watching = true;
        }
    });
    while (!watching)
        std::this_thread::yield();
    RunResult run;
    for (int attempt = 0; attempt < (row.exitCode != 0 && !options.whileBlocked ? 5 : 1); ++attempt) {
        run = RunTool(row.arguments, options);
        if (run.timedOut || run.output != row.output)
            break;
    }
    running = false;
    watcher.join();

    ASSERT_FALSE(run.timedOut) << "the run hung";
    if (!row.user.empty() && run.exitCode == NobodyLockedOut) {
        GTEST_SKIP() << row.user << " cannot reach the temporary folder that holds the tool's copy";
    }
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.output, row.output);
    EXPECT_EQ(run.exitCode, row.exitCode);
    EXPECT_EQ(tookMidway, row.leftMidwayMebibytes >= 0) << "the other writer did not take the room";
    EXPECT_EQ(between, -1) << "a size between the old and the new one was seen";
    struct stat after = {}; // before the file is read for its bytes, which sets its access time
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_TRUE(FileHolds(path, original, asked));
    if (row.exitCode != 0) {
        // Not even for a moment, unless it ran out midway: then all of it came back but the block
        // that ext4's extent tree grew by, which stays with the file.
        settle();
        struct statfs end = {};
        ASSERT_EQ(statfs(mountPoint().c_str(), &end), 0);
        const bool midway = row.leftMidwayMebibytes >= 0;
        EXPECT_GE((midway ? end.f_bfree + 1 : lowest), before.f_bfree)
            << "the refused reservation took blocks from the volume";
        EXPECT_TRUE(HasOldTimes(after));
    } else if (!sparse && before.f_blocks > 0) {
        EXPECT_TRUE(BlocksAre(Blocks::Reserved, after, after, asked));
    }
}

INSTANTIATE_TEST_SUITE_P(Volumes, OnVolume, testing::ValuesIn(Rows),
                         [](const testing::TestParamInfo<VolumeRow> &row) { return row.param.name; });
} // namespace
