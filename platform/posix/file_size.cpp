// The size steps of the stand-in: the sparse flag, the position and the end of the file, which
// reserves an extension where it fits and changes the size once, never while another process
// can have the file.
#include "platform/posix/handles.h"
#include "platform/posix/posix.h"
#include "platform/posix/system.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {
// The size changes a moment after the look: a lease this close to its break time counts as lost.
constexpr long long LeaseMarginMilliseconds = 100;

// ERROR_SUCCESS when no other process can have opened the file since the open. The system takes a
// lease back once an opener has waited out the lease-break time, and lets it in; an opener still
// waiting finds the new size. Once a break has begun F_GETLEASE tells only the type the lease is
// broken to, so the time since the lease was taken decides.
DWORD NobodyGotIn(const PosixHandle &handle)
{
    if (!handle.leased)
        return ERROR_SUCCESS; // the locks alone guard it, and no system takes them back
    const int type = SystemLeaseState(handle.descriptor);
    if (type == F_WRLCK)
        return ERROR_SUCCESS;
    if (type < 0)
        return PosixErrorCode(errno);
    const int seconds = SystemLeaseBreakSeconds(); // unknown: as if the opener got in
    const long long held = PosixMilliseconds() - handle.leasedAt;
    return seconds >= 0 && held + LeaseMarginMilliseconds < seconds * 1000LL ? ERROR_SUCCESS
                                                                              : ERROR_SHARING_VIOLATION;
}

// Fails the step after the file was touched: the access and modification times go back to what
// the open found (the change time cannot). A caller that does not own the file may not set them.
BOOL Failed(const PosixHandle &handle, DWORD code)
{
    const struct timespec times[2] = {handle.info.st_atim, handle.info.st_mtim};
    SystemFutimens(handle.descriptor, times);
    SetLastError(code);
    return FALSE;
}

// Whether a resize that succeeded left the size asked for: a file system may answer it without
// making it, and the step must not claim a size it did not set.
BOOL Resized(const PosixHandle &handle, off_t length)
{
    struct stat info;
    if (SystemFstat(handle.descriptor, &info) != 0)
        return Failed(handle, PosixErrorCode(errno));
    return info.st_size == length ? TRUE : Failed(handle, ERROR_NOT_SUPPORTED);
}

BOOL SetSize(const PosixHandle &handle, off_t length)
{
    if (SystemFtruncate(handle.descriptor, length) != 0)
        return Failed(handle, PosixErrorCode(errno));
    return Resized(handle, length);
}

// A reservation that failed may have taken part of the range beyond the end: the volume gets it
// back. Some file systems punch no hole there (ext4), others keep blocks past a cut to the same
// size (tmpfs): both are asked.
BOOL Release(const PosixHandle &handle, off_t size, off_t target, DWORD code)
{
    SystemFallocate(handle.descriptor, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, size, target - size);
    SystemFtruncate(handle.descriptor, size);
    return Failed(handle, code);
}

// Without the sparse flag the new range is reserved, as Windows does, but only where it fits:
// beyond the end first, then the size in one call, so that whoever watches the size sees the old
// one or the new one, never one between.
BOOL Reserve(const PosixHandle &handle, off_t size, off_t target)
{
    if (!PosixRoomForReservation(handle, static_cast<unsigned long long>(target - size)))
        return FALSE; // nothing is allocated, so other programs never meet a full disk on our account
    if (SystemFallocate(handle.descriptor, FALLOC_FL_KEEP_SIZE, size, target - size) != 0) {
        if (errno == EOPNOTSUPP || errno == ENOSYS)
            return SetSize(handle, target); // no reservation here: a hole, as the usual tools leave
        return Release(handle, size, target, PosixErrorCode(errno));
    }
    if (SystemFtruncate(handle.descriptor, target) != 0)
        return Release(handle, size, target, PosixErrorCode(errno));
    return Resized(handle, target);
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
    // Marked sparse, a cut and an extension alike leave a hole: the size before does not matter.
    if (handle->sparse)
        return SetSize(*handle, target);
    if (target == now.st_size)
        return TRUE;
    if (target < now.st_size || PosixHasHoles(now))
        return SetSize(*handle, target);
    return Reserve(*handle, now.st_size, target);
}
