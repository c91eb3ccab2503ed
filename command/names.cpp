// Which names the resize may look at: a file that exists, never a device behind a file's name.
#include "command/command.h"

DWORD LookAtName(LPCSTR name)
{
    SetLastError(0);
    const DWORD attributes = GetFileAttributesA(name);
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DEVICE) != 0 ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
    // Only a missing file or folder makes a name missing. A device behind a path or a link (a
    // serial port, a console) answers the look with these: refused as one, before any open. Any
    // other answer (access denied, a name too long or malformed) belongs to a name the open step
    // reports on in the system's words. An empty name names nothing.
    const DWORD error = GetLastError();
    if (name[0] == '\0' || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return ERROR_FILE_NOT_FOUND;
    return error == ERROR_INVALID_PARAMETER || error == ERROR_INVALID_FUNCTION ? ERROR_ACCESS_DENIED
                                                                               : ERROR_SUCCESS;
}

// Room of a full path: the longest one Windows makes, 32,767 UTF-16 units of up to three bytes
// each in UTF-8, and the zero. Static, it costs the executable no bytes; the byte past the room
// is never handed out, so the path always ends within the array.
constexpr DWORD FullPathRoom = 32767 * 3 + 1;
static char FullPath[FullPathRoom + 1];

static bool IsOutsideAscii(char c) { return static_cast<unsigned char>(c) >= 0x80; }

static bool StartsWith(LPCSTR text, LPCSTR prefix)
{
    for (; *prefix; ++text, ++prefix)
        if (UpperCaseLetter(*text) != UpperCaseLetter(*prefix))
            return false;
    return true;
}

// Where the share name at the text, spelled as the upper-case word, ends; null when it is
// another. Windows upper-cases ı (U+0131) to I and ſ (U+017F) to S, so at an I or an S any
// character outside ASCII counts as that letter, whatever bytes the code page gives it (C4 B1 and
// C5 BF in UTF-8, FD in 1254, A9 A5 in 949): on doubt, a pipe. A ? stands for any letter, as a full
// path shows a character outside the code page.
static LPCSTR SpelledAs(LPCSTR text, LPCSTR word)
{
    for (; *word; ++word) {
        if (UpperCaseLetter(*text) == *word || *text == '?') {
            ++text;
        } else if ((*word == 'I' || *word == 'S') && IsOutsideAscii(*text)) {
            text += IsOutsideAscii(text[1]) ? 2 : 1; // one character of one or two bytes
        } else {
            return nullptr;
        }
    }
    // Windows drops trailing dots and spaces of a name: pipe. and "pipe " are pipe.
    while (*text == '.' || *text == ' ')
        ++text;
    return *text == '\0' || *text == '\\' ? text : nullptr;
}

static bool IsPipeShare(LPCSTR share)
{
    for (LPCSTR word = "PIPE\0MAILSLOT\0IPC$\0"; *word; word += lstrlenA(word) + 1)
        if (SpelledAs(share, word))
            return true;
    return false;
}

// \\server\pipe\... and \\server\mailslot\... (and IPC$, the share that serves pipes): shares that
// connect to whoever serves them, on any server, this machine's own too. The text starts at the
// server's name. Doubled separators count as one. A byte from 0x80 before a separator may be the
// first half of a double-byte character whose second half is that backslash: then the share may
// start at the next separator too, and each candidate is tried.
static bool IsPipeOrMailslot(LPCSTR text)
{
    while (*text == '\\')
        ++text;
    bool doubt = true;
    for (LPCSTR server = text; doubt; server = text) {
        while (*text && *text != '\\')
            ++text;
        if (text == server || *text == '\0')
            return false;
        doubt = IsOutsideAscii(text[-1]);
        while (*text == '\\')
            ++text;
        if (IsPipeShare(text))
            return true;
    }
    return false;
}

// Behind \\?\ and \??\ the system takes the rest as it stands: a drive path, a share or a volume
// holds files; anything else there (COM1, C:, PhysicalDrive0, GLOBALROOT) names a device.
bool IsDevicePath(LPCSTR path)
{
    if (StartsWith(path, "\\\\.\\"))
        return true;
    if (StartsWith(path, "\\\\?\\") || StartsWith(path, "\\??\\")) {
        LPCSTR rest = path + 4;
        const char drive = UpperCaseLetter(rest[0]);
        if (drive >= 'A' && drive <= 'Z' && rest[1] == ':' && rest[2] == '\\')
            return false;
        if (StartsWith(rest, "UNC\\"))
            return IsPipeOrMailslot(rest + 4);
        // Volume{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}\ : the braces hold 36 characters.
        return !(StartsWith(rest, "Volume{") && lstrlenA(rest) > 44 && rest[43] == '}' && rest[44] == '\\');
    }
    return StartsWith(path, "\\\\") && IsPipeOrMailslot(path + 2);
}

static bool IsSuperscriptDigit(WCHAR c) { return c == 0xB9 || c == 0xB2 || c == 0xB3; }

// The system reads the name in the process's code page: ¹ is B9 in 1252 but A9 F6 in 949, and B9
// is ą in 1250. So the bytes after COM or LPT are read by the system's conversion, as one character
// of one or two bytes; what may follow it (spaces, a dot, a colon) is ASCII in every code page.
bool IsSuperscriptDeviceName(LPCSTR path)
{
    LPCSTR name = path;
    for (LPCSTR c = path; *c; ++c)
        if (*c == '\\')
            name = c + 1;
    if ((!StartsWith(name, "COM") && !StartsWith(name, "LPT")) || name[3] == '\0')
        return false;
    WCHAR wide[4];
    for (int bytes = 4; bytes <= 5; ++bytes) {
        // Four characters exactly: COM or LPT and one more, of bytes - 3 bytes.
        if (MultiByteToWideChar(CP_ACP, 0, name, bytes, wide, 4) != 4 || !IsSuperscriptDigit(wide[3]))
            continue;
        name += bytes - 1;
        while (*++name == ' ')
            ;
        return *name == '\0' || *name == '.' || *name == ':';
    }
    return false;
}

DWORD NameRefusal(LPCSTR name)
{
    // \??\ reaches the object manager unchanged without showing in the full path: the name as
    // typed is looked at first. An empty name leads nowhere; the existence check refuses it.
    if (IsDevicePath(name))
        return ERROR_ACCESS_DENIED;
    if (name[0] == '\0')
        return ERROR_SUCCESS;
    // The full path shows what a reserved name (nul, COM1.txt) stands for: \\.\nul, \\.\COM1;
    // with a superscript digit (COM¹) it may not, and the tool's own rule looks at its last part.
    SetLastError(0);
    const DWORD length = GetFullPathNameA(name, FullPathRoom, FullPath, nullptr);
    if (length == 0) {
        // Unchecked, the name must not be opened.
        const DWORD error = GetLastError();
        return error != ERROR_SUCCESS ? error : ERROR_INVALID_NAME;
    }
    // Beyond the longest path the system makes: whatever it is, it is not opened unchecked.
    if (length >= FullPathRoom)
        return ERROR_FILENAME_EXCED_RANGE;
    const bool reserved = NamesMayBeReserved && IsSuperscriptDeviceName(FullPath);
    return reserved || IsDevicePath(FullPath) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}
