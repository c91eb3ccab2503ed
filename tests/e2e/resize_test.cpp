// The resize sequence as a user meets it: one row per scenario, run against either build, checking
// the transcript byte for byte, the exit code and the file afterwards.
#include "run_program.h"

#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>

#include <gtest/gtest.h>

namespace {
// What the file named "f" is, or what happens around the run.
enum class Setup { File, Missing, Directory, ReadOnly, Fifo, Locked, Holes, FullDisk, SizeLimit,
                   ClosedOutput, BrokenPipe, PseudoFile };
// What the Linux build must leave allocated: anything, the whole new size, or no more than before.
enum class Blocks { Any, Reserved, NoGrowth };
constexpr long long Unchanged = -1;
constexpr long long Mi = 1 << 20;

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

const std::string SparseOk = "Set sparse flag... ok\r\n";
const std::string SparseSet = "Sparse flag already set\r\n";

std::string Steps(const std::string &position, const std::string &sparseLine = "")
{
    return "OpenFile... ok\r\n" + sparseLine + "SetFilePointer(0x" + position +
           ")... ok\r\nSetEndOfFile... ok\r\nCloseFile... ok\r\n";
}

std::string OpenFailed(const std::string &text) { return "OpenFile... failed\r\n(" + text + ")\r\n\r\n"; }

const std::string Unexpected = "\r\nunexpected argument: quote a name with spaces, write the option as -s\r\n";

const char *const PseudoFileOnWine = "Wine does not look at the Linux file system of a file";

std::string Contents(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::vector<Scenario> Scenarios()
{
    const std::string denied = OpenFailed("Access is denied.");
    const std::string notFound = "\r\nfile not found\r\n";
    std::vector<Scenario> rows = {
        {"typical", Setup::File, {"f", "1Gi"},
         "OpenFile... ok\r\nSetFilePointer(0x40000000)... ok\r\nSetEndOfFile... ok\r\nCloseFile... ok\r\n",
         0, 1073741824, Blocks::Reserved},
        {"zero", Setup::File, {"f", "0"}, Steps("00000000"), 0, 0, Blocks::Any},
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
        {"missing", Setup::Missing, {"f", "5"}, notFound, 2, Unchanged, Blocks::Any},
        {"directory", Setup::Directory, {"f", "5"}, denied, 1, Unchanged, Blocks::Any},
        {"read_only", Setup::ReadOnly, {"f", "5"}, denied, 1, Unchanged, Blocks::Any, "", -1,
         "Wine run as root opens a file without write bits"},
        // Wine's attribute query does not see a FIFO at all.
        {"fifo", Setup::Fifo, {"f", "5"}, denied, 1, Unchanged, Blocks::Any, notFound, 2},
        {"locked", Setup::Locked, {"f", "5"},
         OpenFailed("The process cannot access the file because it is being used by another process."),
         1, Unchanged, Blocks::Any},
        {"sparse_option", Setup::File, {"f", "1Mi", "-s"}, Steps("00100000", SparseOk), 0, Mi,
         Blocks::NoGrowth},
        // Wine reports no sparse attribute, so it always makes the request.
        {"sparse_option_on_holes", Setup::Holes, {"f", "2Mi", "-s"}, Steps("00200000", SparseSet), 0,
         2 * Mi, Blocks::NoGrowth, Steps("00200000", SparseOk)},
        {"sparse_option_long", Setup::File, {"f", "1Mi", "-sparse"}, Steps("00100000", SparseOk), 0, Mi,
         Blocks::NoGrowth},
        // Only the option may follow the size, and nothing after it: the request is not dropped.
        {"upper_case_option", Setup::File, {"f", "1Mi", "-S"}, Unexpected, 1, Unchanged, Blocks::Any},
        {"double_dash_option", Setup::File, {"f", "1Mi", "--sparse"}, Unexpected, 1, Unchanged, Blocks::Any},
        {"option_before_fifth_argument", Setup::File, {"f", "1Mi", "-s", "b.bin"}, Unexpected, 1, Unchanged,
         Blocks::Any},
        {"cut", Setup::File, {"f", "100"}, Steps("00000064"), 0, 100, Blocks::Any},
        {"full_disk", Setup::FullDisk, {"f", "4Mi"},
         "OpenFile... ok\r\nSetFilePointer(0x00400000)... ok\r\nSetEndOfFile... failed\r\n(There is "
         "not enough space on the disk.)\r\n\r\n",
         1, Unchanged, Blocks::Any, "", -1, "Wine extends with a hole, which a full disk does not refuse"},
        {"file_size_limit", Setup::SizeLimit, {"f", "4Mi"},
         "OpenFile... ok\r\nSetFilePointer(0x00400000)... ok\r\nSetEndOfFile... failed\r\n(The file "
         "size exceeds the limit allowed and cannot be saved.)\r\n\r\n",
         1, Unchanged, Blocks::Any, "", -1, "the file-size limit is a POSIX resource limit: a Linux build fault"},
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
        rows.push_back({name, Setup::File, arguments, "\r\ninvalid size\r\n", 1, Unchanged, Blocks::Any});
    }
    return rows;
}

using Pipe = std::unique_ptr<FILE, int (*)(FILE *)>;

// Wine's HoldFile.exe holds "f" unshared until its standard input, this pipe, is closed.
Pipe HoldUnderWine(const std::string &directory)
{
    const std::string command = "cd '" + directory + "' && exec wine \"$VARNELT_HOLDFILE\" f >held";
    Pipe holder(popen(command.c_str(), "w"), pclose);
    for (int i = 0; i < 600 && holder; ++i, usleep(100000)) { // its first start may be slow
        std::string said;
        std::getline(std::ifstream(directory + "/held"), said);
        if (said.rfind("held", 0) == 0)
            return holder;
    }
    return Pipe(nullptr, pclose);
}

class Resize : public testing::TestWithParam<Scenario> {
protected:
    void SetUp() override { directory = MakeTemporaryDirectory(); }
    void TearDown() override
    {
        holder.reset();
        if (lock >= 0)
            close(lock);
        if (mounted)
            umount2(directory.c_str(), MNT_DETACH);
        RemoveTree(directory);
    }
    std::string directory;
    std::string path() const { return directory + "/f"; }
    bool mounted = false;
    int lock = -1;
    Pipe holder{nullptr, pclose};
};

TEST_P(Resize, Scenario)
{
    const Scenario &row = GetParam();
    const bool wine = TargetIsWine();
    if (wine && row.wineSkip) {
        GTEST_SKIP() << row.wineSkip;
    }
    if (row.setup == Setup::FullDisk) {
        if (mount("tmpfs", directory.c_str(), "tmpfs", 0, "size=1m") != 0) {
            GTEST_SKIP() << "cannot mount a small tmpfs here: " << strerror(errno);
        }
        mounted = true;
    }
    const std::string original = FilePattern();
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
                                                           : 0;
        ASSERT_EQ(changed, 0);
    }
    struct stat before = {};
    stat(path().c_str(), &before);

    if (row.setup == Setup::Locked && wine) {
        holder = HoldUnderWine(directory);
        ASSERT_TRUE(holder) << "HoldFile.exe did not say \"held\"";
    } else if (row.setup == Setup::Locked) {
        lock = open(path().c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(flock(lock, LOCK_EX), 0);
    }
    RunOptions options;
    options.workingDirectory = directory;
    options.closeStandardOutput = row.setup == Setup::ClosedOutput;
    options.brokenPipe = row.setup == Setup::BrokenPipe;
    if (row.setup == Setup::SizeLimit)
        options.fileSizeLimit = 2 * Mi;
    const RunResult run = RunTool(row.arguments, options);

    ASSERT_FALSE(run.timedOut) << "the run hung";
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
    default: ASSERT_TRUE(S_ISREG(after.st_mode));
    }
    const long long size = row.size == Unchanged ? before.st_size : row.size;
    // The bytes that stay are intact; everything past them reads as zeros.
    EXPECT_TRUE(FileHolds(path(), original, size));
    if (wine)
        return;
    if (row.blocks == Blocks::Reserved) {
        EXPECT_GE(after.st_blocks * 512LL, size) << "the extension was not reserved";
    }
    if (row.blocks == Blocks::NoGrowth) {
        EXPECT_LE(after.st_blocks, before.st_blocks) << "the sparse extension allocated blocks";
    }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Resize, testing::ValuesIn(Scenarios()),
                         [](const testing::TestParamInfo<Scenario> &row) { return row.param.name; });

// Names as users type them: the file meant changes and no other, whatever the name holds. Under
// Wine each line goes to the program exactly as typed at a Windows prompt; on Linux the same
// arguments go through an argument vector, where that applies.
struct NameRow {
    std::string name;
    std::string line;                   // after the program's name, as typed at a Windows prompt
    std::vector<std::string> arguments; // the same on Linux; none where it does not apply there
    std::vector<std::string> files;     // made before the run, holding the pattern: the first is meant
    std::string output;
    int exitCode;
    long long size; // of the first file afterwards
};

void PrintTo(const NameRow &row, std::ostream *out) { *out << row.name; }

const std::string Denied = OpenFailed("Access is denied.");

const NameRow NameRows[] = {
    {"quoted_folder", R"("my dir"\report.docx 0)", {"my dir/report.docx", "0"},
     {"my dir/report.docx", "my dir/report.doc"}, Steps("00000000"), 0, 0},
    {"quotes_inside_name", R"(my" "file.bin 3)", {"my file.bin", "3"}, {"my file.bin", "my file.bi"},
     Steps("00000003"), 0, 3},
    {"unquoted_space", "Disk 1 500M", {"Disk", "1", "500M"}, {"Disk 1", "Disk"}, Unexpected, 1, Unchanged},
    {"windows_option", "f 5 /s", {"f", "5", "/s"}, {"f"}, Unexpected, 1, Unchanged},
    // A file manager's copy, unquoted: its third word is a lone dash, and neither file may change.
    {"copy_unquoted", "disk 1 - Copy.img 0", {"disk", "1", "-", "Copy.img", "0"}, {"disk", "disk 1 - Copy.img"},
     Unexpected, 1, Unchanged},
    {"outside_ansi", "\u0101.bin 42", {"\u0101.bin", "42"}, {"\u0101.bin", "a.bin"}, Steps("0000002A"), 0, 42},
    {"full_width_letter", "\uFF21.bin 43", {"\uFF21.bin", "43"}, {"\uFF21.bin", "A.bin"}, Steps("0000002B"), 0, 43},
    // Full-width quotes must not turn into quotes that split the name.
    {"full_width_quotes", "\"victim.bin\uFF02 0 \uFF02\" 1Mi", {"victim.bin\uFF02 0 \uFF02", "1Mi"},
     {"victim.bin\uFF02 0 \uFF02", "victim.bin"}, Steps("00100000"), 0, Mi},
    {"greek", "\u03B1\u03B2\u03B3.bin 1000", {"\u03B1\u03B2\u03B3.bin", "1000"}, {"\u03B1\u03B2\u03B3.bin"},
     Steps("000003E8"), 0, 1000},
    {"cjk", "\u6587\u4EF6.bin 1000", {"\u6587\u4EF6.bin", "1000"}, {"\u6587\u4EF6.bin"}, Steps("000003E8"), 0, 1000},
    {"emoji", "\U0001F4C1.bin 1000", {"\U0001F4C1.bin", "1000"}, {"\U0001F4C1.bin"}, Steps("000003E8"), 0, 1000},
    {"cyrillic", "\u0444\u0430\u0439\u043B.bin 1000", {"\u0444\u0430\u0439\u043B.bin", "1000"},
     {"\u0444\u0430\u0439\u043B.bin"}, Steps("000003E8"), 0, 1000},
    // Windows' reserved names lead to devices, even with an extension; Linux has none.
    {"reserved_nul", "nul.txt 5", {}, {"nul.txt"}, Denied, 1, Unchanged},
    {"reserved_com1", "COM1.txt 5", {}, {"COM1.txt"}, Denied, 1, Unchanged},
    // Device paths, pipes and mailslots (which connect to whoever serves them) are refused as typed,
    // on Linux too.
    {"device_path", R"(\\.\COM1 5)", {R"(\\.\COM1)", "5"}, {"f"}, Denied, 1, Unchanged},
    {"object_path", R"(\??\COM1 5)", {R"(\??\COM1)", "5"}, {"f"}, Denied, 1, Unchanged},
    {"pipe_share", R"(\\localhost\pipe\x 5)", {R"(\\localhost\pipe\x)", "5"}, {"f"}, Denied, 1, Unchanged},
    {"pipe_long_unc", R"(\\?\UNC\localhost\PIPE\x 5)", {R"(\\?\UNC\localhost\PIPE\x)", "5"}, {"f"}, Denied,
     1, Unchanged},
    {"mailslot_share", R"(\\127.0.0.1\mailslot\x 5)", {R"(\\127.0.0.1\mailslot\x)", "5"}, {"f"}, Denied, 1,
     Unchanged},
    {"long_path_prefix", R"(\\?\{dir}\f 7)", {}, {"f"}, Steps("00000007"), 0, 7},
};

using Names = testing::TestWithParam<NameRow>;

TEST_P(Names, OnlyTheFileMeantChanges)
{
    const NameRow &row = GetParam();
    const bool wine = TargetIsWine();
    if (!wine && row.arguments.empty()) {
        GTEST_SKIP() << "reserved names and \\\\?\\ paths to files are Windows'";
    }
    const std::string original = FilePattern(), directory = MakeTemporaryDirectory();
    mkdir((directory + "/my dir").c_str(), 0755);
    for (const std::string &file : row.files)
        std::ofstream(directory + "/" + file, std::ios::binary) << original;
    RunOptions options;
    options.workingDirectory = directory;
    options.rawCommandLine = "Varnelt " + row.line;
    const size_t placeholder = options.rawCommandLine.find("{dir}");
    if (placeholder != std::string::npos)
        options.rawCommandLine.replace(placeholder, 5, WindowsPath(directory));
    const RunResult run = RunTool(wine ? std::vector<std::string>{} : row.arguments, options);

    ASSERT_FALSE(run.timedOut) << "the run hung";
    EXPECT_EQ(run.output, AsShown(row.output));
    EXPECT_EQ(run.exitCode, row.exitCode);
    for (size_t i = 0; i < row.files.size(); ++i) {
        const long long size = i == 0 && row.size != Unchanged ? row.size : static_cast<long long>(original.size());
        EXPECT_TRUE(FileHolds(directory + "/" + row.files[i], original, size)) << row.files[i];
    }
    RemoveTree(directory);
}

INSTANTIATE_TEST_SUITE_P(Typed, Names, testing::ValuesIn(NameRows),
                         [](const testing::TestParamInfo<NameRow> &row) { return row.param.name; });

// The system's text in the console's own code page: Wine's French text for a directory, written
// by cmd to a file from a console at code page 850, then from one switched to UTF-8.
TEST(ErrorText, ShowsInTheConsolesCodePage)
{
    if (!TargetIsWine()) {
        GTEST_SKIP() << "code pages are Windows'";
    }
    const std::string directory = MakeTemporaryDirectory();
    ASSERT_EQ(mkdir((directory + "/adir").c_str(), 0755), 0);
    const std::string run = WindowsPath(getenv("VARNELT_PROGRAM")) + " adir 5 > out";
    // Wine gives a program a console with code pages only on a terminal: script makes one.
    const std::string command = "cd '" + directory + "' && LC_ALL=fr_FR.UTF-8 timeout 120 script -qc \"wine cmd /c '" +
                                "chcp 850 >nul & " + run + "850 & chcp 65001 >nul & " + run +
                                "65001'\" /dev/null </dev/null >/dev/null 2>&1";
    EXPECT_EQ(system(command.c_str()), 0) << command;
    EXPECT_EQ(Contents(directory + "/out850"), "OpenFile... failed\r\n(Acc\x8As refus\x82.)\r\n\r\n");
    EXPECT_EQ(Contents(directory + "/out65001"), "OpenFile... failed\r\n(Acc\xC3\xA8s refus\xC3\xA9.)\r\n\r\n");
    RemoveTree(directory);
}
} // namespace
