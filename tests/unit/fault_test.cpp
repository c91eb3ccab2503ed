// Every operating-system call of the stand-in fails in turn, with each errno it can really return:
// once, from then on, and (where a call does work on the file) after doing it. The clean run of
// each row makes exactly its number of system calls, the budget that the benchmark holds too.
#include "faults.h"

#include "tests/support/files.h"
#include "tests/support/setting.h"
#include "tests/support/transcripts.h"

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <optional>

#include <gtest/gtest.h>

void PrintTo(const Row &row, std::ostream *out) { *out << row.name; }

namespace {
const std::string Prompt = "Press a key to close";

const Row Rows[] = {
    {"cut", File::Mebibyte, "varnelt f 1000", 1000, Blocks::Any, Steps("000003E8"), 0},
    {"extend", File::Small, "varnelt f 1Mi", Mi, Blocks::Reserved, Steps("00100000"), 0},
    {"extend_sparse", File::Small, "varnelt f 1Mi -s", Mi, Blocks::NoGrowth, Steps("00100000", SparseOk), 0},
    {"holes", File::Holes, "varnelt f 1Mi", Mi, Blocks::NoGrowth, Steps("00100000"), 0},
    {"holes_sparse", File::Holes, "varnelt f 1Mi -s", Mi, Blocks::NoGrowth, Steps("00100000", SparseSet), 0},
    {"missing", File::Missing, "varnelt f 1000", 1000, Blocks::Any, NotFound, 2},
    {"directory", File::Directory, "varnelt f 1000", 1000, Blocks::Any, OpenFailed(AccessDenied), 1},
    // A file-size limit refuses the reservation for real; giving it back may fail as well.
    {"reservation_refused", File::Small, "varnelt f 1Mi", Mi, Blocks::Reserved,
     EndFailed("00100000", "The file size exceeds the limit allowed and cannot be saved."), 1, SizeLimit},
    // The open lands on a closed standard descriptor and is moved off it.
    {"closed_input", File::Small, "varnelt f 1Mi", Mi, Blocks::Reserved, Steps("00100000"), 0, NoInput},
    {"closed_error", File::Small, "varnelt f 1Mi", Mi, Blocks::Reserved, Steps("00100000"), 0, NoError},
    // FAT keeps no holes: the request fails as on Windows, and the extension is reserved instead.
    {"fat_sparse", File::Small, "varnelt f 1Mi -s", Mi, Blocks::Reserved, Steps("00100000", SparseRefused), 0, FatVolume},
    // The prompt's rule, where the stand-in shows a console window as Windows does; Linux shows none,
    // so a run that leads its terminal's session (docker run -t, script -c) never waits for a key.
    {"prompt", File::Small, "varnelt f 100", 100, Blocks::Any, Steps("00000064") + Prompt, 0,
     OnTerminal | OwnConsole},
    {"own_terminal", File::Small, "varnelt f 100", 100, Blocks::Any, Steps("00000064"), 0, OnTerminal},
    // A resize answered without being made fails the step: the size must not be claimed.
    {"resize_ignored", File::Mebibyte, "varnelt f 1000", 1000, Blocks::Any,
     EndFailed("000003E8", "The request is not supported."), 1, ResizesIgnored},
    {"not_owner", File::Mebibyte, "varnelt f 1000", 1000, Blocks::Any, Steps("000003E8"), 0, AsNobody},
    {"not_owner_sparse", File::Small, "varnelt f 1Mi -s", Mi, Blocks::NoGrowth, Steps("00100000", SparseOk), 0,
     AsNobody},
    // Refusals come before any open (the call budget's table pins that).
    {"unexpected_argument", File::Small, "varnelt f 1Mi -x", Mi, Blocks::Any, Unexpected, 1},
    {"device_name", File::Small, R"(varnelt \\.\COM1 5)", 5, Blocks::Any, OpenFailed(AccessDenied), 1},
    // Without the 64-bit reader the size would be misread: it must not reach the file.
    {"reader_missing", File::Small, "varnelt f 3000000000", 3000000000, Blocks::Any, InvalidSize, 1,
     ReaderHidden},
    // A link swapped between the look and the open: the pseudo-file opened is refused all the same.
    // Refused before anything opens them: an open of a pseudo-file may act, one of another's file
    // breaks its lease.
    {"read_only", File::Small, "varnelt f 10", 10, Blocks::Any, OpenFailed(AccessDenied), 1, ReadOnly},
    {"pseudo_file", File::Small, "varnelt f 10", 10, Blocks::Any, OpenFailed(AccessDenied), 1, ProcVolume},
    {"pseudo_file_opened", File::Mebibyte, "varnelt f 1000", 1000, Blocks::Any, OpenFailed(AccessDenied), 1,
     ProcOpened},
    // What was reserved beyond the end before the run stays when the run's own reservation fails.
    {"reservation_refused_reserved_before", File::Reserved, "varnelt f 1Mi", Mi, Blocks::Any,
     EndFailed("00100000", "The file size exceeds the limit allowed and cannot be saved."), 1, SizeLimit},
    // Never freed to be made again, where the run's own blocks cannot be given back alone.
    {"reservation_refused_beyond_reserved_before", File::Reserved, "varnelt f 4Mi", 4 * Mi, Blocks::Any,
     EndFailed("00400000", "The file size exceeds the limit allowed and cannot be saved."), 1,
     SizeLimit | BeyondEarlier},
    // Once another opener has the file, its size is no longer ours to change, nor the reservation.
    {"lease_lost_during_reservation", File::Small, "varnelt f 1Mi", Mi, Blocks::Any,
     EndFailed("00100000", SharingViolation), 1, LeaseLost},
    // An opener is waiting out a break time of 1 s: the size may change only with time to spare.
    {"lease_breaking_with_time_to_spare", File::Small, "varnelt f 1Mi", Mi, Blocks::Reserved, Steps("00100000"), 0,
     LeaseLost, SIGTERM, 2, 899, "1\n"},
    {"lease_breaking_within_the_margin", File::Small, "varnelt f 1Mi", Mi, Blocks::Any,
     EndFailed("00100000", SharingViolation), 1, LeaseLost, SIGTERM, 2, 900, "1\n"},
    // A break time that cannot be read is no reason to trust a lease being broken.
    {"lease_lost_break_time_unreadable", File::Small, "varnelt f 1Mi", Mi, Blocks::Any,
     EndFailed("00100000", SharingViolation), 1, LeaseLost, SIGTERM, 2, -1, "none\n"},
    // A request to end waits until the step is done, then ends the process by that signal.
    {"terminated_during_reservation", File::Small, "varnelt f 1Mi", Mi, Blocks::Reserved,
     UpToTheEnd("00100000"), -1, Interrupted},
    {"interrupted_during_reservation", File::Small, "varnelt f 1Mi", Mi, Blocks::Reserved,
     UpToTheEnd("00100000"), -1, Interrupted, SIGINT},
    {"hung_up_during_reservation", File::Small, "varnelt f 1Mi", Mi, Blocks::Reserved,
     UpToTheEnd("00100000"), -1, Interrupted, SIGHUP},
    {"quit_during_reservation", File::Small, "varnelt f 1Mi", Mi, Blocks::Reserved,
     UpToTheEnd("00100000"), -1, Interrupted, SIGQUIT},
    // Every signal that would end the process, not only those four.
    {"user_signal_during_reservation", File::Small, "varnelt f 1Mi", Mi, Blocks::Reserved,
     UpToTheEnd("00100000"), -1, Interrupted, SIGUSR1},
    {"alarm_during_reservation", File::Small, "varnelt f 1Mi", Mi, Blocks::Reserved,
     UpToTheEnd("00100000"), -1, Interrupted, SIGALRM},
    {"real_time_signal_during_reservation", File::Small, "varnelt f 1Mi", Mi, Blocks::Reserved,
     UpToTheEnd("00100000"), -1, Interrupted, SIGRTMIN + 1},
    // One that came before anything changed cancels the run: the file stays as it was.
    {"terminated_before_any_change", File::Small, "varnelt f 1Mi", Mi, Blocks::Any, UpToTheEnd("00100000"), -1, Cancelled},
    {"interrupted_before_any_change", File::Mebibyte, "varnelt f 1000", 1000, Blocks::Any, UpToTheEnd("000003E8"),
     -1, Cancelled, SIGINT},
    // One the process ignores (nohup) ends nothing: the requests are held again and the step goes on.
    {"hung_up_under_nohup_before_any_change", File::Small, "varnelt f 1Mi", Mi, Blocks::Reserved, Steps("00100000"),
     0, Cancelled | Ignored, SIGHUP},
    // The undo asks the lease before each of its changes: once lost, the cut that would follow stays
    // undone and the reservation with the file.
    {"lease_lost_during_undo", File::Small, "varnelt f 1Mi", Mi, Blocks::Any,
     EndFailed("00100000", SharingViolation), 1, SizeLimit | LeaseLost, SIGTERM, 4},
    // With the locks alone another writer may come in: its bytes stay, and the times it set too.
    {"appended_during_failed_reservation_locks_alone", File::Small, "varnelt f 1Mi", Mi, Blocks::Any,
     EndFailed("00100000", "The file size exceeds the limit allowed and cannot be saved."), 1,
     SizeLimit | NoLease | Appended},
    // Its bytes, appended after the open and before the cut, are cut too: the size is asked again.
    {"appended_before_cut_locks_alone", File::Small, "varnelt f 1000", 1000, Blocks::Any, Steps("000003E8"), 0,
     NoLease | AppendedAtOpen},
    {"overwritten_during_failed_reservation_locks_alone", File::Small, "varnelt f 1Mi", Mi, Blocks::Any,
     EndFailed("00100000", "The file size exceeds the limit allowed and cannot be saved."), 1,
     SizeLimit | NoLease | Overwritten},
};

// Whether the fault tells something the others do not: a persistent failure where the call is
// made again, one after the work where the call changes the file, or writes half its bytes. Never a
// persistent EINTR, which would be retried for ever, nor an unsupported call that did something.
bool Applies(PosixFault how, int kind, int error)
{
    if (how == PosixFault::Once)
        return true;
    if (how == PosixFault::AfterTheWork && kind == PosixCallWrite)
        return error == EIO; // the half written is no failure: any errno tells the same
    if (how == PosixFault::FromThenOn)
        return error != EINTR && Has(kind, MadeAgain);
    return error != EINTR && error != EOPNOTSUPP && error != ENOSYS && Has(kind, DoesWork);
}

using Faults = testing::TestWithParam<Row>;

TEST_P(Faults, EveryCallFailsInTurn)
{
    const Row &row = GetParam();
    if (row.flags & AsNobody && geteuid() != 0) {
        GTEST_SKIP() << "running the tool as nobody on root's file needs root";
    }
    // A lease that reads as broken is lost only where the system's break time is not 0.
    std::optional<SettingLock> breakTime;
    if (row.flags & LeaseLost)
        breakTime.emplace("/proc/sys/fs/lease-break-time", false);
    const TemporaryDirectory base;
    ASSERT_TRUE(ShareWithNobody(base.path, "")); // nobody reaches its run directories
    const Outcome clean = RunOnce(row, base.path, {PosixCallKinds, 0, 0, PosixFault::Once});
    ASSERT_FALSE(clean.hung);
    ASSERT_EQ(clean.output, row.output);
    ASSERT_EQ(clean.exitCode, row.exitCode);
    ASSERT_EQ(clean.state, row.exitCode == 0 || row.flags & Interrupted ? State::AsAsked : State::AsItWas);
    ASSERT_EQ(clean.signal, row.flags & (Interrupted | Cancelled) && !(row.flags & Ignored) ? row.signal : 0);
    if (row.flags & AsNobody) {
        ASSERT_EQ(clean.counts[PosixCallRecordLock], 1u) << "without the lease the locks must guard the file";
    }
    if (row.flags & LeaseLost) {
        EXPECT_TRUE(BlocksAre(Blocks::Reserved, clean.before, clean.after, row.size))
            << "the reservation was touched after the lease was lost";
    }
    if (row.flags & Overwritten) {
        EXPECT_FALSE(HasOldTimes(clean.after)) << "the times went back over another writer's change";
    }
    if (row.flags & BeyondEarlier) {
        EXPECT_GE(clean.after.st_blocks, clean.before.st_blocks) << "blocks reserved before the run were given back";
    }
    if (row.flags & (LeaseLost | Interrupted | Cancelled | NoLease | BeyondEarlier))
        return; // what the other rows fail covers these calls
    int runs = 0;
    for (int kind = 0; kind < PosixCallKinds; ++kind) {
        if (row.flags & OnTerminal && !Has(kind, PromptOnly))
            continue; // the resize's own calls fail in the other rows
        for (int error : Kinds[kind].errnos) {
            bool shown = false;
            for (unsigned nth = 1; nth <= clean.counts[kind]; ++nth) {
                for (PosixFault how : {PosixFault::Once, PosixFault::FromThenOn, PosixFault::AfterTheWork}) {
                    if (!Applies(how, kind, error))
                        continue;
                    ++runs;
                    const Fault fault = {static_cast<PosixCall>(kind), nth, error, how};
                    shown |= Check(row, clean, RunOnce(row, base.path, fault), fault);
                }
            }
            // A run that succeeds shows each kind's failure somewhere, unless the program means
            // that failure to change nothing.
            EXPECT_TRUE(shown || row.exitCode != 0 || clean.counts[kind] == 0 || Has(kind, PromptOnly) ||
                        !ShowsAtAll(row, static_cast<PosixCall>(kind), error))
                << PosixCallNames[kind] << " " << strerrorname_np(error) << " never showed";
        }
    }
    printf("%s: %d runs\n", row.name, runs);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Faults, testing::ValuesIn(Rows),
                         [](const testing::TestParamInfo<Row> &row) { return std::string(row.param.name); });

// Another opener that stays refuses the open only once the lease's retries are over: in some
// milliseconds, as the other's own open and close take, and never in a while a user would notice.
TEST(LeaseRetries, GiveUpAfterTheirWindow)
{
    const TemporaryDirectory directory;
    std::ofstream(directory / "f") << "x";
    unsigned counts[PosixCallKinds] = {};
    PosixCountCallsInto(counts);
    PosixFailCall(PosixCallLease, 1, EAGAIN, PosixFault::FromThenOn);
    timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    const HANDLE file = CreateFileA((directory / "f").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const DWORD error = GetLastError();
    clock_gettime(CLOCK_MONOTONIC, &end);
    PosixFailCall(PosixCallLease, 0, 0);
    PosixCountCallsInto(nullptr);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(error, DWORD{ERROR_SHARING_VIOLATION});
    EXPECT_EQ(counts[PosixCallLease], 9u) << "tries";
    const long long milliseconds = (end.tv_sec - start.tv_sec) * 1000LL + (end.tv_nsec - start.tv_nsec) / 1000000;
    EXPECT_GE(milliseconds, 8);
    EXPECT_LT(milliseconds, 500);
}
} // namespace
