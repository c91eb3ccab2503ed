// Process calls of the stand-in: the command line, the working directory, the end.
#include "platform/posix/errors.h"
#include "platform/posix/posix.h"
#include "platform/posix/system.h"

#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

namespace {
// Room for any line the program accepts and more: a longer one is cut, and still too long for it.
char commandLine[4096];
// The wide form, as the system keeps it beside the 8-bit one.
WCHAR wideCommandLine[sizeof commandLine];

// Appends the bytes while they fit, leaving room for the terminating zero.
char *Append(char *end, const char *bytes, size_t length)
{
    const size_t room = static_cast<size_t>(commandLine + sizeof commandLine - 1 - end);
    const size_t n = length < room ? length : room;
    memcpy(end, bytes, n);
    return end + n;
}
} // namespace

bool PosixComposeCommandLine(int argc, char **argv)
{
    const char *const slash = argc > 0 ? strrchr(argv[0], '/') : nullptr;
    auto entry = [&](int i) -> const char * { return i == 0 && slash ? slash + 1 : argv[i]; };
    for (int i = 0; i < argc; ++i)
        if (strchr(entry(i), '"'))
            return false;
    char *end = commandLine;
    for (int i = 0; i < argc; ++i) {
        const char *const argument = entry(i);
        // Whatever would split the argument, Windows' way, is quoted: a space or a tab.
        const bool quote = argument[0] == '\0' || strchr(argument, ' ') || strchr(argument, '\t');
        if (i > 0)
            end = Append(end, " ", 1);
        if (quote)
            end = Append(end, "\"", 1);
        end = Append(end, argument, strlen(argument));
        if (quote)
            end = Append(end, "\"", 1);
    }
    *end = '\0';
    return true;
}

LPSTR GetCommandLineA(void) { return commandLine; }

// The 8-bit line widened in the process's code page.
LPWSTR PosixRealWideCommandLine()
{
    MultiByteToWideChar(CP_ACP, 0, GetCommandLineA(), -1, wideCommandLine, sizeof commandLine);
    return wideCommandLine;
}

LPWSTR GetCommandLineW(void) { return PosixSystem.WideCommandLine(); }

void ExitProcess(unsigned int exitCode)
{
    PosixFlushConsole();
    fflush(nullptr);
    PosixLetSignalsIn(); // a signal held back until now ends the process by itself
    _exit(static_cast<int>(exitCode));
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
        PosixSetErrorFromErrno();
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
