// Which names lead to a device, and what happens to a name whose full path cannot be had.
#include "command/command.h"
#include "platform/posix/seams.h"

#include <errno.h>

#include <gtest/gtest.h>

namespace {
TEST(IsDevicePath, RefusesEveryDeviceFormAndNoFile)
{
    const struct {
        const char *path;
        bool device;
    } cases[] = {
        {R"(\\.\COM1)", true}, {R"(\\.\pipe\x)", true}, {R"(\\.\nul)", true}, {R"(\\.\PhysicalDrive0)", true},
        {R"(\??\COM1)", true}, {R"(\\?\C:)", true}, {R"(\\?\PhysicalDrive0)", true},
        {R"(\\?\GLOBALROOT\Device\Null)", true}, {R"(\\?\Volume{1234}\f)", true}, {R"(\\?\UNC)", true},
        {R"(\\server\pipe\x)", true}, {R"(\\localhost\PIPE\x)", true}, {R"(\\127.0.0.1\mailslot\x)", true},
        {R"(\\server\pipe)", true}, {R"(\\?\UNC\server\pipe\x)", true}, {R"(\??\unc\server\MailSlot\x)", true},
        {"f", false}, {"dir/f", false}, {"/tmp/f", false}, {"", false}, {"nul", false}, {"COM1.txt", false},
        {R"(C:\f)", false}, {R"(\\?\C:\f)", false}, {R"(\\?\z:\dir\f)", false}, {R"(\??\C:\f)", false},
        {R"(\\?\UNC\server\share\f)", false}, {R"(\\?\Volume{12345678-1234-1234-1234-123456789abc}\f)", false},
        {R"(\\server\share\f)", false}, {R"(\\server\pipes\f)", false}, {R"(\\server\share\pipe\f)", false},
        {R"(\\server)", false}, {R"(\\\pipe\x)", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(IsDevicePath(c.path), c.device) << c.path;
}

TEST(NameRefusal, AsTypedThroughTheFullPathOrWithTheLookupsError)
{
    EXPECT_EQ(NameRefusal("f"), DWORD{ERROR_SUCCESS});
    EXPECT_EQ(NameRefusal(""), DWORD{ERROR_SUCCESS}); // the existence check refuses it
    // The name as typed decides before the full path is asked for, which never shows \??\ .
    PosixFailCall(PosixCallGetcwd, 1, ENOENT);
    EXPECT_EQ(NameRefusal(R"(\??\COM1)"), DWORD{ERROR_ACCESS_DENIED});
    // A name whose full path cannot be had is not opened unchecked: the lookup's error refuses it.
    EXPECT_EQ(NameRefusal("f"), DWORD{ERROR_FILE_NOT_FOUND});
    PosixFailCall(PosixCallGetcwd, 0, 0);
}
} // namespace
