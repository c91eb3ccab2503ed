// The file calls of the stand-in: one open regular file that no other process may use meanwhile.
#include "platform/posix/handles.h"
#include "platform/posix/posix.h"
#include "platform/posix/system.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {
// The program opens one file; like every other resource of the stand-in, its handle is static.
PosixHandle fileHandle;
bool fileOpen;

// The name the last attribute query looked at, and what it saw: the open that follows it uses
// that instead of asking again.
struct {
    char name[PATH_MAX];
    struct stat info;
    bool valid;
} seen;

constexpr long MsdosMagic = 0x4d44;     // vfat and msdos
constexpr long ExfatMagic = 0x2011BAB0;

// Kernel file systems whose files store no data: a resize there is ignored or misread as
// something else (a value written to a setting), so they are no files to resize.
constexpr unsigned int NoDataVolumes[] = {
    0x9fa0,     // proc
    0x62656572, // sysfs
    0x64626720, // debugfs
    0x74726163, // tracefs
    0x73636673, // securityfs
    0x62656570, // configfs
    0x27e0eb,   // cgroup
    0x63677270, // cgroup2
    0x6165676c, // pstore
    0xde5e81e4, // efivarfs
    0xcafe4a11, // bpf
    0x1cd1,     // devpts
    0xf97cff8c, // selinuxfs
    0x43415d53, // smackfs
    0x5a3c69f0, // apparmorfs
    0x42494e4d, // binfmt_misc
    0x6e736673, // nsfs
    0x65735543, // fusectl
    0x19800202, // mqueue
    0x7655821,  // resctrl
    0x9fa2,     // usbdevfs
    0x9fa1,     // openpromfs
    0xabba1974, // xenfs
    0x6c6f6f70, // binderfs
    0x67596969, // rpc_pipefs
    0x6e667364, // nfsd
    0xaee71ee7, // gadgetfs
    0xa647361,  // functionfs
};

// How often a lease refused for another opener is asked for again, a millisecond apart. The loser
// of a race closes its descriptor a few system calls after its open, unless it is preempted; on a
// loaded machine that took up to 4 ms. A file that another process really holds is refused after
// these 8 ms.
constexpr int LeaseRetries = 8;

void SetErrorFromErrno() { SetLastError(PosixErrorCode(errno)); }

bool HasHoles(const struct stat &info)
{
    return S_ISREG(info.st_mode) &&
           static_cast<long long>(info.st_blocks) * 512 < static_cast<long long>(info.st_size);
}

bool Writable(const struct stat &info) { return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0; }

bool SeenName(LPCSTR name) { return seen.valid && strcmp(seen.name, name) == 0; }

PosixHandle *FileHandle(HANDLE file)
{
    if (file == nullptr || file == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return static_cast<PosixHandle *>(file);
}

// Refuses the open: the error is set, the descriptor closed.
HANDLE Refuse(int descriptor, DWORD code)
{
    SetLastError(code);
    SystemClose(descriptor);
    return INVALID_HANDLE_VALUE;
}

DWORD CodeFromErrno() { return PosixErrorCode(errno); }

bool StoresNoData(long volumeType)
{
    for (unsigned int magic : NoDataVolumes)
        if (static_cast<unsigned int>(volumeType) == magic)
            return true;
    return false;
}

// No other process may use the file while its size changes, as share mode 0 means on Windows.
// The flock decides between two runs that opened the file at one moment: the loser is refused at
// once and closes its descriptor. A write lease is refused while any other open file description
// refers to the file, and makes a later opener wait until it is released.
DWORD TakeFileAlone(int descriptor, bool *leased)
{
    if (SystemFlock(descriptor, LOCK_EX | LOCK_NB) != 0)
        return CodeFromErrno(); // EWOULDBLOCK: another holder
    for (int retry = 0;; ++retry) {
        *leased = SystemLease(descriptor, F_WRLCK) == 0;
        if (*leased || errno != EAGAIN)
            break;
        if (retry == LeaseRetries)
            return ERROR_SHARING_VIOLATION; // another opener that stays
        Sleep(1);
    }
    // Held, the lease proves that no other open file description exists, so no process can hold
    // a lock of any kind, and a later opener must wait: no record lock is needed.
    if (*leased)
        return ERROR_SUCCESS;
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

// False, with ERROR_DISK_FULL, when the volume plainly cannot give this caller the bytes: then
// nothing is allocated, so other programs never meet a full disk on the tool's account. The free
// space is the open's: a writer that takes it meanwhile makes the reservation itself fail.
bool RoomForReservation(const PosixHandle &handle, off_t bytes)
{
    const unsigned long long unit = handle.unit, needed = static_cast<unsigned long long>(bytes);
    if (unit != 0 && handle.freeUnits < needed / unit + (needed % unit != 0)) {
        SetLastError(ERROR_DISK_FULL);
        return false;
    }
    return true;
}

// Whether a resize that succeeded left the size asked for: a file system may answer it without
// making it, and the step must not claim a size it did not set.
BOOL SizeTook(int descriptor, off_t length)
{
    struct stat info;
    if (SystemFstat(descriptor, &info) != 0) {
        SetErrorFromErrno();
        return FALSE;
    }
    if (info.st_size != length) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    return TRUE;
}

BOOL Truncate(int descriptor, off_t length)
{
    if (SystemFtruncate(descriptor, length) != 0) {
        SetErrorFromErrno();
        return FALSE;
    }
    return SizeTook(descriptor, length);
}
} // namespace

DWORD GetFileAttributesA(LPCSTR name)
{
    struct stat info;
    if (fileOpen && fileHandle.current && SeenName(name)) {
        // The open file, which no other process can open or change under the lease: no need to ask.
        info = fileHandle.info;
    } else if (SystemStat(name, &info) != 0) {
        SetErrorFromErrno();
        seen.valid = false;
        return INVALID_FILE_ATTRIBUTES;
    } else if ((seen.valid = strlen(name) < sizeof seen.name)) {
        strcpy(seen.name, name);
        seen.info = info;
    }
    DWORD attributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (!Writable(info))
        attributes |= FILE_ATTRIBUTE_READONLY;
    if (HasHoles(info))
        attributes |= FILE_ATTRIBUTE_SPARSE_FILE;
    return attributes;
}

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
    if (SeenName(name)) {
        info = seen.info;
    } else if (SystemStat(name, &info) != 0) {
        SetErrorFromErrno();
        return INVALID_HANDLE_VALUE;
    }
    // Devices, FIFOs and directories are no files to resize; a FIFO's open could block, too.
    // A file without any write bit is read-only, even for root, as the read-only attribute is.
    if (!S_ISREG(info.st_mode) || !Writable(info)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // A pseudo-file is refused as a device is, before an open could set anything off there. What
    // the volume tells serves the sparse request and the room check as well.
    struct statfs volume;
    if (SystemStatfs(name, &volume) != 0) {
        SetErrorFromErrno();
        return INVALID_HANDLE_VALUE;
    }
    if (StoresNoData(volume.f_type)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // Without waiting: a file that another process holds under a lease is refused at once.
    int descriptor = SystemOpen(name, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        SetErrorFromErrno();
        return INVALID_HANDLE_VALUE;
    }
    if (descriptor <= 2) {
        // A closed standard handle must never turn into the file: output would land in it.
        const int moved = SystemDuplicate(descriptor, 3);
        const DWORD code = CodeFromErrno();
        SystemClose(descriptor);
        if (moved < 0) {
            SetLastError(code);
            return INVALID_HANDLE_VALUE;
        }
        descriptor = moved;
    }
    struct stat opened;
    if (SystemFstat(descriptor, &opened) != 0)
        return Refuse(descriptor, CodeFromErrno());
    // Swapped for something else after the look, which may lie on another volume: not this file.
    if (!S_ISREG(opened.st_mode) || !Writable(opened) || opened.st_dev != info.st_dev ||
        opened.st_ino != info.st_ino)
        return Refuse(descriptor, ERROR_ACCESS_DENIED);
    bool leased = false;
    const DWORD alone = TakeFileAlone(descriptor, &leased);
    if (alone != ERROR_SUCCESS)
        return Refuse(descriptor, alone);
    // O_NONBLOCK stays: on a regular file it changes nothing.
    fileHandle = PosixHandle{descriptor, false, 0, leased, opened, volume.f_type, volume.f_bavail,
                             static_cast<unsigned long long>(volume.f_frsize ? volume.f_frsize : volume.f_bsize)};
    fileOpen = true;
    // Later questions about the name are answered from the handle while it is current.
    if ((seen.valid = strlen(name) < sizeof seen.name))
        strcpy(seen.name, name);
    return &fileHandle;
}

BOOL DeviceIoControl(HANDLE file, DWORD code, LPVOID, DWORD, LPVOID, DWORD, LPDWORD returned,
                     LPOVERLAPPED)
{
    PosixHandle *handle = FileHandle(file);
    if (handle == nullptr)
        return FALSE;
    if (code != FSCTL_SET_SPARSE) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    // Linux file systems keep no sparse flag, only holes; FAT and exFAT cannot keep those, and
    // answer as Windows does on FAT.
    if (handle->volumeType == MsdosMagic || handle->volumeType == ExfatMagic) {
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
    PosixHandle *handle = FileHandle(file);
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
    PosixHandle *handle = FileHandle(file);
    if (handle == nullptr)
        return FALSE;
    const off_t target = static_cast<off_t>(handle->position);
    handle->current = false; // whatever happens now, the size may differ from what was seen
    // Marked sparse, a cut and an extension alike leave a hole: the size before does not matter.
    if (handle->sparse)
        return Truncate(handle->descriptor, target);
    struct stat info;
    if (SystemFstat(handle->descriptor, &info) != 0) {
        SetErrorFromErrno();
        return FALSE;
    }
    const off_t size = info.st_size;
    if (target == size)
        return TRUE;
    if (target < size || HasHoles(info))
        return Truncate(handle->descriptor, target);
    // Without the sparse flag the new range is reserved, as Windows does, but only where it fits.
    if (!RoomForReservation(*handle, target - size))
        return FALSE;
    int result = SystemFallocate(handle->descriptor, size, target - size);
    if (result != 0 && (errno == EOPNOTSUPP || errno == ENOSYS))
        result = SystemFtruncate(handle->descriptor, target); // no reservation here: a hole
    else if (result != 0) {
        // Space that ran out meanwhile may have grown the file part of the way: put the size back.
        const int error = errno;
        SystemFtruncate(handle->descriptor, size);
        errno = error;
    }
    if (result != 0) {
        SetErrorFromErrno();
        return FALSE;
    }
    return SizeTook(handle->descriptor, target);
}

BOOL CloseHandle(HANDLE object)
{
    PosixHandle *handle = FileHandle(object);
    if (handle == nullptr)
        return FALSE;
    const int result = SystemClose(handle->descriptor); // drops the lease and the locks too
    if (handle == &fileHandle)
        fileOpen = seen.valid = false;
    if (result != 0) {
        SetErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}

// The name made absolute against the working directory, as it stands: Linux has no drives and no
// reserved device names, and "." and ".." are left to the system, which alone knows the links.
DWORD GetFullPathNameA(LPCSTR name, DWORD room, LPSTR buffer, LPSTR *filePart)
{
    if (name == nullptr || name[0] == '\0') {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    char directory[PATH_MAX] = "";
    if (name[0] != '/' && SystemGetcwd(directory, sizeof directory) == nullptr) {
        SetErrorFromErrno();
        return 0;
    }
    const size_t head = strlen(directory);
    const char *separator = head > 0 && directory[head - 1] != '/' ? "/" : "";
    const size_t length = head + strlen(separator) + strlen(name);
    if (length + 1 > room)
        return static_cast<DWORD>(length + 1); // the room it needs, as the system answers
    strcpy(buffer, directory);
    strcat(buffer, separator);
    strcat(buffer, name);
    if (filePart) {
        char *last = strrchr(buffer, '/');
        *filePart = last && last[1] ? last + 1 : nullptr;
    }
    return static_cast<DWORD>(length);
}
