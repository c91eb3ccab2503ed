// The system calls of a run, checked once per kind of run against the figures bench/run reports
// (bench/results.md, the one place they are written): a resize makes exactly those, and a refusal
// opens nothing. The same work on a smaller file: the count does not depend on the size.
#include "tests/support/run_program.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>

namespace {
struct KindOfRun {
    const char *name;
    const char *setup;         // what makes the file f
    std::string arguments;     // after the program's name
    const char *benchCommand;  // the row of bench/results.md whose figure holds; null: no open at all
};

const KindOfRun Runs[] = {
    {"cut", "fallocate -l 1048576 f", "f 0", "`varnelt f 0`"},
    {"reservation", "truncate -s 0 f", "f 1048576", "`varnelt f 1073741824`"},
    {"sparse_extension", "truncate -s 0 f", "f 1048576 -s", "`varnelt f 1073741824 -s`"},
    {"refused_argument", "truncate -s 0 f", "f 1Mi -x", nullptr},
    {"refused_device_name", "truncate -s 0 f", "'\\\\.\\COM1' 5", nullptr},
    // A file without write bits is refused as read-only before an open, which root's would pass.
    {"refused_read_only", "truncate -s 0 f && chmod a-w f", "f 5", nullptr},
    // A pseudo-file is refused before the open, which might act: the process's own name, say.
    {"refused_pseudo_file", "truncate -s 0 f", "/proc/self/comm 5", nullptr},
};

void PrintTo(const KindOfRun &run, std::ostream *out) { *out << run.name; }

// The system-call figure of the results' main table for the command: its fifth column.
int BenchFigure(const std::string &command)
{
    std::ifstream results(VARNELT_SOURCE_DIR "/bench/results.md");
    for (std::string line; std::getline(results, line);) {
        if (line.find(" | " + command + " | ") == std::string::npos)
            continue;
        std::stringstream cells(line);
        std::string cell;
        for (int column = 0; column < 6 && std::getline(cells, cell, '|'); ++column) {
        }
        return atoi(cell.c_str());
    }
    return -1;
}

using Budget = testing::TestWithParam<KindOfRun>;

TEST_P(Budget, AsTheBenchmarkReports)
{
    const KindOfRun &run = GetParam();
    if (TargetIsWine() || getenv("VARNELT_EMULATOR") != nullptr) {
        GTEST_SKIP() << "strace counts the Linux tool's own calls; Wine and the emulator add theirs";
    }
#ifndef VARNELT_MEASURED_BUILD
    GTEST_SKIP() << "the budget is the benchmark's build's (static, no sanitizer); this one links otherwise";
#endif
    if (!Shell("command -v strace >/dev/null")) {
        GTEST_SKIP() << "strace is not installed (Debian package strace)";
    }
    const TemporaryDirectory directory;
    const std::string in = "cd '" + directory.path + "' && ";
    ASSERT_TRUE(Shell(in + run.setup));
    // As bench/run measures: a fixed environment, every process followed.
    std::string said;
    ASSERT_TRUE(Shell(in + "env -i PATH=/usr/bin:/bin LC_ALL=C strace -f -qq -o calls '" +
                          getenv("VARNELT_PROGRAM") + "' " + run.arguments + " >/dev/null; true",
                      &said));
    std::ifstream log(directory / "calls");
    int calls = 0, opens = 0;
    for (std::string line; std::getline(log, line);) {
        line.erase(0, line.find_first_not_of(' ', line.find(' '))); // the process's id, padded to a width
        // As strace -c counts: the exit, which never returns, and the notes on signals and the end are no calls.
        calls += line.compare(0, 3, "+++") != 0 && line.compare(0, 3, "---") != 0 &&
                 line.compare(0, 11, "exit_group(") != 0;
        opens += line.compare(0, 5, "open(") == 0 || line.compare(0, 7, "openat(") == 0;
    }
    ASSERT_GT(calls, 0) << "strace recorded nothing: " << said;
    if (run.benchCommand) {
        EXPECT_EQ(calls, BenchFigure(run.benchCommand)) << "bench/results.md, " << run.benchCommand;
    } else {
        EXPECT_EQ(opens, 0) << "a refusal opened something";
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, Budget, testing::ValuesIn(Runs),
                         [](const testing::TestParamInfo<KindOfRun> &run) { return std::string(run.param.name); });
} // namespace
