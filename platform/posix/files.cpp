// The file calls of the stand-in: one open regular file, locked against every other opener.
#include "platform/posix/handles.h"
#include "platform/posix/posix.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
void SetErrorFromErrno() { SetLastError(PosixErrorCode(errno)); }

bool HasHoles(const struct stat &info)
{
    return S_ISREG(info.st_mode) &&
           static_cast<long long>(info.st_blocks) * 512 < static_cast<long long>(info.st_size);
}

bool Writable(const struct stat &info) { return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0; }

PosixHandle *FileHandle(HANDLE file)
{
    if (file == nullptr || file == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return static_cast<PosixHandle *>(file);
}
} // namespace

DWORD GetFileAttributesA(LPCSTR name)
{
    struct stat info;
    if (stat(name, &info) != 0) {
        SetErrorFromErrno();
        return INVALID_FILE_ATTRIBUTES;
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
    // Only the one way the program opens a file is offered.
    if (access != GENERIC_WRITE || shareMode != 0 || disposition != OPEN_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    struct stat info;
    if (stat(name, &info) != 0) {
        SetErrorFromErrno();
        return INVALID_HANDLE_VALUE;
    }
    // Devices, FIFOs and directories are no files to resize; a FIFO's open could block, too.
    // A file without any write bit is read-only, even for root, as the read-only attribute is.
    if (!S_ISREG(info.st_mode) || !Writable(info)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    int descriptor = open(name, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        SetErrorFromErrno();
        return INVALID_HANDLE_VALUE;
    }
    if (descriptor <= 2) {
        // A closed standard handle must never turn into the file: output would land in it.
        const int moved = fcntl(descriptor, F_DUPFD_CLOEXEC, 3);
        const int error = errno;
        close(descriptor);
        if (moved < 0) {
            errno = error;
            SetErrorFromErrno();
            return INVALID_HANDLE_VALUE;
        }
        descriptor = moved;
    }
    struct stat opened;
    if (fstat(descriptor, &opened) != 0 || !S_ISREG(opened.st_mode) || !Writable(opened)) {
        close(descriptor); // it was swapped for something else after the check
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // No sharing: an exclusive lock, taken without waiting.
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        SetErrorFromErrno();
        close(descriptor);
        return INVALID_HANDLE_VALUE;
    }
    // Back to blocking: the open set no other flag that F_SETFL changes, so 0 clears O_NONBLOCK alone.
    fcntl(descriptor, F_SETFL, 0);
    PosixHandle *handle = static_cast<PosixHandle *>(malloc(sizeof(PosixHandle)));
    if (handle == nullptr) {
        close(descriptor);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    *handle = PosixHandle{descriptor, false, 0, true};
    return handle;
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
    // Linux file systems keep no sparse flag: the handle remembers to extend with a hole.
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
    struct stat info;
    if (fstat(handle->descriptor, &info) != 0) {
        SetErrorFromErrno();
        return FALSE;
    }
    const off_t target = static_cast<off_t>(handle->position);
    const off_t size = info.st_size;
    int result = 0;
    if (target == size)
        return TRUE;
    if (target < size || handle->sparse || HasHoles(info)) {
        result = ftruncate(handle->descriptor, target);
    } else {
        // Without the sparse flag the new range is reserved, as Windows does.
        result = fallocate(handle->descriptor, 0, size, target - size);
        if (result != 0 && (errno == EOPNOTSUPP || errno == ENOSYS))
            result = ftruncate(handle->descriptor, target);
    }
    if (result != 0) {
        const int error = errno;
        // A failed reservation may have grown the file part of the way: put the size back.
        if (ftruncate(handle->descriptor, size) != 0) {
        }
        errno = error;
        SetErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE object)
{
    PosixHandle *handle = FileHandle(object);
    if (handle == nullptr)
        return FALSE;
    const int result = close(handle->descriptor); // drops the lock too
    if (handle->allocated)
        free(handle);
    if (result != 0) {
        SetErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}
