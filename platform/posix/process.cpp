// Process, text and number calls of the stand-in.
#include "platform/posix/posix.h"
#include "platform/posix/system.h"

#include <errno.h>
#include <limits.h>

#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <string>

namespace {
// Room for any line the program accepts and more: a longer one is cut, and still too long for it.
char commandLine[4096];
// The wide form, as the system keeps it beside the 8-bit one; a test may make them differ.
WCHAR wideCommandLine[sizeof commandLine];
bool wideCommandLineSet;
thread_local DWORD lastError;
bool strToInt64ExAHidden;

// Appends the bytes while they fit, leaving room for the terminating zero.
char *Append(char *end, const char *bytes, size_t length)
{
    const size_t room = static_cast<size_t>(commandLine + sizeof commandLine - 1 - end);
    const size_t n = length < room ? length : room;
    memcpy(end, bytes, n);
    return end + n;
}
} // namespace

void PosixBlockSignals()
{
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGPIPE);
    sigaddset(&blocked, SIGXFSZ);
    sigaddset(&blocked, SIGIO);
    sigprocmask(SIG_BLOCK, &blocked, nullptr);
}

bool PosixComposeCommandLine(int argc, char **argv)
{
    for (int i = 0; i < argc; ++i)
        if (strchr(argv[i], '"'))
            return false;
    char *end = commandLine;
    for (int i = 0; i < argc; ++i) {
        const bool quote = argv[i][0] == '\0' || strchr(argv[i], ' ') != nullptr;
        if (i > 0)
            end = Append(end, " ", 1);
        if (quote)
            end = Append(end, "\"", 1);
        end = Append(end, argv[i], strlen(argv[i]));
        if (quote)
            end = Append(end, "\"", 1);
    }
    *end = '\0';
    return true;
}

void PosixSetCommandLine(LPCSTR line) { *Append(commandLine, line, strlen(line)) = '\0'; }

LPSTR GetCommandLineA(void) { return commandLine; }

void PosixSetWideCommandLine(LPCWSTR line)
{
    wideCommandLineSet = line != nullptr;
    size_t i = 0;
    for (; line && line[i] && i < sizeof commandLine - 1; ++i)
        wideCommandLine[i] = line[i];
    wideCommandLine[i] = 0;
}

LPWSTR GetCommandLineW(void)
{
    if (!wideCommandLineSet)
        MultiByteToWideChar(CP_ACP, 0, commandLine, -1, wideCommandLine, sizeof commandLine);
    return wideCommandLine;
}

void ExitProcess(unsigned int exitCode)
{
    fflush(nullptr);
    _exit(static_cast<int>(exitCode));
}

DWORD GetLastError(void) { return lastError; }
void SetLastError(DWORD code) { lastError = code; }

int lstrlenA(LPCSTR text) { return text ? static_cast<int>(strlen(text)) : 0; }

LPSTR lstrcpyA(LPSTR destination, LPCSTR source)
{
    return strcpy(destination, source);
}

int wvsprintfA(LPSTR buffer, LPCSTR format, va_list arguments)
{
    const int room = 1024; // the system's limit, terminating zero included
    const int length = vsnprintf(buffer, room, format, arguments);
    if (length < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return length < room ? length : room - 1;
}

LPSTR CharUpperA(LPSTR text)
{
    for (char *c = text; *c; ++c)
        if (*c >= 'a' && *c <= 'z')
            *c = static_cast<char>(*c - 'a' + 'A');
    return text;
}

// POSIX terminals have no code pages: every byte is one character and stays as it is.
UINT GetConsoleOutputCP(void) { return 0; }

namespace {
// One character of either width becomes one of the other; the rules on length and room are the
// system's, the same both ways.
template <typename From, typename To, typename Convert>
int ConvertEach(const From *text, int length, To *converted, int room, Convert convert)
{
    if (length < 0)
        length = static_cast<int>(std::char_traits<From>::length(text)) + 1;
    if (length == 0 || room < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (room == 0)
        return length; // the room it needs
    if (room < length) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (int i = 0; i < length; ++i)
        converted[i] = convert(text[i]);
    return length;
}
} // namespace

int MultiByteToWideChar(UINT, DWORD, LPCSTR bytes, int length, LPWSTR wide, int room)
{
    return ConvertEach(bytes, length, wide, room,
                       [](char c) { return static_cast<WCHAR>(static_cast<unsigned char>(c)); });
}

int WideCharToMultiByte(UINT, DWORD, LPCWSTR wide, int length, LPSTR bytes, int room, LPCSTR defaultCharacter,
                        LPBOOL usedDefault)
{
    if (usedDefault)
        *usedDefault = FALSE;
    return ConvertEach(wide, length, bytes, room, [&](WCHAR c) {
        if (c <= 0xFF)
            return static_cast<char>(c);
        if (usedDefault)
            *usedDefault = TRUE;
        return defaultCharacter ? *defaultCharacter : '?';
    });
}

static int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads the number at the start; stops at the first byte that cannot continue it. Too many digits
// wrap around modulo 2^64.
static bool ReadNumber(LPCSTR text, DWORD flags, ULONGLONG *result)
{
    const char *p = text;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    ULONGLONG value = 0;
    bool any = false;
    if ((flags & STIF_SUPPORT_HEX) && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
        HexDigit(p[2]) >= 0) {
        for (p += 2; HexDigit(*p) >= 0; ++p, any = true)
            value = value * 16 + static_cast<ULONGLONG>(HexDigit(*p));
    } else {
        for (; *p >= '0' && *p <= '9'; ++p, any = true)
            value = value * 10 + static_cast<ULONGLONG>(*p - '0');
    }
    *result = negative ? 0 - value : value;
    return any;
}

BOOL StrToInt64ExA(LPCSTR text, DWORD flags, LONGLONG *result)
{
    ULONGLONG value = 0;
    const bool any = ReadNumber(text, flags, &value);
    *result = static_cast<LONGLONG>(value);
    return any;
}

int StrToIntA(LPCSTR text)
{
    ULONGLONG value = 0;
    ReadNumber(text, STIF_DEFAULT, &value);
    return static_cast<int>(static_cast<DWORD>(value));
}

void PosixHideStrToInt64ExA(bool hidden) { strToInt64ExAHidden = hidden; }

HMODULE GetModuleHandleA(LPCSTR name)
{
    static char shlwapi;
    if (name && strcasecmp(name, "shlwapi.dll") == 0)
        return reinterpret_cast<HMODULE>(&shlwapi);
    SetLastError(126); // ERROR_MOD_NOT_FOUND
    return nullptr;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name)
{
    if (module == GetModuleHandleA("shlwapi.dll") && strcmp(name, "StrToInt64ExA") == 0 &&
        !strToInt64ExAHidden)
        return reinterpret_cast<FARPROC>(&StrToInt64ExA);
    SetLastError(127); // ERROR_PROC_NOT_FOUND
    return nullptr;
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
