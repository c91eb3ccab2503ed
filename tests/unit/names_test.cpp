// Which names lead to a device, and what happens to a name whose full path cannot be had.
#include "command/command.h"
#include "tests/support/seams/seams.h"
#include "tests/unit/code_pages.h"

#include <errno.h>
#include <string.h>

#include <vector>

#include <gtest/gtest.h>

namespace {
struct PathRow {
    const char *path;
    bool device;
};

TEST(IsDevicePath, RefusesEveryDeviceFormAndNoFile)
{
    const PathRow cases[] = {
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
        // A share's words only after the two separators that start a server's name.
        {R"(\srv\pipe\x)", false}, {R"(srv\mailslot\x)", false}, {R"(C:\pipe\x)", false}, {R"(dir\IPC$\x)", false},
        // Pipe share spellings: dots and spaces, doubled separators, IPC$, ı and ſ (UTF-8, 1254, 949),
        // ? for a character outside the code page, a backslash that may end a double-byte character.
        {R"(\\srv\pipe.\x)", true}, {"\\\\srv\\pipe \\x", true}, {R"(\\srv\MailSlot. .)", true},
        {R"(\\srv\\pipe\x)", true}, {R"(\\\\srv\pipe\x)", true}, {R"(\\?\UNC\\srv\pipe\x)", true},
        {R"(\\srv\IPC$\x)", true}, {R"(\\srv\ipc$.)", true}, {"\\\\srv\\p\xC4\xB1pe\\x", true},
        {"\\\\srv\\mail\xC5\xBFlot\\x", true}, {"\\\\srv\\p\xFDpe\\x", true}, {"\\\\srv\\\xA9\xA5pc$\\x", true},
        {R"(\\srv\p?pe\x)", true}, {"\\\\s\x81\\x\\pipe\\y", true},
        {R"(\\srv\pipex\x)", false}, {R"(\\srv\pipe.x\y)", false}, {R"(\\srv\ipc\x)", false},
        {"\\\\srv\\p\xC4\xB1\xC4\xB1pe\\x", false}, {"\\\\s\\share\\pipe\\x", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(IsDevicePath(c.path), c.device) << c.path;
}

// Reserved on Windows only (NameRefusal applies the rule there); it answers alike on every build.
// The name is read in the process's code page: the same bytes are ¹ in one and a letter in another.
TEST(IsSuperscriptDeviceName, ComAndLptWithSuperscriptDigitsInTheCodePage)
{
    const struct {
        const char *codePage;
        std::vector<PathRow> paths;
    } pages[] = {
        {"UTF-8",
         {{"COM\xC2\xB9", true}, {"lpt\xC2\xB2.txt", true}, {"C:\\dir\\Com\xC2\xB3", true}, {"COM\xC2\xB9:", true},
          {"COM\xC2\xB9 .x", true}, {"COM\xC2\xB9x", false}, {"COM1", false}, {"COM\xC2\xB4", false},
          {"xCOM\xC2\xB9", false}, {"COM\xC2\xB9\\f", false}, {"CON\xC2\xB9", false}, {"COM", false}, {"", false}}},
        {"CP1252", {{"COM\xB9", true}, {"LPT\xB3.log", true}, {"COM\xB2 .x", true}, {"COM\xB9x", false}}},
        // ¹ ² ³ are two bytes in 949; the byte B9 is ą in 1250, № in 1251, น in 874, Ή in 1253.
        {"CP949", {{"COM\xA9\xF6.bin", true}, {"LPT\xA9\xF8", true}, {"com\xA9\xF7 :", true}, {"COM\xA9\xF5", false}}},
        {"CP1250", {{"COM\xB9.bin", false}, {"LPT\xB3", false}, {"COM\xB2", false}}},
        {"CP1251", {{"COM\xB3.bin", false}, {"LPT\xB9.txt", false}}},
        {"CP874", {{"COM\xB9.bin", false}}},
        {"CP1253", {{"COM\xB9", false}, {"COM\xB2", true}}},
        {"CP932", {{"COM\xB9", false}, {"COM\x81\x50", false}}},
    };
    for (const auto &page : pages) {
        const CodePage codePage(page.codePage);
        for (const PathRow &c : page.paths)
            EXPECT_EQ(IsSuperscriptDeviceName(c.path), c.device) << page.codePage << ": " << c.path;
    }
    // On Linux such a name is a file like any other.
    EXPECT_EQ(NameRefusal("COM\xC2\xB9"), DWORD{ERROR_SUCCESS});
}

TEST(NameRefusal, AsTypedThroughTheFullPathOrWithTheLookupsError)
{
    EXPECT_EQ(NameRefusal("f"), DWORD{ERROR_SUCCESS});
    EXPECT_EQ(NameRefusal(""), DWORD{ERROR_SUCCESS}); // the existence check refuses it
    // The name as typed decides before the full path is asked for, which never shows \??\ .
    PosixFailCall(PosixCallGetcwd, 1, ENOENT, PosixFault::FromThenOn);
    EXPECT_EQ(NameRefusal(R"(\??\COM1)"), DWORD{ERROR_ACCESS_DENIED});
    // A name whose full path cannot be had is not opened unchecked: the lookup's error refuses it.
    EXPECT_EQ(NameRefusal("f"), DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(NameRefusal("/tmp/f"), DWORD{ERROR_SUCCESS}) << "an absolute name needs no working directory";
    PosixFailCall(PosixCallGetcwd, 0, 0);
}

// The full path fills its room exactly, terminator included; a byte short, the answer is the
// room it needs and nothing is written.
TEST(GetFullPathNameA, NeverPastItsRoom)
{
    const std::string name = "/dir/f";
    const DWORD length = static_cast<DWORD>(name.size());
    for (DWORD room : {length + 1, length}) {
        char buffer[16];
        memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(GetFullPathNameA(name.c_str(), room, buffer, nullptr), room > length ? length : length + 1);
        const std::string written = room > length ? name + '\0' : "";
        EXPECT_EQ(std::string(buffer, sizeof buffer), written + std::string(sizeof buffer - written.size(), '#'));
    }
}
} // namespace
