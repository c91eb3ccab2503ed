#include "console/console.h"
#include "platform/posix/posix.h"
#include "platform/posix/seams.h"

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
    EXPECT_EQ(TextFor(7), "unknown error 7");
    EXPECT_EQ(TextFor(0xFFFFFFFF), "unknown error 4294967295");
}

TEST(PosixErrorCode, Table)
{
    const struct {
        int error;
        DWORD code;
    } cases[] = {
        {0, 0},          {ENOENT, 2},     {ENOTDIR, 3},       {EMFILE, 4},     {ENFILE, 4},
        {EACCES, 5},     {EPERM, 5},      {EISDIR, 5},        {EROFS, 19},     {EWOULDBLOCK, 32},
        {ETXTBSY, 32},   {EBUSY, 32},     {EOPNOTSUPP, 50},   {EINVAL, 87},    {EOVERFLOW, 87},
        {ENOSPC, 112},   {EDQUOT, 112},   {ENAMETOOLONG, 206}, {EFBIG, 223},   {EIO, 1117},
        {ELOOP, 1921},   {EXDEV, 31},     {ENOMEM, 8},        {12345, 31},     {ENOTTY, 1},
        {ENOKEY, 5},     {EBADF, 6},      {ENODEV, 20},       {EBADMSG, 23},   {ENOSYS, 50},
        {ENXIO, 55},     {ENOTCONN, 55},  {ECONNRESET, 55},   {EPIPE, 109},    {ESPIPE, 132},
        {ENOLCK, 167},   {EINTR, 995},    {EFAULT, 998},      {ESTALE, 1006},  {ENOMEDIUM, 1112},
        {EREMOTEIO, 1117}, {EUCLEAN, 1392}, {ETIMEDOUT, 1460},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(PosixErrorCode(c.error), c.code) << "errno " << c.error;
        // Every code the stand-in reports has a text of its own.
        EXPECT_TRUE(c.code == 0 || PosixMessageText(c.code) != nullptr) << "no text for " << c.code;
    }
}
} // namespace
