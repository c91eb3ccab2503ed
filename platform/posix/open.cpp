// The exclusive open of the stand-in: one regular file that no other process may use meanwhile,
// and the name calls that lead to it.
#include "platform/posix/errors.h"
#include "platform/posix/handles.h"
#include "platform/posix/system.h"
#include "platform/posix/volumes.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>

namespace {
// The program opens one file; like every other resource of the stand-in, its handle is static.
PosixHandle fileHandle;
bool fileOpen;

// The name the last attribute query looked at, and what it saw there: the open that follows it
// uses that instead of asking again, and a query after the open is answered from the handle. Worth
// its global: without it every run makes two more stat calls (31 for a cut instead of 29).
struct {
    char name[PATH_MAX];
    struct stat info;
    bool valid;
} lastLook;

// How often a lease refused for another opener is asked for again, a millisecond apart. The loser
// of a race closes its descriptor a few system calls after its open, unless it is preempted; on a
// loaded machine that took up to 4 ms. A file that another process really holds is refused after
// these 8 ms.
constexpr int LeaseRetries = 8;

bool Writable(const struct stat &info) { return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0; }

bool LookedAt(LPCSTR name) { return lastLook.valid && strcmp(lastLook.name, name) == 0; }

// Refuses the open: the error is set, the descriptor closed.
HANDLE Refuse(int descriptor, DWORD code)
{
    SetLastError(code);
    SystemClose(descriptor);
    return INVALID_HANDLE_VALUE;
}

DWORD CodeFromErrno() { return PosixErrorCode(errno); }

// Keeps every other process off the file, as share mode 0 does on Windows; ERROR_SUCCESS, or why
// not. The flock decides between two runs that opened the file at one moment: the loser is refused
// at once and closes its descriptor. A write lease is refused while any other open file
// description refers to the file, and makes a later opener wait until it is released.
DWORD ShutOutOtherOpeners(PosixHandle *handle)
{
    const int descriptor = handle->descriptor;
    if (SystemFlock(descriptor, LOCK_EX | LOCK_NB) != 0)
        return CodeFromErrno(); // EWOULDBLOCK: another holder
    for (int retry = 0;; ++retry) {
        handle->leased = SystemLease(descriptor, F_WRLCK) == 0;
        if (handle->leased || errno != EAGAIN)
            break;
        if (retry == LeaseRetries)
            return ERROR_SHARING_VIOLATION; // another opener that stays
        Sleep(1);
    }
    // Held, the lease proves that no other open file description exists, so no process can hold
    // a lock of any kind, and a later opener must wait: no record lock is needed.
    if (handle->leased) {
        handle->leasedAt = PosixMilliseconds();
        return ERROR_SUCCESS;
    }
    if (errno != EACCES && errno != EINVAL && errno != EOPNOTSUPP && errno != ENOSYS)
        return CodeFromErrno();
    // Not the owner, or no leases here: says nothing about other openers; the locks guard alone.
    struct flock whole = {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (SystemRecordLock(descriptor, &whole) != 0)
        return errno == EACCES ? ERROR_SHARING_VIOLATION : CodeFromErrno();
    return ERROR_SUCCESS;
}

// The volume of the file really opened, whatever the name led to a moment before: it decides the
// pseudo-file rule again, and its figures serve the sparse request and the room check.
DWORD TakeVolume(PosixHandle *handle)
{
    struct statfs volume;
    if (SystemFstatfs(handle->descriptor, &volume) != 0)
        return CodeFromErrno();
    if (PosixStoresNoData(volume.f_type))
        return ERROR_ACCESS_DENIED;
    handle->volumeType = volume.f_type;
    handle->totalUnits = volume.f_blocks;
    handle->freeUnits = volume.f_bavail;
    handle->reserveUnits = volume.f_bfree;
    handle->unit = static_cast<unsigned long long>(volume.f_frsize ? volume.f_frsize : volume.f_bsize);
    return ERROR_SUCCESS;
}
} // namespace

PosixHandle *PosixFileHandle(HANDLE file)
{
    if (file == nullptr || file == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return static_cast<PosixHandle *>(file);
}

bool PosixHasHoles(const struct stat &info)
{
    return S_ISREG(info.st_mode) &&
           static_cast<long long>(info.st_blocks) * 512 < static_cast<long long>(info.st_size);
}

DWORD GetFileAttributesA(LPCSTR name)
{
    struct stat info;
    if (fileOpen && fileHandle.infoUpToDate && LookedAt(name)) {
        // The open file, which no other process can open or change under the lease: no need to ask.
        info = fileHandle.info;
    } else if (SystemStat(name, &info) != 0) {
        PosixSetErrorFromErrno();
        lastLook.valid = false;
        return INVALID_FILE_ATTRIBUTES;
    } else if ((lastLook.valid = strlen(name) < sizeof lastLook.name)) {
        strcpy(lastLook.name, name);
        lastLook.info = info;
    }
    DWORD attributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (!Writable(info))
        attributes |= FILE_ATTRIBUTE_READONLY;
    if (PosixHasHoles(info))
        attributes |= FILE_ATTRIBUTE_SPARSE_FILE;
    return attributes;
}

namespace {
// What the name leads to before anything opens it: ERROR_SUCCESS for a writable regular file on a
// volume that stores data, with what the look saw; otherwise the code to refuse the open with.
DWORD LookBeforeTheOpen(LPCSTR name, struct stat *info)
{
    if (LookedAt(name)) {
        *info = lastLook.info;
    } else if (SystemStat(name, info) != 0) {
        return CodeFromErrno();
    }
    // Devices, FIFOs and directories are no files to resize; a FIFO's open could block, too.
    // A file without any write bit is read-only, even for root, as the read-only attribute is.
    if (!S_ISREG(info->st_mode) || !Writable(*info))
        return ERROR_ACCESS_DENIED;
    // A pseudo-file is refused as a device is, before an open could set anything off there.
    struct statfs volume;
    if (SystemStatfs(name, &volume) != 0)
        return CodeFromErrno();
    return PosixStoresNoData(volume.f_type) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

// Opens the name for writing, on a descriptor above the standard ones; -1 with the error set.
int OpenAboveTheStandardDescriptors(LPCSTR name)
{
    // Without waiting: a file that another process holds under a lease is refused at once.
    const int descriptor = SystemOpen(name, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        PosixSetErrorFromErrno();
        return -1;
    }
    if (descriptor > 2)
        return descriptor;
    // A closed standard handle must never turn into the file: output would land in it.
    const int moved = SystemDuplicate(descriptor, 3);
    const DWORD code = CodeFromErrno();
    SystemClose(descriptor);
    if (moved < 0)
        SetLastError(code);
    return moved;
}
} // namespace

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD, HANDLE)
{
    // Only the one way the program opens a file is offered, and only one file at a time.
    if (access != GENERIC_WRITE || shareMode != 0 || disposition != OPEN_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (fileOpen) {
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return INVALID_HANDLE_VALUE;
    }
    struct stat info;
    const DWORD looked = LookBeforeTheOpen(name, &info);
    if (looked != ERROR_SUCCESS) {
        SetLastError(looked);
        return INVALID_HANDLE_VALUE;
    }
    const int descriptor = OpenAboveTheStandardDescriptors(name);
    if (descriptor < 0)
        return INVALID_HANDLE_VALUE;
    PosixHandle handle = PosixDescriptorHandle(descriptor);
    if (SystemFstat(descriptor, &handle.info) != 0)
        return Refuse(descriptor, CodeFromErrno());
    // Swapped for something else after the look, which may lie on another volume: not this file.
    const struct stat &opened = handle.info;
    if (!S_ISREG(opened.st_mode) || !Writable(opened) || opened.st_dev != info.st_dev ||
        opened.st_ino != info.st_ino)
        return Refuse(descriptor, ERROR_ACCESS_DENIED);
    DWORD refusal = TakeVolume(&handle);
    if (refusal == ERROR_SUCCESS)
        refusal = ShutOutOtherOpeners(&handle);
    if (refusal != ERROR_SUCCESS)
        return Refuse(descriptor, refusal);
    // O_NONBLOCK stays: on a regular file it changes nothing.
    handle.infoUpToDate = handle.leased;
    fileHandle = handle;
    fileOpen = true;
    // Later questions about the name are answered from the handle while it is up to date.
    if ((lastLook.valid = strlen(name) < sizeof lastLook.name))
        strcpy(lastLook.name, name);
    return &fileHandle;
}

// Told by what the open's fstat saw, without asking again; the open lets regular files through
// only. Of any other handle (a standard one, never looked at) the type is not known.
DWORD GetFileType(HANDLE file)
{
    const PosixHandle *handle = PosixFileHandle(file);
    const bool disk = handle == &fileHandle && fileOpen && S_ISREG(handle->info.st_mode);
    return disk ? FILE_TYPE_DISK : FILE_TYPE_UNKNOWN;
}

BOOL CloseHandle(HANDLE object)
{
    PosixHandle *handle = PosixFileHandle(object);
    if (handle == nullptr)
        return FALSE;
    const int result = SystemClose(handle->descriptor); // drops the lease and the locks too
    if (handle == &fileHandle)
        fileOpen = lastLook.valid = false;
    if (result != 0) {
        PosixSetErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}
