// The resize sequence as a user meets it: one row per scenario, run against either build, checking
// the transcript byte for byte, the exit code and the file afterwards.
#include "tests/support/run_program.h"

#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace {
// What the file named "f" is, or what happens around the run.
enum class Setup { File, Empty, WholeBlock, Missing, Directory, ReadOnly, GroupWrites, OthersWrite, Fifo, Locked, Holes,
                   FullDisk, SizeLimit, ClosedOutput, BrokenPipe, PseudoFile, Swapped };

struct Scenario {
    std::string name;
    Setup setup;
    std::vector<std::string> arguments;
    std::string output;
    int exitCode;
    long long size; // afterwards
    Blocks blocks;
    std::string wineOutput = ""; // Wine's own transcript, where its texts differ
    int wineExitCode = -1;       // Wine's own exit code, where it differs
    const char *wineSkip = nullptr;
};

void PrintTo(const Scenario &scenario, std::ostream *out) { *out << scenario.name; }

const char *const PseudoFileOnWine = "Wine does not look at the Linux file system of a file";

std::vector<Scenario> Scenarios()
{
    const std::string denied = OpenFailed(AccessDenied);
    std::vector<Scenario> rows = {
        {"typical", Setup::File, {"f", "1Gi"},
         "OpenFile... ok\r\nSetFilePointer(0x40000000)... ok\r\nSetEndOfFile... ok\r\nCloseFile... ok\r\n",
         0, 1073741824, Blocks::Reserved},
        {"zero", Setup::File, {"f", "0"}, Steps("00000000"), 0, 0, Blocks::Any},
        // The commonest extensions: from nothing, and from whole blocks with none of them partly used.
        {"empty_extended", Setup::Empty, {"f", "1Mi"}, Steps("00100000"), 0, Mi, Blocks::Reserved},
        {"whole_block_extended", Setup::WholeBlock, {"f", "1Mi"}, Steps("00100000"), 0, Mi, Blocks::Reserved},
        {"whole_block_sparse", Setup::WholeBlock, {"f", "1Mi", "-s"}, Steps("00100000", SparseOk), 0, Mi,
         Blocks::NoGrowth},
        {"same_size", Setup::File, {"f", "1500"}, Steps("000005DC"), 0, 1500, Blocks::NoGrowth},
        // The sizes beyond 2^31 start from a file with holes, so that they leave a hole instead of
        // reserving gigabytes on a test machine's disk.
        {"two_to_the_32", Setup::Holes, {"f", "4294967296"}, Steps("0000000100000000"), 0, 4294967296,
         Blocks::Any},
        {"low_half_all_ones", Setup::Holes, {"f", "4294967295"}, Steps("FFFFFFFF"), 0, 4294967295,
         Blocks::Any},
        {"low_half_above_2_to_the_31", Setup::Holes, {"f", "3000000000"}, Steps("B2D05E00"), 0,
         3000000000, Blocks::Any},
        {"negative", Setup::File, {"f", "-1"},
         "OpenFile... ok\r\nSetFilePointer(0xFFFFFFFFFFFFFFFF)... failed\r\n(An attempt was made to "
         "move the file pointer before the beginning of the file.)\r\n\r\n",
         1, Unchanged, Blocks::Any},
        {"missing", Setup::Missing, {"f", "5"}, NotFound, 2, Unchanged, Blocks::Any},
        {"directory", Setup::Directory, {"f", "5"}, denied, 1, Unchanged, Blocks::Any},
        {"read_only", Setup::ReadOnly, {"f", "5"}, denied, 1, Unchanged, Blocks::Any, "", -1,
         "Wine run as root opens a file without write bits"},
        // Any write bit makes a file writable: root resizes it, as the read-only attribute is off.
        {"only_group_writes", Setup::GroupWrites, {"f", "100"}, Steps("00000064"), 0, 100, Blocks::Any},
        {"only_others_write", Setup::OthersWrite, {"f", "100"}, Steps("00000064"), 0, 100, Blocks::Any},
        // Wine's look answers a FIFO with "invalid parameter", as a device: refused before the open.
        {"fifo", Setup::Fifo, {"f", "5"}, denied, 1, Unchanged, Blocks::Any},
        {"locked", Setup::Locked, {"f", "5"}, OpenFailed(SharingViolation), 1, Unchanged, Blocks::Any},
        // Another file renamed over "f" between the look and the open is not the file looked at.
        {"swapped_after_the_look", Setup::Swapped, {"f", "5"}, denied, 1, Unchanged, Blocks::Any, "", -1,
         "the stall in the first write is timed for the Linux build"},
        {"sparse_option", Setup::File, {"f", "1Mi", "-s"}, Steps("00100000", SparseOk), 0, Mi,
         Blocks::NoGrowth},
        // Wine reports no sparse attribute, so it always makes the request.
        {"sparse_option_on_holes", Setup::Holes, {"f", "2Mi", "-s"}, Steps("00200000", SparseSet), 0,
         2 * Mi, Blocks::NoGrowth, Steps("00200000", SparseOk)},
        {"sparse_option_long", Setup::File, {"f", "1Mi", "-sparseAZz"}, Steps("00100000", SparseOk), 0, Mi,
         Blocks::NoGrowth},
        // Only the option may follow the size, and nothing after it: the request is not dropped.
        {"upper_case_option", Setup::File, {"f", "1Mi", "-S"}, Unexpected, 1, Unchanged, Blocks::Any},
        {"double_dash_option", Setup::File, {"f", "1Mi", "--sparse"}, Unexpected, 1, Unchanged, Blocks::Any},
        {"option_before_fifth_argument", Setup::File, {"f", "1Mi", "-s", "b.bin"}, Unexpected, 1, Unchanged,
         Blocks::Any},
        {"cut", Setup::File, {"f", "100"}, Steps("00000064"), 0, 100, Blocks::Any},
        {"full_disk", Setup::FullDisk, {"f", "4Mi"}, EndFailed("00400000", DiskFull), 1, Unchanged, Blocks::Any,
         "", -1, "Wine extends with a hole, which a full disk does not refuse"},
        {"file_size_limit", Setup::SizeLimit, {"f", "4Mi"},
         EndFailed("00400000", "The file size exceeds the limit allowed and cannot be saved."), 1, Unchanged,
         Blocks::Any, "", -1, "the file-size limit is a POSIX resource limit: a Linux build fault"},
        {"closed_output", Setup::ClosedOutput, {"f", "1Mi"}, "", 0, Mi, Blocks::Any},
        {"broken_pipe", Setup::BrokenPipe, {"f", "1Mi"}, "", 0, Mi, Blocks::Any},
        // Files of kernel file systems that store no data: no resize, even where root may write.
        {"procfs_file", Setup::PseudoFile, {"/proc/sys/vm/swappiness", "100"}, denied, 1, Unchanged,
         Blocks::Any, "", -1, PseudoFileOnWine},
        {"sysfs_file", Setup::PseudoFile, {"/sys/kernel/mm/transparent_hugepage/enabled", "0"}, denied, 1,
         Unchanged, Blocks::Any, "", -1, PseudoFileOnWine},
    };
    const char *invalid[] = {"abc", "k", "", "-s", "1.5G", "0X400", "0x1k", "12abc", "5G12",
                             "20000000T", "9223372036854775808"};
    for (const char *text : invalid) {
        std::string name = "invalid_size_";
        for (const char *c = *text ? text : "empty"; *c; ++c)
            name += isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        std::vector<std::string> arguments = {"f", text};
        if (std::string(text) == "-s")
            arguments.push_back("5"); // the option where the size belongs
        rows.push_back({name, Setup::File, arguments, InvalidSize, 1, Unchanged, Blocks::Any});
    }
    return rows;
}

// Wine's HoldFile.exe holds "f" unshared until its standard input ends, when the holder goes.
bool HoldUnderWine(Child *holder, const std::string &directory)
{
    ChildSetup setup;
    setup.directory = directory;
    setup.inputOpen = true;
    return holder->Start(setup, [] { execlp("wine", "wine", getenv("VARNELT_HOLDFILE"), "f", nullptr); }) &&
           holder->Read("\n", 60000); // "held"; its first start may be slow
}

class Resize : public testing::TestWithParam<Scenario> {
protected:
    void TearDown() override
    {
        if (lock >= 0)
            close(lock);
        if (mounted)
            umount2(directory.path.c_str(), MNT_DETACH);
    }
    TemporaryDirectory directory;
    std::string path() const { return directory / "f"; }
    bool mounted = false;
    int lock = -1;
    Child holder; // goes before the directory
};

TEST_P(Resize, Scenario)
{
    const Scenario &row = GetParam();
    const bool wine = TargetIsWine();
    if (wine && row.wineSkip) {
        GTEST_SKIP() << row.wineSkip;
    }
    if ((row.setup == Setup::GroupWrites || row.setup == Setup::OthersWrite) && geteuid() != 0) {
        GTEST_SKIP() << "only root may write its own file through the group's or others' bit";
    }
    if (row.setup == Setup::FullDisk) {
        if (mount("tmpfs", directory.path.c_str(), "tmpfs", 0, "size=1m") != 0) {
            GTEST_SKIP() << "cannot mount a small tmpfs here: " << strerror(errno);
        }
        mounted = true;
    }
    const std::string original = FilePattern(row.setup == Setup::Empty ? 0 : row.setup == Setup::WholeBlock ? 4096 : 1500);
    std::string pseudoBefore;
    if (row.setup == Setup::PseudoFile) {
        // Only where the test may write it does the refusal come from the tool.
        const int probe = open(row.arguments[0].c_str(), O_WRONLY | O_CLOEXEC);
        if (probe < 0) {
            GTEST_SKIP() << row.arguments[0] << " cannot be opened for writing here: " << strerror(errno);
        }
        close(probe);
        pseudoBefore = Contents(row.arguments[0]);
    } else if (row.setup == Setup::Directory) {
        ASSERT_EQ(mkdir(path().c_str(), 0755), 0);
    } else if (row.setup == Setup::Fifo) {
        ASSERT_EQ(mkfifo(path().c_str(), 0644), 0);
    } else if (row.setup != Setup::Missing) {
        std::ofstream(path(), std::ios::binary) << original;
        const int changed = row.setup == Setup::Holes      ? truncate(path().c_str(), Mi)
                            : row.setup == Setup::ReadOnly ? chmod(path().c_str(), 0444)
                            : row.setup == Setup::GroupWrites ? chmod(path().c_str(), 0464)
                            : row.setup == Setup::OthersWrite ? chmod(path().c_str(), 0446)
                            : row.setup == Setup::Swapped  ? link(path().c_str(), (directory / "old").c_str())
                                                           : 0;
        ASSERT_EQ(changed, 0);
    }
    struct stat before = {};
    stat(path().c_str(), &before);

    if (row.setup == Setup::Locked && wine) {
        ASSERT_TRUE(HoldUnderWine(&holder, directory.path)) << "HoldFile.exe did not say \"held\": " << holder.text;
    } else if (row.setup == Setup::Locked) {
        lock = open(path().c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(flock(lock, LOCK_EX), 0);
    }
    RunOptions options;
    options.directory = directory.path;
    options.closedOutput = row.setup == Setup::ClosedOutput;
    options.brokenOutput = row.setup == Setup::BrokenPipe;
    options.fileSizeLimit = row.setup == Setup::SizeLimit ? 2 * Mi : -1;
    bool swapped = false;
    if (row.setup == Setup::Swapped) { // the tool sleeps in its first write, after the look
        options.whileBlocked = [&] {
            std::ofstream(directory / "g", std::ios::binary) << original;
            swapped = rename((directory / "g").c_str(), path().c_str()) == 0;
        };
    }
    const RunResult run = RunTool(row.arguments, options);

    ASSERT_FALSE(run.timedOut) << "the run hung";
    EXPECT_EQ(swapped, row.setup == Setup::Swapped) << "nothing was swapped in";
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.output, wine && !row.wineOutput.empty() ? row.wineOutput : AsShown(row.output));
    EXPECT_EQ(run.exitCode, wine && row.wineExitCode >= 0 ? row.wineExitCode : row.exitCode);

    struct stat after = {};
    const bool exists = stat(path().c_str(), &after) == 0;
    switch (row.setup) {
    case Setup::Missing: EXPECT_FALSE(exists) << "a file was created"; return;
    case Setup::Directory: EXPECT_TRUE(S_ISDIR(after.st_mode)); return;
    case Setup::Fifo: EXPECT_TRUE(S_ISFIFO(after.st_mode)); return;
    case Setup::PseudoFile: EXPECT_EQ(Contents(row.arguments[0]), pseudoBefore); return;
    case Setup::Swapped: EXPECT_TRUE(FileHolds(directory / "old", original, before.st_size)); break;
    default: ASSERT_TRUE(S_ISREG(after.st_mode));
    }
    const long long size = row.size == Unchanged ? before.st_size : row.size;
    // The bytes that stay are intact; everything past them reads as zeros.
    EXPECT_TRUE(FileHolds(path(), original, size));
    if (wine)
        return;
    EXPECT_TRUE(BlocksAre(row.blocks, before, after, size));
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Resize, testing::ValuesIn(Scenarios()),
                         [](const testing::TestParamInfo<Scenario> &row) { return row.param.name; });
} // namespace
