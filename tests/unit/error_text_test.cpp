#include "console/console.h"
#include "faults.h"
#include "platform/posix/errors.h"
#include "tests/support/seams/seams.h"

#include <errno.h>
#include <string.h>

#include <gtest/gtest.h>

#include <string>

namespace {
// The text GetSystemErrorText makes of a code, with the bytes past the buffer checked untouched.
std::string TextFor(DWORD code)
{
    char buffer[ConsoleBufferRoom + 16];
    memset(buffer, '#', sizeof buffer);
    SetLastError(code);
    GetSystemErrorText(buffer);
    EXPECT_EQ(std::string(buffer + ConsoleBufferRoom, 16), std::string(16, '#')) << "written past";
    return buffer;
}

std::string Letters(size_t length)
{
    std::string text(length, '\0');
    for (size_t i = 0; i < length; ++i)
        text[i] = static_cast<char>('a' + i % 26);
    return text;
}

struct TextCase {
    std::string message; // as the system gives it, line ends and all
    std::string text;    // what the failure line shows
};

TEST(GetSystemErrorText, CutsOneLineEndAtMostAndFitsTheBuffer)
{
    const TextCase cases[] = {
        {"Disk gone.\r\n", "Disk gone."},
        {"Disk gone.\r\n\r\n", "Disk gone.\r\n"},
        {"Disk gone.\n", "Disk gone.\n"},
        {"Disk gone.\r", "Disk gone.\r"},
        {"One.\r\nTwo.", "One.\r\nTwo."},
        {"\r\n", ""},
        {"\n", "\n"},
        {"Caf\xE9 \xFF.\r\n", "Caf\xE9 \xFF."}, // bytes above 0x7F pass as they are
        {Letters(ConsoleBufferRoom - 3) + "\r\n", Letters(ConsoleBufferRoom - 3)},
        {Letters(ConsoleBufferRoom - 2) + "\r\n", Letters(ConsoleBufferRoom - 2)}, // no stray CR
        {Letters(3000), Letters(ConsoleBufferRoom - 1)},
    };
    const DWORD code = 60000; // no table holds it
    for (const TextCase &c : cases) {
        PosixSetMessageText(code, c.message.c_str());
        EXPECT_EQ(TextFor(code), c.text) << c.message;
    }
    PosixSetMessageText(code, nullptr);
    EXPECT_EQ(TextFor(code), "unknown error 60000");
}

TEST(GetSystemErrorText, TableTextsAndCodesWithoutText)
{
    EXPECT_EQ(TextFor(112), "There is not enough space on the disk.");
    // A text with inserts comes as written: no arguments are there to fill them.
    EXPECT_EQ(TextFor(34), "The wrong diskette is in the drive. Insert %2 (Volume Serial Number: %3) into drive %1.");
    EXPECT_EQ(TextFor(7), "unknown error 7");
    EXPECT_EQ(TextFor(0xFFFFFFFF), "unknown error 4294967295");
}

// Every errno that a call of the stand-in can meet shows as a code with a text of its own.
TEST(PosixErrorCode, EveryErrnoTheCallsMeetHasAText)
{
    for (const Kind &kind : Kinds)
        for (int error : kind.errnos)
            EXPECT_NE(PosixMessageText(PosixErrorCode(error)), nullptr) << PosixCallNames[kind.kind] << " " << strerrorname_np(error);
}

// The choices the program's texts rest on.
TEST(PosixErrorCode, DeliberateChoices)
{
    const struct {
        int error;
        DWORD code;
    } cases[] = {
        {0, ERROR_SUCCESS},  {EAGAIN, ERROR_SHARING_VIOLATION}, {EACCES, ERROR_ACCESS_DENIED},
        {EPERM, ERROR_ACCESS_DENIED}, {ENOENT, ERROR_FILE_NOT_FOUND}, {ENOSPC, ERROR_DISK_FULL},
        {EDQUOT, ERROR_DISK_FULL}, {EINTR, ERROR_OPERATION_ABORTED}, {12345, ERROR_GEN_FAILURE},
        {EROFS, ERROR_WRITE_PROTECT}, {EISDIR, ERROR_ACCESS_DENIED}, {EBUSY, ERROR_SHARING_VIOLATION},
        {ETXTBSY, ERROR_SHARING_VIOLATION}, {EOPNOTSUPP, ERROR_NOT_SUPPORTED}, {ENOSYS, ERROR_NOT_SUPPORTED},
        {ENOTTY, ERROR_INVALID_FUNCTION}, {EFBIG, ERROR_FILE_TOO_LARGE}, {EOVERFLOW, ERROR_INVALID_PARAMETER},
        {ENOTDIR, ERROR_PATH_NOT_FOUND}, {EMFILE, ERROR_TOO_MANY_OPEN_FILES}, {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
        {ENOKEY, ERROR_ACCESS_DENIED}, {EBADF, ERROR_INVALID_HANDLE}, {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
        {ENODEV, ERROR_BAD_UNIT}, {EBADMSG, ERROR_CRC}, {EINVAL, ERROR_INVALID_PARAMETER}, {EPIPE, ERROR_BROKEN_PIPE},
        {ESPIPE, ERROR_SEEK_ON_DEVICE}, {ENOLCK, ERROR_LOCK_FAILED}, {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
        {EFAULT, ERROR_NOACCESS}, {ESTALE, ERROR_FILE_INVALID}, {ENOMEDIUM, ERROR_NO_MEDIA_IN_DRIVE},
        {EIO, ERROR_IO_DEVICE}, {EREMOTEIO, ERROR_IO_DEVICE}, {EUCLEAN, ERROR_FILE_CORRUPT},
        {ETIMEDOUT, ERROR_TIMEOUT}, {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
        // A device or the far end of a network file system that went away.
        {ENXIO, ERROR_DEV_NOT_EXIST}, {ENOTCONN, ERROR_DEV_NOT_EXIST}, {ENOLINK, ERROR_DEV_NOT_EXIST},
        {ECONNRESET, ERROR_DEV_NOT_EXIST}, {ECONNABORTED, ERROR_DEV_NOT_EXIST}, {EHOSTDOWN, ERROR_DEV_NOT_EXIST},
        {EHOSTUNREACH, ERROR_DEV_NOT_EXIST}, {ENETDOWN, ERROR_DEV_NOT_EXIST}, {ENETUNREACH, ERROR_DEV_NOT_EXIST},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PosixErrorCode(c.error), c.code) << "errno " << c.error;
}
} // namespace
