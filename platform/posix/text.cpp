// Text, number and code-page calls of the stand-in.
#include "platform/posix/calls.h"

#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <string>

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

// The stand-in's own code page: each byte is the character of its number, and none leads another.
BOOL PosixRealLeadsTwoBytes(BYTE) { return FALSE; }

int PosixRealWiden(LPCSTR bytes, int length, LPWSTR wide, int room)
{
    return ConvertEach(bytes, length, wide, room,
                       [](char c) { return static_cast<WCHAR>(static_cast<unsigned char>(c)); });
}

BOOL IsDBCSLeadByte(BYTE byte) { return PosixSystem.LeadsTwoBytes(byte); }

int MultiByteToWideChar(UINT page, DWORD, LPCSTR bytes, int length, LPWSTR wide, int room)
{
    if (page == CP_ACP)
        return PosixSystem.Widen(bytes, length, wide, room);
    return PosixRealWiden(bytes, length, wide, room);
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

HMODULE GetModuleHandleA(LPCSTR name)
{
    static char shlwapi;
    if (name && strcasecmp(name, "shlwapi.dll") == 0)
        return reinterpret_cast<HMODULE>(&shlwapi);
    SetLastError(126); // ERROR_MOD_NOT_FOUND
    return nullptr;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) { return PosixSystem.ProcAddress(module, name); }

FARPROC PosixRealProcAddress(HMODULE module, LPCSTR name)
{
    if (module == GetModuleHandleA("shlwapi.dll") && strcmp(name, "StrToInt64ExA") == 0)
        return reinterpret_cast<FARPROC>(&StrToInt64ExA);
    SetLastError(127); // ERROR_PROC_NOT_FOUND
    return nullptr;
}
