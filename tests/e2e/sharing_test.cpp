// No sharing, as the Linux build keeps it: whatever another process holds of the file (an open
// descriptor, a mapping, a hard link, a lock) refuses the open and leaves the file as it was, and
// a process that opens the file while the tool holds it waits, then finds the new size.
#include "tests/support/run_program.h"
#include "tests/support/setting.h"


#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <string.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <fstream>
#include <optional>
#include <thread>

namespace {
const std::string Busy = OpenFailed(SharingViolation);

// How the other process holds the file.
enum class Hold { Read, Write, ReadMapping, SharedMapping, OtherName, RecordLock, OfdLock, Flock, Lease };

struct Holder {
    std::string name;
    Hold hold;
    bool notOwner; // the tool runs as nobody on root's file: no lease, the locks alone guard it
    bool refused;
    const char *wineSkip = nullptr; // null: the row runs under Wine too
};

void PrintTo(const Holder &row, std::ostream *out) { *out << row.name; }

const char *const LinuxHold = "a plain Linux process's hold is not seen by Wine (see held_for_reading)";
const char *const AsNobody = "runs the Linux build as another user";

const Holder Holders[] = {
    {"held_for_reading", Hold::Read, false, true},
    {"held_for_writing", Hold::Write, false, true, LinuxHold},
    // Closing the descriptor after mmap does not end the hold: the mapping keeps the open file.
    {"mapped_for_reading_after_close", Hold::ReadMapping, false, true, LinuxHold},
    {"mapped_shared_after_close", Hold::SharedMapping, false, true, LinuxHold},
    {"held_through_hard_link", Hold::OtherName, false, true, LinuxHold},
    {"record_lock", Hold::RecordLock, false, true, LinuxHold},
    {"ofd_lock", Hold::OfdLock, false, true, LinuxHold},
    {"flock", Hold::Flock, false, true, LinuxHold},
    // An open that would wait for the holder to give its lease up is refused at once instead.
    {"read_lease", Hold::Lease, false, true, LinuxHold},
    // Without the lease an open descriptor goes unseen; every kind of lock still refuses.
    {"not_owner_held_for_reading", Hold::Read, true, false, AsNobody},
    {"not_owner_record_lock", Hold::RecordLock, true, true, AsNobody},
    {"not_owner_ofd_lock", Hold::OfdLock, true, true, AsNobody},
    {"not_owner_flock", Hold::Flock, true, true, AsNobody},
};

// Takes the hold in this process; 0, or the errno of the step that failed. The locks are the
// weakest of their kind (shared, and on part of the file only), so a tool that took less than
// exclusive locks over the whole file, its future extension included, would miss them.
int TakeHold(const std::string &directory, Hold hold)
{
    const bool writes = hold == Hold::Write || hold == Hold::SharedMapping;
    const std::string name = directory + (hold == Hold::OtherName ? "/g" : "/f");
    const int file = open(name.c_str(), writes ? O_RDWR : O_RDONLY);
    if (file < 0)
        return errno;
    struct flock lock = {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    switch (hold) {
    case Hold::ReadMapping:
    case Hold::SharedMapping:
        if (mmap(nullptr, 1500, writes ? PROT_READ | PROT_WRITE : PROT_READ,
                 writes ? MAP_SHARED : MAP_PRIVATE, file, 0) == MAP_FAILED)
            return errno;
        close(file);
        return 0;
    case Hold::RecordLock:
        lock.l_start = 1000; // the last 500 bytes
        return fcntl(file, F_SETLK, &lock) == 0 ? 0 : errno;
    case Hold::OfdLock:
        lock.l_start = Mi; // past the end, where an extension would go
        lock.l_len = Mi;
        return fcntl(file, F_OFD_SETLK, &lock) == 0 ? 0 : errno;
    case Hold::Flock: return flock(file, LOCK_SH | LOCK_NB) == 0 ? 0 : errno;
    case Hold::Lease: return fcntl(file, F_SETLEASE, F_RDLCK) == 0 ? 0 : errno;
    default: return 0;
    }
}

// The result a child wrote as a line, once it did within the milliseconds.
bool Await(Child &child, int milliseconds, long long *result)
{
    return child.Read("\n", milliseconds) && (*result = std::stoll(child.text), true);
}

// A fresh directory holding "f", and the child processes of a test, killed after it.
template <typename Param> class Processes : public testing::TestWithParam<Param> {
protected:
    void SetUp() override { std::ofstream(path(), std::ios::binary) << original; }
    std::string path() const { return directory / "f"; }
    // Starts a process that runs the action, writes its result as a line, and keeps what it holds.
    template <typename Action> Child &Keep(Action action)
    {
        children.emplace_back().Start({}, [&] {
            dprintf(1, "%lld\n", static_cast<long long>(action()));
            for (;;)
                pause();
        });
        return children.back();
    }

    const std::string original = FilePattern();
    TemporaryDirectory directory;
    std::deque<Child> children; // Keep's references stay valid
};

using Sharing = Processes<Holder>;

TEST_P(Sharing, Row)
{
    const Holder &row = GetParam();
    const bool wine = TargetIsWine();
    if (wine && row.wineSkip) {
        GTEST_SKIP() << row.wineSkip;
    }
    if (row.notOwner && geteuid() != 0) {
        GTEST_SKIP() << "running the tool as nobody on root's file needs root";
    }
    RunOptions options;
    options.directory = directory.path;
    options.timeoutSeconds = row.hold == Hold::Lease ? 5 : 30; // the lease breaks after 45 s
    if (row.hold == Hold::OtherName) {
        ASSERT_EQ(link(path().c_str(), (directory / "g").c_str()), 0);
    }
    if (row.notOwner) {
        ASSERT_TRUE(ShareWithNobody(directory.path, path()));
        options.user = "nobody";
    }
    Child &holder = Keep([&] { return TakeHold(directory.path, row.hold); });
    long long held = -1;
    ASSERT_TRUE(Await(holder, 10000, &held)) << "the holder did not start";
    ASSERT_EQ(held, 0) << "the holder failed: " << strerror(static_cast<int>(held));

    const RunResult run = RunTool({"f", "1000"}, options);
    if (row.notOwner && run.exitCode == NobodyLockedOut) {
        GTEST_SKIP() << "nobody cannot reach the temporary folder that holds the tool's copy";
    }
    ASSERT_FALSE(run.timedOut) << "the run hung";
    EXPECT_EQ(run.signal, 0);
    // Wine's sharing check knows only the handles of Wine's own processes: a Linux process that
    // holds the file open is not seen, and the file is resized.
    const bool refused = row.refused && !wine;
    EXPECT_EQ(run.output, refused ? Busy : Steps("000003E8"));
    EXPECT_EQ(run.exitCode, refused ? 1 : 0);
    EXPECT_TRUE(FileHolds(path(), original, refused ? static_cast<long long>(original.size()) : 1000));
}

INSTANTIATE_TEST_SUITE_P(Holders, Sharing, testing::ValuesIn(Holders),
                         [](const testing::TestParamInfo<Holder> &row) { return row.param.name; });

// The tool stalls with the file open (its output a pipe with no room) while another process opens
// the file, or nobody does.
struct Stall {
    std::string name;
    int opener;       // the other process's open flags, or -1 for nobody
    int breakSeconds; // the system's lease-break time meanwhile, or -1 to leave it as it is
    bool refused;     // the opener got the file: the size must not change
};

void PrintTo(const Stall &row, std::ostream *out) { *out << row.name; }

// Seconds times the kernel's tick rate (up to 1000) overflow its int: the lease breaks at once.
constexpr int OverflowingSeconds = 11000000;

const Stall Stalls[] = {
    {"reader", O_RDONLY, -1, false},
    {"writer", O_RDWR, -1, false},
    // Once an opener has waited the lease-break time the system lets it in; it may have mapped the file.
    {"writer_after_the_break", O_RDWR, 1, true},
    {"nobody_waiting", -1, 1, false},
    // At 0 the system never breaks a lease: the opener waits for the tool however long it takes.
    {"writer_when_leases_never_break", O_RDWR, 0, false},
    {"writer_when_the_break_time_overflows", O_RDWR, OverflowingSeconds, true},
};

using Opener = Processes<Stall>;

TEST_P(Opener, WaitsForTheToolOrTheSizeStays)
{
    if (TargetIsWine()) {
        GTEST_SKIP() << "Wine takes no lease, so another opener does not wait for it";
    }
    const Stall &row = GetParam();
    // Every row depends on the break time: those that leave it as it is hold it from changing.
    std::optional<SystemSetting> breakTime;
    std::optional<SettingLock> unchanged;
    if (row.breakSeconds >= 0)
        breakTime.emplace("/proc/sys/fs/lease-break-time", std::to_string(row.breakSeconds));
    else
        unchanged.emplace("/proc/sys/fs/lease-break-time", false);
    if (breakTime && !breakTime->set) {
        GTEST_SKIP() << "setting the lease-break time needs root";
    }
    bool blocked = false, waited = false;
    Child *opener = nullptr;
    long long seen = -1; // the size the other opener found
    RunOptions options;
    options.directory = directory.path;
    options.timeoutSeconds = 30;
    // "OpenFile..." fits into the pipe and " ok" does not: the tool sleeps with the file open.
    options.outputRoom = 11;
    options.whileBlocked = [&] {
        blocked = true;
        if (row.opener >= 0) {
            opener = &Keep([&]() -> long long {
                const int file = open(path().c_str(), row.opener);
                struct stat info;
                return file < 0 ? -errno : fstat(file, &info) != 0 ? -errno : info.st_size;
            });
            waited = !Await(*opener, 200, &seen) || row.breakSeconds == OverflowingSeconds;
        }
        if (row.breakSeconds > 0 && row.breakSeconds < 60 && !(opener && Await(*opener, 10000, &seen)))
            usleep(row.breakSeconds * 1000000 + 500000); // the stall outlasts the break time
    };
    const RunResult run = RunTool({"f", "1Mi"}, options);

    ASSERT_FALSE(run.timedOut) << "the run hung";
    ASSERT_TRUE(blocked) << "the tool never blocked in its output after the open: " << run.output;
    if (opener) {
        EXPECT_TRUE(waited) << "the other open did not wait for the tool";
        EXPECT_TRUE(seen >= 0 || Await(*opener, 10000, &seen)) << "the other open never returned";
    }
    const long long size = row.refused ? static_cast<long long>(original.size()) : Mi;
    EXPECT_EQ(seen, opener ? size : -1) << "the size the other opener found";
    EXPECT_EQ(run.signal, 0) << "the lease break ended the tool";
    EXPECT_EQ(run.output, row.refused ? EndFailed("00100000", SharingViolation) : Steps("00100000"));
    EXPECT_EQ(run.exitCode, row.refused ? 1 : 0);
    EXPECT_TRUE(FileHolds(path(), original, size));
}

INSTANTIATE_TEST_SUITE_P(Stalls, Opener, testing::ValuesIn(Stalls),
                         [](const testing::TestParamInfo<Stall> &row) { return row.param.name; });
} // namespace

// Two runs started at one moment on the same file: one resizes and the other is refused, as share
// mode 0 makes it on Windows; never both.
TEST(Race, OneOfTwoRunsAlwaysWins)
{
    if (TargetIsWine()) {
        GTEST_SKIP() << "Wine decides between its own processes; a pair starts too slowly there";
    }
    // The loser's open starts to break the winner's lease: the winner goes on only within the break
    // time, which another suite's rows must not shorten meanwhile.
    const SettingLock unchanged("/proc/sys/fs/lease-break-time", false);
    const TemporaryDirectory directory;
    const std::string path = directory / "race.bin";
    const std::string original = FilePattern();
    int oneRefused = 0, bothRefused = 0, wrong = 0;
    std::string firstWrong;
    for (int pair = 0; pair < 300; ++pair) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << original;
        // Both runs sleep in their first write, just before the open, until both are there.
        std::atomic<int> blocked{0};
        RunOptions options;
        options.directory = directory.path;
        options.whileBlocked = [&] {
            for (int i = ++blocked; blocked < 2 && i < 1000000; ++i)
                sched_yield();
        };
        RunResult runs[2];
        std::thread first([&] { runs[0] = RunTool({"race.bin", "1000"}, options); });
        runs[1] = RunTool({"race.bin", "2000"}, options);
        first.join();
        const bool refused[2] = {runs[0].output == Busy && runs[0].exitCode == 1,
                                 runs[1].output == Busy && runs[1].exitCode == 1};
        const bool done[2] = {runs[0].output == Steps("000003E8") && runs[0].exitCode == 0,
                              runs[1].output == Steps("000007D0") && runs[1].exitCode == 0};
        oneRefused += refused[0] != refused[1];
        bothRefused += refused[0] && refused[1];
        // The winner's size; after two runs one after the other, the size of either.
        const bool sized = refused[1]   ? FileHolds(path, original, 1000)
                           : refused[0] ? FileHolds(path, original, 2000)
                                        : FileHolds(path, original, 1000) ||
                                              FileHolds(path, original.substr(0, 1000), 2000);
        if ((!refused[0] && !done[0]) || (!refused[1] && !done[1]) || !sized)
            if (wrong++ == 0)
                firstWrong = "pair " + std::to_string(pair) + ":\n" + runs[0].output + "---\n" + runs[1].output;
    }
    printf("300 pairs: %d with one refused, %d both refused\n", oneRefused, bothRefused);
    EXPECT_EQ(bothRefused, 0) << "both runs were refused";
    EXPECT_EQ(wrong, 0) << firstWrong;
}
