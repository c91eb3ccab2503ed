// Which names the resize may look at: a file that exists, never a device behind a file's name.
#include "command/command.h"

bool FileExists(LPCSTR name)
{
    SetLastError(0);
    if (GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES)
        return true;
    // Attributes that may not be read still belong to a file: the open step reports on it.
    return GetLastError() == ERROR_ACCESS_DENIED;
}

// Room of a full path: more than any name the command line can hold, so a device path, which
// never grows into its full form, always fits.
constexpr DWORD FullPathRoom = 2048;

static bool StartsWith(LPCSTR text, LPCSTR prefix)
{
    for (; *prefix; ++text, ++prefix)
        if (UpperCaseLetter(*text) != UpperCaseLetter(*prefix))
            return false;
    return true;
}

// Whether the path component at the start of the text is this one (either case), alone or
// followed by more.
static bool ComponentIs(LPCSTR text, LPCSTR component)
{
    const int length = lstrlenA(component);
    return StartsWith(text, component) && (text[length] == '\0' || text[length] == '\\');
}

// \\server\pipe\... and \\server\mailslot\...: shares that connect to whoever serves them, on any
// server, this machine's own too. The text starts at the server's name.
static bool IsPipeOrMailslot(LPCSTR server)
{
    LPCSTR share = server;
    while (*share && *share != '\\')
        ++share;
    if (share == server || *share != '\\')
        return false;
    return ComponentIs(share + 1, "pipe") || ComponentIs(share + 1, "mailslot");
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

DWORD NameRefusal(LPCSTR name)
{
    // \??\ reaches the object manager unchanged without showing in the full path: the name as
    // typed is looked at first. An empty name leads nowhere; the existence check refuses it.
    if (IsDevicePath(name))
        return ERROR_ACCESS_DENIED;
    if (name[0] == '\0')
        return ERROR_SUCCESS;
    // The full path shows what a reserved name (nul, COM1.txt) stands for: \\.\nul, \\.\COM1.
    char full[FullPathRoom];
    SetLastError(0);
    const DWORD length = GetFullPathNameA(name, FullPathRoom, full, nullptr);
    if (length == 0) {
        // Unchecked, the name must not be opened.
        const DWORD error = GetLastError();
        return error != ERROR_SUCCESS ? error : ERROR_INVALID_NAME;
    }
    return length < FullPathRoom && IsDevicePath(full) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}
