// What tests make the stand-in's Windows calls answer: a raw command line, a wide one that differs,
// a message's text, a console window, a missing function, a legacy code page. Each replaces an
// entry of the seam's table, and the real one goes back on request.
#include "platform/posix/system.h"
#include "tests/support/seams/seams.h"

#include <string.h>
#include <termios.h>
#include <unistd.h>

namespace {
const PosixCallTable real = PosixSystem;

constexpr size_t LineRoom = 4096; // the stand-in's room for the command line, zero included
WCHAR wideLine[LineRoom];
DWORD replacedCode;
LPCSTR replacingText;
const PosixCodePage *codePage;

LPWSTR WideLine() { return wideLine; }

// The replacing text as it stands, line ends and all, cut to the room the system's texts get.
size_t ReplacedMessage(DWORD code, char *message, size_t room)
{
    if (code != replacedCode)
        return real.Message(code, message, room);
    const size_t length = strlen(replacingText) < room - 3 ? strlen(replacingText) : room - 3;
    memcpy(message, replacingText, length);
    message[length] = '\0';
    return length;
}

// As on Windows: the terminal on standard input, owned by its session's leader, whose id it is.
HWND ShownConsoleWindow()
{
    if (!SystemIsatty(0))
        return nullptr;
    pid_t leader = tcgetsid(0);
    if (leader <= 0)
        leader = getsid(0);
    if (leader <= 0)
        return nullptr;
    return reinterpret_cast<HWND>(static_cast<intptr_t>(leader));
}

FARPROC WithoutStrToInt64ExA(HMODULE module, LPCSTR name)
{
    if (strcmp(name, "StrToInt64ExA") != 0)
        return real.ProcAddress(module, name);
    SetLastError(127); // ERROR_PROC_NOT_FOUND
    return nullptr;
}

BOOL PageLeadsTwoBytes(BYTE byte) { return codePage->leadsTwoBytes(byte); }
int PageWidens(LPCSTR bytes, int length, LPWSTR wide, int room) { return codePage->widen(bytes, length, wide, room); }
} // namespace

void PosixSetCommandLine(LPCSTR line)
{
    char *const buffer = GetCommandLineA(); // the stand-in's own, as the start-up fills it
    const size_t length = strlen(line) < LineRoom - 1 ? strlen(line) : LineRoom - 1;
    memcpy(buffer, line, length);
    buffer[length] = '\0';
}

void PosixSetWideCommandLine(LPCWSTR line)
{
    size_t i = 0;
    for (; line && line[i] && i < LineRoom - 1; ++i)
        wideLine[i] = line[i];
    wideLine[i] = 0;
    PosixSystem.WideCommandLine = line ? WideLine : real.WideCommandLine;
}

void PosixSetMessageText(DWORD code, LPCSTR text)
{
    replacedCode = code;
    replacingText = text;
    PosixSystem.Message = text ? ReplacedMessage : real.Message;
}

void PosixShowConsoleWindow(bool shown) { PosixSystem.ConsoleWindow = shown ? ShownConsoleWindow : real.ConsoleWindow; }

void PosixHideStrToInt64ExA(bool hidden) { PosixSystem.ProcAddress = hidden ? WithoutStrToInt64ExA : real.ProcAddress; }

void PosixSetCodePage(const PosixCodePage *page)
{
    codePage = page;
    PosixSystem.LeadsTwoBytes = page ? PageLeadsTwoBytes : real.LeadsTwoBytes;
    PosixSystem.Widen = page ? PageWidens : real.Widen;
}
