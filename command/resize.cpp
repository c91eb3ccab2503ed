#include "command/command.h"
#include "console/console.h"

// Reads the last-error code itself: nothing may run between the failed call and this.
static void ReportFailure(char errorText[ConsoleBufferRoom])
{
    GetSystemErrorText(errorText);
    ConsolePrintf(" failed\n(%s)\n\n", errorText);
}

// Exactly a name and a size, or a name, a size and the option: a word after the size that is no
// option is the second word of a name left unquoted (Disk 1 500M, "disk 1 - Copy.img"), an option
// typed as -S, --sparse or /s, or a request after the option; taken or ignored, it would hit
// another file or drop what was asked. The option is -s with ASCII letters only (-sparse): Windows'
// own splitting takes a tab as a separator, so -s<TAB>b.bin is to the user an option and a file,
// and -s.img the last word of a name left unquoted.
static bool ArgumentsAreExact(int count, LPSTR table[ArgumentTableRoom])
{
    if (count != 4)
        return count == 3;
    LPCSTR option = table[3];
    if (option[0] != '-' || option[1] != 's')
        return false;
    while (*++option)
        if (static_cast<unsigned char>((*option | 0x20) - 'a') > 'z' - 'a') // no ASCII letter
            return false;
    return true;
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
    if (!ArgumentsAreExact(count, table)) {
        ConsolePrintf("\nunexpected argument: quote a name with spaces, write the option as -s\n");
        return 1;
    }
    const bool sparseOption = count == 4;
    LPCSTR name = table[1];
    // Refused before anything opens it, as a directory is at the open: even a look at a device's
    // attributes opens it, and opening a serial port changes its lines.
    const DWORD refusal = NameRefusal(name);
    if (refusal == ERROR_SUCCESS && !FileExists(name)) {
        ConsolePrintf("\nfile not found\n");
        return 2;
    }

    ConsolePrintf("OpenFile...");
    HANDLE file = INVALID_HANDLE_VALUE;
    if (refusal != ERROR_SUCCESS)
        SetLastError(refusal);
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
    if (sparseOption) {
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

    // The position changes nothing outside the process, so its label, with the value asked for,
    // goes out together with its answer and the next label: the same bytes in one write fewer.
    const LONG low = static_cast<LONG>(static_cast<DWORD>(static_cast<ULONGLONG>(size)));
    const LONG asked = static_cast<LONG>(static_cast<DWORD>(static_cast<ULONGLONG>(size) >> 32));
    LONG high = asked;
    SetLastError(0);
    // The result may equal the failure value for a valid position: the last-error code decides.
    SetFilePointer(file, low, &high, FILE_BEGIN);
    const bool positioned = GetLastError() == 0;
    if (!positioned)
        GetSystemErrorText(ErrorTextBuffer); // before any output can change the code
    LPCSTR next = positioned ? " ok\nSetEndOfFile..." : "";
    if (asked != 0)
        ConsolePrintf("%sSetFilePointer(0x%08X%08X)...%s", answered, asked, low, next);
    else
        ConsolePrintf("%sSetFilePointer(0x%08X)...%s", answered, low, next);
    if (!positioned) {
        ConsolePrintf(" failed\n(%s)\n\n", ErrorTextBuffer);
        return 1;
    }

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
