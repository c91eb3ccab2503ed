// The seam between the stand-in and the operating system: every call counted, any one failable.
#include "platform/posix/system.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <termios.h>
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
    int signal;
} interruption;

// How the fault meets a call: not at all, instead of it, or after it did its work.
enum class Meets { Not, Instead, After };

// Counts the call and tells how the fault meets it.
Meets Counted(PosixCall call)
{
    const unsigned count = ++counts[call];
    if (interruption.at != 0 && interruption.call == call && count == interruption.at)
        raise(interruption.signal);
    if (fault.at == 0 || fault.call != call || count < fault.at ||
        (count > fault.at && fault.how != PosixFault::FromThenOn))
        return Meets::Not;
    return fault.how == PosixFault::AfterTheWork ? Meets::After : Meets::Instead;
}

// Makes the call as the fault meets it; failed is what the call answers on failure, with errno set.
template <typename Value, typename Call> auto Made(Meets meets, Value failed, Call call) -> decltype(call())
{
    if (meets == Meets::Instead) {
        errno = fault.error;
        return failed;
    }
    const auto result = call();
    if (meets == Meets::After) {
        errno = fault.error;
        return failed;
    }
    return result;
}

// Runs the call until a signal no longer interrupts it; each try is a call of its own. An injected
// EINTR goes the way of a real one.
template <typename Call> auto Retried(PosixCall kind, Call call) -> decltype(call())
{
    for (;;) {
        const auto result = Made(Counted(kind), -1, call);
        if (result >= 0 || errno != EINTR)
            return result;
    }
}
// Reads the whole small file as one call of the kind: open, reads to its end or the buffer's, close.
ssize_t SystemReadKernelFileAs(PosixCall kind, const char *name, char *buffer, size_t size)
{
    return Retried(kind, [&]() -> ssize_t {
        const int file = open(name, O_RDONLY | O_CLOEXEC);
        if (file < 0)
            return -1;
        size_t filled = 0;
        ssize_t n = 0;
        while (filled + 1 < size && (n = read(file, buffer + filled, size - 1 - filled)) > 0)
            filled += static_cast<size_t>(n);
        const int error = errno;
        close(file);
        buffer[filled] = '\0';
        errno = error;
        return n < 0 ? -1 : static_cast<ssize_t>(filled);
    });
}
} // namespace

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

void PosixSignalBefore(PosixCall call, unsigned nth, int signal)
{
    interruption = {call, nth == 0 ? 0 : counts[call] + nth, signal};
}

long long PosixMilliseconds()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000 + clockJump;
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
        const Meets meets = Counted(PosixCallFallocate);
        const off_t done = meets == Meets::After ? length / 2 : length;
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
    const Meets meets = Counted(PosixCallClose);
    return Made(meets == Meets::Not ? meets : Meets::After, -1, [&] { return close(descriptor); });
}

ssize_t SystemWrite(int descriptor, const void *bytes, size_t length)
{
    return Retried(PosixCallWrite, [&] { return write(descriptor, bytes, length); });
}

ssize_t SystemRead(int descriptor, void *bytes, size_t length)
{
    return Retried(PosixCallRead, [&] { return read(descriptor, bytes, length); });
}

int SystemIsatty(int descriptor)
{
    // isatty answers 0 and sets errno on failure, as a descriptor that is no terminal does.
    return Made(Counted(PosixCallIsatty), 0, [&] { return isatty(descriptor); });
}

int SystemTcgetattr(int descriptor, struct termios *settings)
{
    return Retried(PosixCallTcgetattr, [&] { return tcgetattr(descriptor, settings); });
}

int SystemTcsetattr(int descriptor, const struct termios *settings)
{
    return Retried(PosixCallTcsetattr, [&] { return tcsetattr(descriptor, TCSANOW, settings); });
}

int SystemTcflush(int descriptor)
{
    return Retried(PosixCallTcflush, [&] { return tcflush(descriptor, TCIFLUSH); });
}

char *SystemGetcwd(char *buffer, size_t size)
{
    // No signal interrupts it.
    return Made(Counted(PosixCallGetcwd), static_cast<char *>(nullptr), [&] { return getcwd(buffer, size); });
}

int SystemLeaseState(int descriptor)
{
    const int type = Retried(PosixCallLeaseState, [&] { return fcntl(descriptor, F_GETLEASE); });
    if (type < 0 || leaseLostAt == 0 || counts[PosixCallLeaseState] < leaseLostAt)
        return type;
    clockJump = 1LL << 40; // the opener has waited out any break time
    return F_UNLCK;
}

int SystemLeaseBreakSeconds(long *seconds)
{
    char digits[24] = "";
    const ssize_t n = SystemReadKernelFileAs(PosixCallLeaseBreakTime, "/proc/sys/fs/lease-break-time", digits,
                                             sizeof digits);
    if (n < 0)
        return -1;
    char *end = nullptr;
    errno = 0;
    *seconds = strtol(digits, &end, 10);
    if (end == digits || errno != 0) {
        errno = EINVAL;
        return -1;
    }
    return 0;
}

ssize_t SystemReadKernelFile(const char *name, char *buffer, size_t size)
{
    return SystemReadKernelFileAs(PosixCallKernelFile, name, buffer, size);
}

int SystemLetSignalsIn()
{
    return Made(Counted(PosixCallSignalMask), -1, [] {
        sigset_t ending;
        sigemptyset(&ending);
        sigaddset(&ending, SIGINT);
        sigaddset(&ending, SIGTERM);
        sigaddset(&ending, SIGHUP);
        sigaddset(&ending, SIGQUIT);
        return sigprocmask(SIG_UNBLOCK, &ending, nullptr);
    });
}

int SystemFutimens(int descriptor, const struct timespec times[2])
{
    return Retried(PosixCallFutimens, [&] { return futimens(descriptor, times); });
}

int SystemHasCapability(int capability)
{
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (Made(Counted(PosixCallCapget), -1L, [&] { return syscall(SYS_capget, &header, data); }) != 0)
        return -1;
    return (data[capability / 32].effective >> (capability % 32) & 1) != 0;
}

pid_t SystemSessionLeader(int descriptor)
{
    return Made(Counted(PosixCallSessionLeader), pid_t{-1}, [&] {
        const pid_t leader = tcgetsid(descriptor);
        return leader > 0 ? leader : getsid(0);
    });
}
