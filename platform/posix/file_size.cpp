// The size steps of the stand-in: the sparse flag, the position and the end of the file, which
// reserves an extension where it fits and changes the size once, never while another process
// can have the file.
#include "platform/posix/beyond_end.h"
#include "platform/posix/errors.h"
#include "platform/posix/handles.h"
#include "platform/posix/system.h"
#include "platform/posix/volumes.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {
// The size changes a moment after the look: a lease this close to its break time counts as lost.
constexpr long long LeaseMarginMilliseconds = 100;
// The kernel turns the break time into clock ticks in an int (seconds times HZ); at up to 1000
// ticks a second, a longer time may overflow into one that has passed at once.
constexpr long TrustedBreakSeconds = 2147483647L / 1000;

// ERROR_SUCCESS when no other process can have opened the file since the open. The system takes a
// lease back once an opener has waited out the lease-break time, and lets it in; an opener still
// waiting finds the new size. Once a break has begun F_GETLEASE tells only the type the lease is
// broken to, so the time since the lease was taken decides. Asked before every change.
DWORD NobodyGotIn(const PosixHandle &handle)
{
    if (!handle.leased)
        return ERROR_SUCCESS; // the locks alone guard it, and no system takes them back
    const int type = SystemLeaseState(handle.descriptor);
    if (type == F_WRLCK)
        return ERROR_SUCCESS;
    if (type < 0)
        return PosixErrorCode(errno);
    long seconds = 0;
    if (SystemLeaseBreakSeconds(&seconds) != 0 || seconds > TrustedBreakSeconds)
        return ERROR_SHARING_VIOLATION; // unknown, or a time the kernel may not keep: as if it got in
    if (seconds <= 0)
        return ERROR_SUCCESS; // the kernel never breaks it: the opener waits for the close
    const long long held = PosixMilliseconds() - handle.leasedAt;
    return held + LeaseMarginMilliseconds < seconds * 1000LL ? ERROR_SUCCESS : ERROR_SHARING_VIOLATION;
}

} // namespace

bool PosixStillOurs(const PosixHandle &handle, DWORD *code)
{
    const DWORD alone = NobodyGotIn(handle);
    if (alone == ERROR_SUCCESS)
        return true;
    if (alone == ERROR_SHARING_VIOLATION)
        *code = alone;
    return false;
}

namespace {
// Puts the access and modification times back where the open found them (the change time cannot
// go back), for a failed step that left the file's size and bytes as they were. Only under the
// lease: with the locks alone another process may have written the same size meanwhile, and whoever
// trusts the times must see that change. A caller that does not own the file may not set them.
void PutTimesBack(const PosixHandle &handle, DWORD *code)
{
    if (!handle.leased || !PosixStillOurs(handle, code))
        return;
    const struct timespec times[2] = {handle.info.st_atim, handle.info.st_mtim};
    SystemFutimens(handle.descriptor, times);
}

// Fails the step and puts the times back where nothing changed. A resize that failed may still
// have taken effect: the size is asked, where it is not known to have changed.
BOOL FailPuttingTimesBack(const PosixHandle &handle, DWORD code, bool changed = false)
{
    struct stat info;
    if (!changed && handle.leased && SystemFstat(handle.descriptor, &info) == 0 &&
        info.st_size == handle.info.st_size)
        PutTimesBack(handle, &code);
    SetLastError(code);
    return FALSE;
}

// Whether a resize from size that succeeded left the size asked for: a file system may answer it
// without making it, and the step must not claim a size it did not set.
BOOL Resized(const PosixHandle &handle, off_t length, off_t size)
{
    struct stat info;
    if (SystemFstat(handle.descriptor, &info) != 0)
        return FailPuttingTimesBack(handle, PosixErrorCode(errno), length != size);
    return info.st_size == length ? TRUE : FailPuttingTimesBack(handle, ERROR_NOT_SUPPORTED, info.st_size != size);
}

BOOL SetSize(const PosixHandle &handle, off_t length, off_t size)
{
    if (SystemFtruncate(handle.descriptor, length) != 0)
        return FailPuttingTimesBack(handle, PosixErrorCode(errno));
    return Resized(handle, length, size);
}

// A reservation that failed may have taken part of the range beyond the end: the volume gets back
// what this run took, while nobody else can have changed the file.
BOOL Release(const PosixHandle &handle, const struct stat &seen, off_t target, const PosixBeyondEnd &before,
             DWORD code)
{
    if (PosixGiveBack(handle, seen, target, before, &code))
        PutTimesBack(handle, &code);
    SetLastError(code);
    return FALSE;
}

// Without the sparse flag the new range is reserved, as Windows does, but only where it fits:
// beyond the end first, then the size in one call, so that whoever watches the size sees the old
// one or the new one, never one between. The reservation can take long enough for another opener
// to wait out the lease: the lease is asked again before the size changes.
BOOL Reserve(const PosixHandle &handle, const struct stat &now, off_t target)
{
    const off_t size = now.st_size;
    PosixBeyondEnd before;
    PosixFindBeyondEnd(handle, now, &before);
    // Only what is not reserved yet needs room; nothing is allocated where it does not fit, so
    // other programs never meet a full disk on our account.
    if (!PosixRoomForReservation(handle, static_cast<unsigned long long>(
                                             target - size - PosixReservedWithin(before, size, target))))
        return FALSE;
    if (SystemFallocate(handle.descriptor, FALLOC_FL_KEEP_SIZE, size, target - size) != 0) {
        if (errno == EOPNOTSUPP || errno == ENOSYS)
            return SetSize(handle, target, size); // no reservation here: a hole, as the usual tools leave
        return Release(handle, now, target, before, PosixErrorCode(errno));
    }
    const DWORD alone = NobodyGotIn(handle);
    if (alone != ERROR_SUCCESS) {
        SetLastError(alone); // the reservation stays with the file: it is no longer ours to touch
        return FALSE;
    }
    if (SystemFtruncate(handle.descriptor, target) != 0)
        return Release(handle, now, target, before, PosixErrorCode(errno));
    return Resized(handle, target, size);
}

// The size step itself; SetEndOfFile lets the requests to end in after it.
BOOL Resize(PosixHandle *handle)
{
    const off_t target = static_cast<off_t>(handle->position);
    // Right before the size changes: a process that got the file meanwhile may have mapped it.
    const DWORD alone = NobodyGotIn(*handle);
    if (alone != ERROR_SUCCESS) {
        SetLastError(alone);
        return FALSE;
    }
    // Under the lease nobody can have changed the file since the open; otherwise it is asked.
    struct stat now = handle->info;
    if (!handle->infoUpToDate && SystemFstat(handle->descriptor, &now) != 0) {
        PosixSetErrorFromErrno();
        return FALSE;
    }
    handle->infoUpToDate = false; // whatever happens now, the size may differ from what was seen
    // A request to end that came before anything changed cancels the run: letting it in ends the
    // process by that signal, the file as it was. One that the caller has the process ignore (as
    // nohup does) ends nothing: the requests are held again, and the step goes on.
    if (SystemEndingSignalPending() == 1) {
        SystemLetSignalsIn();
        PosixBlockSignals();
    }
    // Marked sparse, a cut and an extension alike leave a hole: the size before does not matter.
    if (handle->sparse)
        return SetSize(*handle, target, now.st_size);
    if (target == now.st_size)
        return TRUE;
    if (target < now.st_size || PosixHasHoles(now))
        return SetSize(*handle, target, now.st_size);
    return Reserve(*handle, now, target);
}
} // namespace

BOOL DeviceIoControl(HANDLE file, DWORD code, LPVOID, DWORD, LPVOID, DWORD, LPDWORD returned,
                     LPOVERLAPPED)
{
    PosixHandle *handle = PosixFileHandle(file);
    if (handle == nullptr)
        return FALSE;
    // Linux file systems keep no sparse flag, only holes; FAT and exFAT cannot keep those, and
    // answer as Windows does on FAT.
    if (code != FSCTL_SET_SPARSE || PosixKeepsNoHoles(handle->volumeType)) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    // The handle remembers to extend with a hole.
    handle->sparse = true;
    if (returned)
        *returned = 0;
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distanceLow, PLONG distanceHigh, DWORD origin)
{
    PosixHandle *handle = PosixFileHandle(file);
    if (handle == nullptr)
        return INVALID_SET_FILE_POINTER;
    if (origin != FILE_BEGIN) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    const long long position =
        distanceHigh ? static_cast<long long>((static_cast<ULONGLONG>(static_cast<DWORD>(*distanceHigh)) << 32) |
                                              static_cast<DWORD>(distanceLow))
                     : static_cast<long long>(distanceLow);
    if (position < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    handle->position = position;
    if (distanceHigh)
        *distanceHigh = static_cast<LONG>(static_cast<DWORD>(static_cast<ULONGLONG>(position) >> 32));
    return static_cast<DWORD>(static_cast<ULONGLONG>(position));
}

BOOL SetEndOfFile(HANDLE file)
{
    PosixHandle *handle = PosixFileHandle(file);
    if (handle == nullptr)
        return FALSE;
    const BOOL done = Resize(handle);
    PosixLetSignalsIn(); // done or undone: a request to end that came meanwhile ends the process now
    return done;
}
