// Names as users type them: the file meant changes and no other, whatever the name holds. Under
// Wine each line goes to the program exactly as typed at a Windows prompt; on Linux the same
// arguments go through an argument vector, where that applies.
#include "tests/support/run_program.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

struct NameRow {
    std::string name;
    std::string line;                   // after the program's name, as typed at a Windows prompt
    std::vector<std::string> arguments; // the same on Linux; none where it does not apply there
    std::vector<std::string> files;     // made before the run, holding the pattern: the first is meant
    std::string output;
    int exitCode;
    long long size; // of the first file afterwards
    // Under Wine, where set: the run's legacy ANSI code page, by its locale (RunOptions).
    std::string legacyCodePage = "";
    std::string program = "Varnelt "; // what the raw line starts with, before the line
};

void PrintTo(const NameRow &row, std::ostream *out) { *out << row.name; }

const std::string Denied = OpenFailed(AccessDenied);

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
    // Windows splits at the tab, so b.bin was a fourth argument; -s.img ends a name left unquoted.
    {"tab_after_option", "f 5 -s\tb.bin", {"f", "5", "-s\tb.bin"}, {"f", "b.bin"}, Unexpected, 1, Unchanged},
    {"option_in_name", "Disk 1 -s.img", {"Disk", "1", "-s.img"}, {"Disk", "Disk 1 -s.img"}, Unexpected, 1, Unchanged},
    // Missing is only what is not there: a component too long for the system gets its own text.
    {"file_as_folder", R"(f\x 5)", {"f/x", "5"}, {"f"}, NotFound, 2, Unchanged},
    {"component_too_long", std::string(300, 'n') + " 5", {std::string(300, 'n'), "5"}, {"f"},
     OpenFailed("The filename or extension is too long."), 1, Unchanged},
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
    {"reserved_superscript", "COM\u00B9.txt 5", {}, {"COM\u00B9.txt"}, Denied, 1, Unchanged},
    // A file of the name may be there: the console and a printer port are what the name stands for.
    {"reserved_con", "con 5", {}, {"con"}, Denied, 1, Unchanged},
    {"reserved_lpt1", "LPT1.bin 5", {}, {"LPT1.bin"}, Denied, 1, Unchanged},
    // Device paths, pipes and mailslots (which connect to whoever serves them) are refused as typed,
    // on Linux too.
    {"device_path", R"(\\.\COM1 5)", {R"(\\.\COM1)", "5"}, {"f"}, Denied, 1, Unchanged},
    {"object_path", R"(\??\COM1 5)", {R"(\??\COM1)", "5"}, {"f"}, Denied, 1, Unchanged},
    {"pipe_share", R"(\\localhost\pipe\x 5)", {R"(\\localhost\pipe\x)", "5"}, {"f"}, Denied, 1, Unchanged},
    {"pipe_long_unc", R"(\\?\UNC\localhost\PIPE\x 5)", {R"(\\?\UNC\localhost\PIPE\x)", "5"}, {"f"}, Denied,
     1, Unchanged},
    {"mailslot_share", R"(\\127.0.0.1\mailslot\x 5)", {R"(\\127.0.0.1\mailslot\x)", "5"}, {"f"}, Denied, 1,
     Unchanged},
    {"pipe_share_dot", R"(\\localhost\pipe.\x 5)", {R"(\\localhost\pipe.\x)", "5"}, {"f"}, Denied, 1, Unchanged},
    {"ipc_doubled", R"(\\localhost\\IPC$\x 5)", {R"(\\localhost\\IPC$\x)", "5"}, {"f"}, Denied, 1, Unchanged},
    {"long_path_prefix", R"(\\?\{dir}\f 7)", {}, {"f"}, Steps("00000007"), 0, 7},
    // Windows' own splitting ends a word at a tab, after the program's name too: no file changes.
    {"tab_after_program", "Disk 1 500M", {}, {"1", "Disk", "Disk 1"}, Unexpected, 1, Unchanged, "", "Varnelt\t"},
    {"tab_first", "x.bin 5 0", {}, {"5", "x.bin"}, Unexpected, 1, Unchanged, "", "\t"},
    {"tab_after_quoted_program", "x.bin 5 0", {}, {"5", "x.bin"}, Unexpected, 1, Unchanged, "", "\"Varnelt\"\t"},
    // Names read in the legacy ANSI code page: ¹ is A9 F6 in 949, while B9 is ą in 1250, № in 1251
    // and น in 874; 表 ends in 5C in 932, no backslash.
    {"superscript_949", "COM\u00B9.bin 1", {}, {"COM\u00B9.bin"}, Denied, 1, Unchanged, "ko_KR"},
    {"ogonek_1250", "COM\u0105.bin 5", {"COM\u0105.bin", "5"}, {"COM\u0105.bin"}, Steps("00000005"), 0, 5, "pl_PL"},
    {"numero_1251", "LPT\u2116.txt 6", {"LPT\u2116.txt", "6"}, {"LPT\u2116.txt"}, Steps("00000006"), 0, 6, "ru_RU"},
    {"thai_874", "COM\u0E19.bin 7", {"COM\u0E19.bin", "7"}, {"COM\u0E19.bin"}, Steps("00000007"), 0, 7, "th_TH"},
    {"second_byte_5c_932", "\"\u8868\"\\x.bin 13", {"\u8868/x.bin", "13"}, {"\u8868/x.bin"}, Steps("0000000D"), 0, 13,
     "ja_JP"},
};

using Names = testing::TestWithParam<NameRow>;

TEST_P(Names, OnlyTheFileMeantChanges)
{
    const NameRow &row = GetParam();
    const bool wine = TargetIsWine();
    if (!wine && row.arguments.empty()) {
        GTEST_SKIP() << "reserved names and \\\\?\\ paths to files are Windows'";
    }
    const std::string original = FilePattern();
    const TemporaryDirectory directory;
    mkdir((directory / "my dir").c_str(), 0755);
    for (const std::string &file : row.files) {
        std::filesystem::create_directories(std::filesystem::path(directory / file).parent_path());
        std::ofstream(directory / file, std::ios::binary) << original;
    }
    RunOptions options;
    options.directory = directory.path;
    options.rawCommandLine = row.program + row.line;
    options.legacyCodePage = row.legacyCodePage;
    const size_t placeholder = options.rawCommandLine.find("{dir}");
    if (placeholder != std::string::npos)
        options.rawCommandLine.replace(placeholder, 5, WindowsPath(directory.path));
    const RunResult run = RunTool(wine ? std::vector<std::string>{} : row.arguments, options);

    ASSERT_FALSE(run.timedOut) << "the run hung";
    EXPECT_EQ(run.output, AsShown(row.output));
    EXPECT_EQ(run.exitCode, row.exitCode);
    for (size_t i = 0; i < row.files.size(); ++i) {
        const long long size = i == 0 && row.size != Unchanged ? row.size : static_cast<long long>(original.size());
        EXPECT_TRUE(FileHolds(directory / row.files[i], original, size)) << row.files[i];
    }
}

INSTANTIATE_TEST_SUITE_P(Typed, Names, testing::ValuesIn(NameRows),
                         [](const testing::TestParamInfo<NameRow> &row) { return row.param.name; });

// A device reached by a path or a link is refused before anything opens it: opening a serial port
// already changes its lines. (A FIFO is a row of the resize scenarios.)
struct DeviceRow {
    std::string name;
    std::string line;                   // after the program's name, under Wine
    std::vector<std::string> arguments; // on Linux
    std::string make;                   // the shell's command that makes it in the run's folder
};

void PrintTo(const DeviceRow &row, std::ostream *out) { *out << row.name; }

const DeviceRow DeviceRows[] = {
    {"by_path", R"(Z:\dev\null 5)", {"/dev/null", "5"}, "true"},
    {"by_link", "serial.bin 0", {"serial.bin", "0"}, "ln -s /dev/zero serial.bin"},
};

using Devices = testing::TestWithParam<DeviceRow>;

TEST_P(Devices, AreRefusedBeforeAnyOpen)
{
    const DeviceRow &row = GetParam();
    const TemporaryDirectory directory;
    std::string said;
    ASSERT_TRUE(Shell("cd '" + directory.path + "' && " + row.make, &said)) << said;
    RunOptions options;
    options.directory = directory.path;
    options.rawCommandLine = "Varnelt " + row.line;
    const RunResult run = RunTool(TargetIsWine() ? std::vector<std::string>{} : row.arguments, options);
    ASSERT_FALSE(run.timedOut) << "the run hung";
    EXPECT_EQ(run.output, AsShown(Denied));
    EXPECT_EQ(run.exitCode, 1);
}

// Refused before the open, not after it: a reader waiting at a FIFO would be let through by an
// open, as a serial port's lines change at one.
TEST(Devices, AFifoIsNeverOpened)
{
    const TemporaryDirectory directory;
    const std::string fifo = directory / "pipe.bin";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    Child reader;
    ASSERT_TRUE(reader.Start({}, [&] { _exit(open(fifo.c_str(), O_RDONLY) >= 0 ? 0 : 1); }));
    RunOptions options;
    options.directory = directory.path;
    options.rawCommandLine = "Varnelt pipe.bin 5";
    const RunResult run = RunTool(TargetIsWine() ? std::vector<std::string>{} : std::vector<std::string>{"pipe.bin", "5"},
                                  options);
    EXPECT_EQ(run.output, AsShown(Denied));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(reader.Wait(300), -1) << "the FIFO was opened";
}

INSTANTIATE_TEST_SUITE_P(Reached, Devices, testing::ValuesIn(DeviceRows),
                         [](const testing::TestParamInfo<DeviceRow> &row) { return row.param.name; });

} // namespace
