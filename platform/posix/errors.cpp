// One errno table and one message table, used by every call of the stand-in.
#include "platform/posix/posix.h"

#include <errno.h>
#include <string.h>

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
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {19, "The media is write protected."},
    {20, "The system cannot find the device specified."},
    {23, "Data error (cyclic redundancy check)."},
    {31, "A device attached to the system is not functioning."},
    {32, "The process cannot access the file because it is being used by another process."},
    {50, "The request is not supported."},
    {55, "The specified network resource or device is no longer available."},
    {87, "The parameter is incorrect."},
    {109, "The pipe has been ended."},
    {112, "There is not enough space on the disk."},
    {131, "An attempt was made to move the file pointer before the beginning of the file."},
    {132, "The file pointer cannot be set on the specified device or file."},
    {167, "Unable to lock a region of a file."},
    {206, "The filename or extension is too long."},
    {223, "The file size exceeds the limit allowed and cannot be saved."},
    {995, "The I/O operation has been aborted because of either a thread exit or an application request."},
    {998, "Invalid access to memory location."},
    {1006, "The volume for a file has been externally altered so that the opened file is no longer valid."},
    {1112, "No media in drive."},
    {1117, "The request could not be performed because of an I/O device error."},
    {1392, "The file or directory is corrupted and unreadable."},
    {1460, "This operation returned because the timeout period expired."},
    {1921, "The name of the file cannot be resolved by the system."},
};

DWORD replacedCode = 0;
LPCSTR replacingText = nullptr;
} // namespace

void PosixSetMessageText(DWORD code, LPCSTR text)
{
    replacedCode = code;
    replacingText = text;
}

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
    const bool replaced = replacingText != nullptr && code == replacedCode;
    LPCSTR text = replaced ? replacingText : PosixMessageText(code);
    if (text == nullptr) {
        SetLastError(317); // ERROR_MR_MID_NOT_FOUND, as the system answers
        return 0;
    }
    // The system's texts end in CR LF; a replacing text brings its own line ends.
    const char *lineEnd = replaced ? "" : "\r\n";
    // The one message in use at a time lives in static storage; a text too long for it is cut.
    static char message[2048];
    const size_t room = sizeof message - 3;
    const size_t length = strlen(text) < room ? strlen(text) : room;
    memcpy(message, text, length);
    memcpy(message + length, lineEnd, strlen(lineEnd) + 1);
    *reinterpret_cast<LPSTR *>(buffer) = message;
    return static_cast<DWORD>(length + strlen(lineEnd));
}

// Nothing to release: FormatMessageA's text is static.
HLOCAL LocalFree(HLOCAL) { return nullptr; }
