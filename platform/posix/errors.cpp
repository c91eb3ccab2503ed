// The stand-in's error state: the last error, the errno table and the message table. Every other
// file of the stand-in sets errors through these; this one calls none of them.
#include "platform/posix/errors.h"
#include "platform/posix/calls.h"

#include <errno.h>
#include <string.h>

namespace {
thread_local DWORD lastError;
} // namespace

DWORD GetLastError(void) { return lastError; }
void SetLastError(DWORD code) { lastError = code; }

DWORD PosixErrorCode(int error)
{
    switch (error) {
    case 0: return ERROR_SUCCESS;
    case ENOTTY: return ERROR_INVALID_FUNCTION; // a control request the file does not take
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ENOKEY: return ERROR_ACCESS_DENIED; // ENOKEY: an encrypted file whose key is not loaded
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EROFS: return ERROR_WRITE_PROTECT;
    case ENODEV: return ERROR_BAD_UNIT;
    case EBADMSG: return ERROR_CRC; // a checksum that does not match what was read
    case EWOULDBLOCK:
    case ETXTBSY:
    case EBUSY: return ERROR_SHARING_VIOLATION;
    case EOPNOTSUPP:
    case ENOSYS: return ERROR_NOT_SUPPORTED;
    // A device or the far end of a network file system that went away.
    case ENXIO:
    case ENOTCONN:
    case ENOLINK:
    case ECONNRESET:
    case ECONNABORTED:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENETDOWN:
    case ENETUNREACH: return ERROR_DEV_NOT_EXIST;
    case EINVAL:
    case EOVERFLOW: return ERROR_INVALID_PARAMETER;
    case EPIPE: return ERROR_BROKEN_PIPE;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case ESPIPE: return ERROR_SEEK_ON_DEVICE;
    case ENOLCK: return ERROR_LOCK_FAILED;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EFBIG: return ERROR_FILE_TOO_LARGE;
    case EINTR: return ERROR_OPERATION_ABORTED; // only a close, which is not retried, reports it
    case EFAULT: return ERROR_NOACCESS;
    case ESTALE: return ERROR_FILE_INVALID; // the file went away on the server
    case ENOMEDIUM: return ERROR_NO_MEDIA_IN_DRIVE;
    case EIO:
    case EREMOTEIO: return ERROR_IO_DEVICE;
    case EUCLEAN: return ERROR_FILE_CORRUPT; // the file system found itself damaged
    case ETIMEDOUT: return ERROR_TIMEOUT;
    case ELOOP: return ERROR_CANT_RESOLVE_FILENAME;
    default: return ERROR_GEN_FAILURE;
    }
}

void PosixSetErrorFromErrno() { SetLastError(PosixErrorCode(errno)); }

namespace {
struct Message {
    DWORD code;
    const char *text;
};

const Message MessageTable[] = {
    {ERROR_INVALID_FUNCTION, "Incorrect function."},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
    {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_INVALID_HANDLE, "The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
    {ERROR_WRITE_PROTECT, "The media is write protected."},
    {ERROR_BAD_UNIT, "The system cannot find the device specified."},
    {ERROR_CRC, "Data error (cyclic redundancy check)."},
    {ERROR_GEN_FAILURE, "A device attached to the system is not functioning."},
    {ERROR_WRONG_DISK, "The wrong diskette is in the drive. Insert %2 (Volume Serial Number: %3) into drive %1."},
    {ERROR_SHARING_VIOLATION, "The process cannot access the file because it is being used by another process."},
    {ERROR_NOT_SUPPORTED, "The request is not supported."},
    {ERROR_DEV_NOT_EXIST, "The specified network resource or device is no longer available."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_BROKEN_PIPE, "The pipe has been ended."},
    {ERROR_DISK_FULL, "There is not enough space on the disk."},
    {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
    {ERROR_NEGATIVE_SEEK, "An attempt was made to move the file pointer before the beginning of the file."},
    {ERROR_SEEK_ON_DEVICE, "The file pointer cannot be set on the specified device or file."},
    {ERROR_LOCK_FAILED, "Unable to lock a region of a file."},
    {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long."},
    {ERROR_FILE_TOO_LARGE, "The file size exceeds the limit allowed and cannot be saved."},
    {ERROR_OPERATION_ABORTED, "The I/O operation has been aborted because of either a thread exit or an application request."},
    {ERROR_NOACCESS, "Invalid access to memory location."},
    {ERROR_FILE_INVALID, "The volume for a file has been externally altered so that the opened file is no longer valid."},
    {ERROR_NO_MEDIA_IN_DRIVE, "No media in drive."},
    {ERROR_IO_DEVICE, "The request could not be performed because of an I/O device error."},
    {ERROR_FILE_CORRUPT, "The file or directory is corrupted and unreadable."},
    {ERROR_TIMEOUT, "This operation returned because the timeout period expired."},
    {ERROR_CANT_RESOLVE_FILENAME, "The name of the file cannot be resolved by the system."},
};

} // namespace

LPCSTR PosixMessageText(DWORD code)
{
    for (const Message &message : MessageTable)
        if (message.code == code)
            return message.text;
    return nullptr;
}

DWORD FormatMessageA(DWORD flags, const void *, DWORD code, DWORD, LPSTR buffer, DWORD, va_list *)
{
    const DWORD expected = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM;
    if ((flags & expected) != expected || buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // The one message in use at a time lives in static storage; a text too long for it is cut.
    static char message[2048];
    const size_t length = PosixSystem.Message(code, message, sizeof message);
    if (length == 0) {
        SetLastError(317); // ERROR_MR_MID_NOT_FOUND, as the system answers
        return 0;
    }
    // No arguments are ever handed over: a text with inserts comes as written, or not at all.
    if ((flags & FORMAT_MESSAGE_IGNORE_INSERTS) == 0 && strchr(message, '%') != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    *reinterpret_cast<LPSTR *>(buffer) = message;
    return static_cast<DWORD>(length);
}

// The system's text for the code with its CR LF, cut to the room; 0 where it has none.
size_t PosixRealMessage(DWORD code, char *message, size_t room)
{
    const LPCSTR text = PosixMessageText(code);
    if (text == nullptr)
        return 0;
    const size_t length = strlen(text) < room - 3 ? strlen(text) : room - 3;
    memcpy(message, text, length);
    memcpy(message + length, "\r\n", 3);
    return length + 2;
}

// Nothing to release: FormatMessageA's text is static.
HLOCAL LocalFree(HLOCAL) { return nullptr; }
