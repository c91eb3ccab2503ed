#include "command/command.h"
#include "console/console.h"

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

static char FoldCase(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

static bool StartsWith(LPCSTR text, LPCSTR prefix)
{
    for (; *prefix; ++text, ++prefix)
        if (FoldCase(*text) != FoldCase(*prefix))
            return false;
    return true;
}

// Behind \\?\ and \??\ the system takes the rest as it stands: a drive path, a share or a volume
// holds files; anything else there (COM1, C:, PhysicalDrive0, GLOBALROOT) names a device.
static bool IsDevicePath(LPCSTR path)
{
    if (StartsWith(path, "\\\\.\\"))
        return true;
    if (!StartsWith(path, "\\\\?\\") && !StartsWith(path, "\\??\\"))
        return false;
    LPCSTR rest = path + 4;
    const char drive = FoldCase(rest[0]);
    if (drive >= 'A' && drive <= 'Z' && rest[1] == ':' && rest[2] == '\\')
        return false;
    if (StartsWith(rest, "UNC\\"))
        return false;
    // Volume{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}\ : the braces hold 36 characters.
    return !(StartsWith(rest, "Volume{") && lstrlenA(rest) > 44 && rest[43] == '}' && rest[44] == '\\');
}

bool NameLeadsToDevice(LPCSTR name)
{
    // The full path shows what a reserved name (nul, COM1.txt) stands for: \\.\nul, \\.\COM1.
    // \??\ reaches the object manager unchanged without showing in it, so the name is looked at too.
    char full[FullPathRoom];
    const DWORD length = GetFullPathNameA(name, FullPathRoom, full, nullptr);
    return IsDevicePath(name) || (length > 0 && length < FullPathRoom && IsDevicePath(full));
}

// Reads the last-error code itself: nothing may run between the failed call and this.
static void ReportFailure(char errorText[ConsoleBufferRoom])
{
    GetSystemErrorText(errorText);
    ConsolePrintf(" failed\n(%s)\n\n", errorText);
}

static bool SparseOptionGiven(int count, LPSTR table[ArgumentTableRoom])
{
    return count == 4 && table[3][0] == '-' && table[3][1] == 's';
}

// After the size only an option may follow: anything else is the second word of a name left
// unquoted, or an option typed as /s, and resizing would hit another file or ignore the request.
static bool ArgumentAfterSizeIsNoOption(int count, LPSTR table[ArgumentTableRoom])
{
    return count >= 4 && table[3][0] != '-';
}

// On a failed step the handle stays open, still unshared, until the process ends.
int RunResize(int count, LPSTR table[ArgumentTableRoom])
{
    char ErrorTextBuffer[ConsoleBufferRoom];
    const LONGLONG size = ParseSizeArgument(table[2]);
    LONGLONG checked;
    // A size the reading would misread must not reach the file: it would cut it to 0 or worse.
    if (!CheckSizeText(table[2], &checked) || checked != size) {
        ConsolePrintf("\ninvalid size\n");
        return 1;
    }
    if (ArgumentAfterSizeIsNoOption(count, table)) {
        ConsolePrintf("\nunexpected argument: quote a name with spaces, write the option as -s\n");
        return 1;
    }
    LPCSTR name = table[1];
    // Refused before anything opens it, as a directory is at the open: even a look at a device's
    // attributes opens it, and opening a serial port changes its lines.
    const bool device = NameLeadsToDevice(name);
    if (!device && !FileExists(name)) {
        ConsolePrintf("\nfile not found\n");
        return 2;
    }

    ConsolePrintf("OpenFile...");
    HANDLE file = INVALID_HANDLE_VALUE;
    if (device)
        SetLastError(ERROR_ACCESS_DENIED);
    else
        file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ReportFailure(ErrorTextBuffer);
        return 1;
    }
    // Each answer goes out with the next label: the same bytes in fewer writes.
    LPCSTR answered = " ok\n";

    const DWORD attributes = GetFileAttributesA(name);
    const bool sparse = attributes != INVALID_FILE_ATTRIBUTES &&
                        (attributes & FILE_ATTRIBUTE_SPARSE_FILE) != 0;
    if (SparseOptionGiven(count, table)) {
        if (sparse) {
            answered = " ok\nSparse flag already set\n";
        } else {
            ConsolePrintf("%sSet sparse flag...", answered);
            DWORD returned;
            SetLastError(0);
            DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
            if (GetLastError() == 0) {
                answered = " ok\n";
            } else {
                ReportFailure(ErrorTextBuffer); // the resize goes on without the flag
                answered = "";
            }
        }
    }

    LONG low = static_cast<LONG>(static_cast<DWORD>(static_cast<ULONGLONG>(size)));
    LONG high = static_cast<LONG>(static_cast<DWORD>(static_cast<ULONGLONG>(size) >> 32));
    if (high != 0)
        ConsolePrintf("%sSetFilePointer(0x%08X%08X)...", answered, high, low);
    else
        ConsolePrintf("%sSetFilePointer(0x%08X)...", answered, low);
    SetLastError(0);
    // The result may equal the failure value for a valid position: the last-error code decides.
    SetFilePointer(file, low, &high, FILE_BEGIN);
    if (GetLastError() != 0) {
        ReportFailure(ErrorTextBuffer);
        return 1;
    }

    ConsolePrintf(" ok\nSetEndOfFile...");
    if (!SetEndOfFile(file)) {
        ReportFailure(ErrorTextBuffer);
        return 1;
    }

    ConsolePrintf(" ok\nCloseFile...");
    if (!CloseHandle(file)) {
        ReportFailure(ErrorTextBuffer);
        return 1;
    }
    ConsolePrintf(" ok\n");
    return 0;
}
