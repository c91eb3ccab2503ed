#include "command/command.h"
#include "console/console.h"

// The transcript's writes. A step's answer waits for the next label and goes out with it: the
// same bytes in fewer writes. A failure goes out at once, in the system's words.
struct Transcript {
    LPCSTR answer = ""; // the last step's, not yet written
    char errorText[ConsoleBufferRoom];
};

// The step answers " ok" unless it fails.
static void Step(Transcript *transcript, LPCSTR label)
{
    ConsolePrintf("%s%s", transcript->answer, label);
    transcript->answer = " ok\n";
}

// For an error text read before the step's label went out.
static int ReportFailure(Transcript *transcript)
{
    ConsolePrintf(" failed\n(%s)\n\n", transcript->errorText);
    transcript->answer = "";
    return 1;
}

// Reads the last-error code itself: nothing may run between the failed call and this.
static int Failed(Transcript *transcript)
{
    GetSystemErrorText(transcript->errorText);
    return ReportFailure(transcript);
}

// A flag that cannot be set is reported, and the resize goes on without it.
static void SetSparseFlag(HANDLE file, DWORD attributes, Transcript *transcript)
{
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_SPARSE_FILE) != 0) {
        transcript->answer = " ok\nSparse flag already set\n";
        return;
    }
    Step(transcript, "Set sparse flag...");
    DWORD returned;
    SetLastError(0);
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    if (GetLastError() != 0)
        Failed(transcript);
}

// The position changes nothing outside the process, so its label, with the value asked for, goes
// out after the call, together with its answer and the next step's label: one write fewer.
static bool SetPosition(HANDLE file, LONGLONG size, Transcript *transcript)
{
    const LONG low = static_cast<LONG>(static_cast<DWORD>(static_cast<ULONGLONG>(size)));
    const LONG asked = static_cast<LONG>(static_cast<DWORD>(static_cast<ULONGLONG>(size) >> 32));
    LONG high = asked;
    SetLastError(0);
    // The result may equal the failure value for a valid position: the last-error code decides.
    SetFilePointer(file, low, &high, FILE_BEGIN);
    const bool positioned = GetLastError() == 0;
    if (!positioned)
        GetSystemErrorText(transcript->errorText); // before any output can change the code
    LPCSTR next = positioned ? " ok\nSetEndOfFile..." : "";
    if (asked != 0)
        ConsolePrintf("%sSetFilePointer(0x%08X%08X)...%s", transcript->answer, asked, low, next);
    else
        ConsolePrintf("%sSetFilePointer(0x%08X)...%s", transcript->answer, low, next);
    transcript->answer = " ok\n";
    return positioned;
}

// On a failed step the handle stays open, still unshared, until the process ends.
int RunResize(const Request &request)
{
    Transcript transcript;
    Step(&transcript, "OpenFile...");
    HANDLE file = INVALID_HANDLE_VALUE;
    if (request.nameRefusal != ERROR_SUCCESS)
        SetLastError(request.nameRefusal);
    else
        file = CreateFileA(request.name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return Failed(&transcript);
    // A link or junction may lead to a device that the look could not see: closed untouched.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        SetLastError(ERROR_ACCESS_DENIED);
        return Failed(&transcript);
    }

    const DWORD attributes = GetFileAttributesA(request.name);
    if (request.sparse)
        SetSparseFlag(file, attributes, &transcript);
    if (!SetPosition(file, request.size, &transcript)) // SetEndOfFile's label goes out with it
        return ReportFailure(&transcript);
    if (!SetEndOfFile(file))
        return Failed(&transcript);

    Step(&transcript, "CloseFile...");
    if (!CloseHandle(file))
        return Failed(&transcript);
    Step(&transcript, "");
    return 0;
}
