// The Linux build on small volumes of its own: a reservation that cannot fit fails before it
// takes a single block from the volume, one that fits is still reserved, and a file system that
// cannot keep holes refuses the sparse flag while the resize goes on.
#include "run_program.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <ostream>
#include <thread>

#include <gtest/gtest.h>

namespace {
constexpr long long Mi = 1 << 20;
constexpr long long Unchanged = -1;

struct Volume {
    const char *type;
    const char *make; // the command that formats the image, or null for a volume without one
    int mebibytes;
};

const Volume Ext4 = {"ext4", "mkfs.ext4 -q -F", 32}, Tmpfs = {"tmpfs", nullptr, 8},
             Vfat = {"vfat", "mkfs.vfat", 32}, Exfat = {"exfat", "mkfs.exfat", 32};

struct VolumeRow {
    std::string name;
    Volume volume;
    std::vector<std::string> arguments;
    int fillerMebibytes; // a file beside "f" that takes this much before the run
    std::string output;
    int exitCode;
    long long size; // afterwards
};

void PrintTo(const VolumeRow &row, std::ostream *out) { *out << row.name; }

std::string Steps(const std::string &position, const std::string &sparseLine = "")
{
    return "OpenFile... ok\r\n" + sparseLine + "SetFilePointer(0x" + position +
           ")... ok\r\nSetEndOfFile... ok\r\nCloseFile... ok\r\n";
}

std::string DiskFull(const std::string &position)
{
    return "OpenFile... ok\r\nSetFilePointer(0x" + position +
           ")... ok\r\nSetEndOfFile... failed\r\n(There is not enough space on the disk.)\r\n\r\n";
}

const std::string SparseRefused = "Set sparse flag... failed\r\n(Incorrect function.)\r\n\r\n";

const VolumeRow Rows[] = {
    {"ext4_beyond_the_volume", Ext4, {"f", "64Mi"}, 0, DiskFull("04000000"), 1, Unchanged},
    {"ext4_beyond_what_is_left", Ext4, {"f", "16Mi"}, 16, DiskFull("01000000"), 1, Unchanged},
    {"ext4_within_what_is_left", Ext4, {"f", "8Mi"}, 0, Steps("00800000"), 0, 8 * Mi},
    {"tmpfs_beyond_what_is_left", Tmpfs, {"f", "4Mi"}, 6, DiskFull("00400000"), 1, Unchanged},
    {"tmpfs_within_what_is_left", Tmpfs, {"f", "4Mi"}, 0, Steps("00400000"), 0, 4 * Mi},
    {"vfat_sparse_refused", Vfat, {"f", "1Mi", "-s"}, 0, Steps("00100000", SparseRefused), 0, Mi},
    {"exfat_sparse_refused", Exfat, {"f", "1Mi", "-s"}, 0, Steps("00100000", SparseRefused), 0, Mi},
};

// Runs a shell command: true when it succeeded; what it printed goes to said.
bool Shell(const std::string &command, std::string *said)
{
    FILE *pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return false;
    char chunk[256];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0)
        said->append(chunk, n);
    return pclose(pipe) == 0;
}

// A word of a shell command line, after a space (the names here hold no quote).
std::string Quoted(const std::string &word) { return " '" + word + "'"; }

bool KernelHas(const std::string &type)
{
    std::ifstream list("/proc/filesystems");
    std::string line;
    while (std::getline(list, line))
        if (line.size() >= type.size() && line.compare(line.size() - type.size(), type.size(), type) == 0 &&
            (line.size() == type.size() || line[line.size() - type.size() - 1] == '\t'))
            return true;
    return false;
}

class OnVolume : public testing::TestWithParam<VolumeRow> {
protected:
    void SetUp() override { directory = MakeTemporaryDirectory(); }
    void TearDown() override
    {
        // Even after a failure: the loop device goes with the last reference to the mount.
        if (mounted && umount2(mountPoint().c_str(), 0) != 0)
            umount2(mountPoint().c_str(), MNT_DETACH);
        RemoveTree(directory);
    }
    // Empty when the volume is mounted at mountPoint(); otherwise why it cannot be.
    std::string Mount(const Volume &volume)
    {
        if (geteuid() != 0)
            return "mounting a volume needs root";
        if (mkdir(mountPoint().c_str(), 0755) != 0)
            return "cannot make the mount point";
        const std::string image = directory + "/image";
        std::string said;
        if (volume.make) {
            std::ofstream{image};
            if (truncate(image.c_str(), volume.mebibytes * Mi) != 0 ||
                !Shell(volume.make + Quoted(image), &said))
                return std::string("cannot format a ") + volume.type + " image: " + said;
        }
        const std::string source = volume.make ? image : volume.type;
        const std::string how = volume.make ? " -o loop" : " -o size=" + std::to_string(volume.mebibytes) + "m";
        if (!Shell("mount -t " + std::string(volume.type) + how + Quoted(source) + Quoted(mountPoint()), &said)) {
            if (!KernelHas(volume.type))
                return std::string("the kernel has no ") + volume.type;
            return std::string("cannot mount a ") + volume.type + " volume here: " + said;
        }
        mounted = true;
        return "";
    }
    std::string mountPoint() const { return directory + "/volume"; }
    std::string directory;
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
    if (row.fillerMebibytes > 0) {
        const int filler = open((mountPoint() + "/g").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(filler, 0);
        ASSERT_EQ(fallocate(filler, 0, 0, row.fillerMebibytes * Mi), 0);
        close(filler);
    }
    // Nothing left for the file system to allocate on its own while the free count is watched.
    const int volume = open(mountPoint().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(volume, 0);
    syncfs(volume);
    close(volume);
    struct statfs before = {};
    ASSERT_EQ(statfs(mountPoint().c_str(), &before), 0);

    // The watcher runs at the highest priority, so that a short drop between two samples is
    // unlikely; a refusal is tried a few times over to make it less likely still.
    std::atomic<bool> running{true}, watching{false};
    unsigned long long lowest = before.f_bfree;
    std::thread watcher([&] {
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -20); // as root; else as it is
        struct statfs now;
        while (running) {
            if (statfs(mountPoint().c_str(), &now) == 0)
                lowest = std::min<unsigned long long>(lowest, now.f_bfree);
            watching = true;
        }
    });
    while (!watching)
        std::this_thread::yield();
    RunOptions options;
    options.workingDirectory = mountPoint();
    RunResult run;
    for (int attempt = 0; attempt < (row.exitCode != 0 ? 5 : 1); ++attempt) {
        run = RunTool(row.arguments, options);
        if (run.timedOut || run.output != row.output)
            break;
    }
    running = false;
    watcher.join();

    ASSERT_FALSE(run.timedOut) << "the run hung";
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.output, row.output);
    EXPECT_EQ(run.exitCode, row.exitCode);
    const long long size = row.size == Unchanged ? static_cast<long long>(original.size()) : row.size;
    EXPECT_TRUE(FileHolds(path, original, size));
    struct stat after = {};
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    if (row.exitCode != 0) {
        // Not even for a moment: other programs on the volume would have met a full disk.
        EXPECT_GE(lowest, before.f_bfree) << "the refused reservation took blocks from the volume";
    } else if (!sparse) {
        EXPECT_GE(after.st_blocks * 512LL, size) << "the extension was not reserved";
    }
}

INSTANTIATE_TEST_SUITE_P(Volumes, OnVolume, testing::ValuesIn(Rows),
                         [](const testing::TestParamInfo<VolumeRow> &row) { return row.param.name; });
} // namespace
