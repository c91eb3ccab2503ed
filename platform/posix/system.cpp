// The seam between the stand-in and the operating system: every call counted, any one failable;
// and the clock, which the seam moves on where a test has another opener wait out the lease.
// The calls about the process, its terminal and the kernel's settings are in system_process.cpp.
#include "platform/posix/calls.h"
#include "platform/posix/system.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>

namespace {
unsigned ownCounts[PosixCallKinds];
unsigned *counts = ownCounts;

struct Fault {
    PosixCall call;
    unsigned at; // the count at which the call fails; 0 for none
    int error;
    PosixFault how;
} fault;
long fakeVolumeType;
bool fakeForOpenFileOnly;
bool resizesIgnored;
unsigned leaseLostAt;  // the lease-state count from which the lease reads as broken; 0 for never
long long clockJump;   // milliseconds added to the clock once the lease reads as broken
struct {
    PosixCall call;
    unsigned at; // 0 for none
    void (*action)(int);
    int argument;
} before;
} // namespace

PosixMeets PosixCounted(PosixCall call)
{
    const unsigned count = ++counts[call];
    if (before.at != 0 && before.call == call && count == before.at)
        before.action(before.argument);
    if (fault.at == 0 || fault.call != call || count < fault.at ||
        (count > fault.at && fault.how != PosixFault::FromThenOn))
        return PosixMeets::Not;
    return fault.how == PosixFault::AfterTheWork ? PosixMeets::After : PosixMeets::Instead;
}

int PosixInjectedError() { return fault.error; }

void PosixFailCall(PosixCall call, unsigned nth, int error, PosixFault how)
{
    fault = Fault{call, nth == 0 ? 0 : counts[call] + nth, error, how};
}

void PosixCountCallsInto(unsigned *table) { counts = table ? table : ownCounts; }

void PosixFakeVolumeType(long type, bool openFileOnly)
{
    fakeVolumeType = type;
    fakeForOpenFileOnly = openFileOnly;
}

void PosixIgnoreResizes(bool ignored) { resizesIgnored = ignored; }

void PosixLoseLeaseAt(unsigned nth) { leaseLostAt = nth == 0 ? 0 : counts[PosixCallLeaseState] + nth; }

void PosixRunBefore(PosixCall call, unsigned nth, void (*action)(int), int argument)
{
    before = {call, nth == 0 || action == nullptr ? 0 : counts[call] + nth, action, argument};
}

long long PosixMilliseconds()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000 + clockJump;
}

void Sleep(DWORD milliseconds)
{
    struct timespec rest = {static_cast<time_t>(milliseconds / 1000),
                            static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

int SystemStat(const char *name, struct stat *info)
{
    return Retried(PosixCallStat, [&] { return stat(name, info); });
}

int SystemOpen(const char *name, int flags)
{
    return Retried(PosixCallOpen, [&] { return open(name, flags); });
}

int SystemDuplicate(int descriptor, int lowest)
{
    return Retried(PosixCallDuplicate, [&] { return fcntl(descriptor, F_DUPFD_CLOEXEC, lowest); });
}

int SystemFstat(int descriptor, struct stat *info)
{
    return Retried(PosixCallFstat, [&] { return fstat(descriptor, info); });
}

int SystemLease(int descriptor, int type)
{
    return Retried(PosixCallLease, [&] { return fcntl(descriptor, F_SETLEASE, type); });
}

int SystemFlock(int descriptor, int operation)
{
    return Retried(PosixCallFlock, [&] { return flock(descriptor, operation); });
}

int SystemRecordLock(int descriptor, struct flock *lock)
{
    return Retried(PosixCallRecordLock, [&] { return fcntl(descriptor, F_OFD_SETLK, lock); });
}

int SystemStatfs(const char *name, struct statfs *info)
{
    const int result = Retried(PosixCallStatfs, [&] { return statfs(name, info); });
    if (result == 0 && fakeVolumeType != 0 && !fakeForOpenFileOnly)
        info->f_type = fakeVolumeType;
    return result;
}

int SystemFstatfs(int descriptor, struct statfs *info)
{
    const int result = Retried(PosixCallFstatfs, [&] { return fstatfs(descriptor, info); });
    if (result == 0 && fakeVolumeType != 0)
        info->f_type = fakeVolumeType;
    return result;
}

int SystemFiemap(int descriptor, struct fiemap *map)
{
    return Retried(PosixCallFiemap, [&] { return ioctl(descriptor, FS_IOC_FIEMAP, map); });
}

int SystemFallocate(int descriptor, int mode, off_t offset, off_t length)
{
    for (;;) {
        // A fault after the work leaves half of the range done, as space that runs out midway does.
        const PosixMeets meets = PosixCounted(PosixCallFallocate);
        const off_t done = meets == PosixMeets::After ? length / 2 : length;
        const int result =
            Made(meets, -1, [&] { return resizesIgnored ? 0 : fallocate(descriptor, mode, offset, done); });
        if (result >= 0 || errno != EINTR)
            return result;
    }
}

int SystemFtruncate(int descriptor, off_t length)
{
    return Retried(PosixCallFtruncate, [&] { return resizesIgnored ? 0 : ftruncate(descriptor, length); });
}

int SystemClose(int descriptor)
{
    // As on Linux, a failed close has still released the descriptor.
    const PosixMeets meets = PosixCounted(PosixCallClose);
    return Made(meets == PosixMeets::Not ? meets : PosixMeets::After, -1, [&] { return close(descriptor); });
}

ssize_t SystemWrite(int descriptor, const void *bytes, size_t length)
{
    for (;;) {
        // A fault after the work writes half of the bytes and says so, as a pipe does that a
        // signal interrupts midway.
        const PosixMeets meets = PosixCounted(PosixCallWrite);
        if (meets == PosixMeets::After)
            return write(descriptor, bytes, length > 1 ? length / 2 : length);
        const ssize_t result = Made(meets, -1, [&] { return write(descriptor, bytes, length); });
        if (result >= 0 || errno != EINTR)
            return result;
    }
}

ssize_t SystemRead(int descriptor, void *bytes, size_t length)
{
    return Retried(PosixCallRead, [&] { return read(descriptor, bytes, length); });
}

int SystemLeaseState(int descriptor)
{
    const int type = Retried(PosixCallLeaseState, [&] { return fcntl(descriptor, F_GETLEASE); });
    if (type < 0 || leaseLostAt == 0 || counts[PosixCallLeaseState] < leaseLostAt)
        return type;
    clockJump = 1LL << 40; // the opener has waited out any break time
    return F_UNLCK;
}

int SystemFutimens(int descriptor, const struct timespec times[2])
{
    return Retried(PosixCallFutimens, [&] { return futimens(descriptor, times); });
}

