// One run of the tool for the fault table: the file made, the tool started in a child process
// with the fault set, its output read to the end, and what it left of the file.
#include "faults.h"

#include "command/command.h"
#include "platform/posix/system.h"
#include "tests/support/child.h"
#include "tests/support/files.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

namespace {
// The call counts of the child, in memory it shares with the test.
unsigned *SharedCounts()
{
    static void *const counts = mmap(nullptr, sizeof(unsigned) * PosixCallKinds, PROT_READ | PROT_WRITE,
                                     MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    return counts == MAP_FAILED ? nullptr : static_cast<unsigned *>(counts);
}

void Raise(int signal) { raise(signal); }

// A writer in the run's folder that ignores the locks, as the locks alone cannot keep it out.
void Append(int bytes)
{
    const int file = open("f", O_WRONLY | O_APPEND | O_CLOEXEC);
    const std::string zeros(static_cast<size_t>(bytes), '\0');
    if (file < 0 || write(file, zeros.data(), zeros.size()) != bytes)
        _exit(120);
    close(file);
}

void Overwrite(int bytes)
{
    char first[64];
    const int file = open("f", O_RDWR | O_CLOEXEC);
    if (file < 0 || bytes > 64 || pread(file, first, bytes, 0) != bytes || pwrite(file, first, bytes, 0) != bytes)
        _exit(121);
    close(file);
}

void StartTool(const Row &row, const Fault &fault, unsigned *counts)
{
    PosixBlockSignals(); // as the tool's own start-up does
    PosixCountCallsInto(counts);
    PosixSetCommandLine(row.command);
    PosixFakeVolumeType(row.flags & FatVolume ? 0x4d44 : row.flags & (ProcOpened | ProcVolume) ? 0x9fa0 : 0,
                        row.flags & ProcOpened);
    PosixIgnoreResizes(row.flags & ResizesIgnored);
    PosixHideStrToInt64ExA(row.flags & ReaderHidden);
    PosixShowConsoleWindow(row.flags & OwnConsole);
    PosixLoseLeaseAt(row.flags & LeaseLost ? row.leaseLostAt : 0, row.heldFor);
    PosixAnswerBreakTime(row.breakTime);
    if (row.flags & Ignored)
        signal(row.signal, SIG_IGN);
    const struct rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore); // SIGQUIT's own ending would leave one
    if (row.flags & (Appended | AppendedAtOpen | Overwritten))
        PosixRunBefore(row.flags & AppendedAtOpen ? PosixCallRecordLock : PosixCallFallocate, 1,
                       row.flags & Overwritten ? Overwrite : Append, row.flags & Overwritten ? 16 : AppendedBytes);
    else if (row.flags & (Interrupted | Cancelled))
        PosixRunBefore(row.flags & Interrupted ? PosixCallFallocate : PosixCallLeaseState, 1, Raise, row.signal);
    PosixFailCall(fault.kind, fault.nth, fault.error, fault.how);
    if (row.flags & NoLease && fault.nth == 0)
        PosixFailCall(PosixCallLease, 1, EINVAL, PosixFault::FromThenOn);
    VarneltStart();
}

// Reserves the bytes beyond the file's end, as a database or a virtual-disk tool does.
int ReserveBeyond(const std::string &path, long long bytes)
{
    const int file = open(path.c_str(), O_WRONLY);
    const int result = file < 0 ? -1 : fallocate(file, FALLOC_FL_KEEP_SIZE, 0, bytes);
    close(file);
    return result;
}

State Look(const Row &row, const std::string &path, const std::string &bytes, long long size, struct stat *info)
{
    const bool exists = lstat(path.c_str(), info) == 0;
    if (row.file == File::Missing || row.file == File::Directory)
        return exists == (row.file == File::Directory) && (!exists || S_ISDIR(info->st_mode)) ? State::AsItWas
                                                                                             : State::Damaged;
    if (!exists || !S_ISREG(info->st_mode))
        return State::Damaged;
    return FileHolds(path, bytes, size) ? State::AsItWas : FileHolds(path, bytes, row.size) ? State::AsAsked
                                                                                             : State::Damaged;
}
} // namespace

Outcome RunOnce(const Row &row, const std::string &base, const Fault &fault)
{
    static int runs = 0;
    const std::string directory = base + "/" + std::to_string(++runs), path = directory + "/f";
    // The file with holes has its first 1000 bytes written and the rest of its 64 KiB left out.
    const std::string bytes = FilePattern(row.file == File::Mebibyte ? Mi : 1000);
    const long long size = row.file == File::Holes ? 64 * 1024 : static_cast<long long>(bytes.size());
    Outcome run;
    unsigned *counts = SharedCounts();
    if (mkdir(directory.c_str(), 0755) != 0 || !counts || (row.file == File::Directory && mkdir(path.c_str(), 0755)))
        return run;
    if (row.file != File::Missing && row.file != File::Directory) {
        std::ofstream(path, std::ios::binary) << bytes;
        if (truncate(path.c_str(), size) != 0 || (row.file == File::Reserved && ReserveBeyond(path, 2 * Mi) != 0) || (row.flags & AsNobody && !ShareWithNobody("", path)) || !MakeOld(path) ||
            (row.flags & ReadOnly && chmod(path.c_str(), 0444) != 0))
            return run;
    }
    lstat(path.c_str(), &run.before);
    std::fill(counts, counts + PosixCallKinds, 0u);

    ChildSetup setup;
    setup.terminal = row.flags & OnTerminal;
    setup.closedInput = row.flags & NoInput;
    setup.closedError = row.flags & NoError;
    setup.directory = directory;
    setup.user = row.flags & AsNobody ? "nobody" : "";
    setup.fileSizeLimit = row.flags & SizeLimit ? Mi / 2 : -1;
    Child child;
    if (!child.Start(setup, [&] { StartTool(row, fault, counts); }))
        return run;
    // Keys keep coming while the run lasts: whatever the prompt flushes, one after it ends the wait.
    child.Read("", 5000, row.flags & OnTerminal ? "k" : nullptr);
    run.exitCode = child.Wait(1000);
    run.signal = child.signal;
    run.hung = child.hung;
    run.output = child.text;
    std::copy(counts, counts + PosixCallKinds, run.counts);
    const long long appended = row.flags & (Appended | AppendedAtOpen) ? AppendedBytes : 0;
    run.state = Look(row, path, bytes, size + appended, &run.after);
    unlink(path.c_str()); // each mebibyte goes at once; the rest when the row ends
    return run;
}
