// Standard handles and the terminal as console.
#include "platform/posix/errors.h"
#include "platform/posix/handles.h"
#include "platform/posix/posix.h"
#include "platform/posix/system.h"

#include <errno.h>
#include <termios.h>
#include <unistd.h>

namespace {
PosixHandle standardInput = PosixDescriptorHandle(0);
PosixHandle standardOutput = PosixDescriptorHandle(1);
} // namespace

HANDLE GetStdHandle(DWORD which)
{
    if (which == STD_INPUT_HANDLE)
        return &standardInput;
    if (which == STD_OUTPUT_HANDLE)
        return &standardOutput;
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_HANDLE_VALUE;
}

// Writes every byte, as the system's WriteFile does for a pipe or a file; false with the error.
static bool WriteAll(int descriptor, const char *bytes, size_t length)
{
    for (size_t done = 0; done < length;) {
        const ssize_t n = SystemWrite(descriptor, bytes + done, length - done);
        if (n < 0) {
            PosixSetErrorFromErrno();
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Text on the standard handles: Linux ends a line with LF alone, so each CR LF goes out as LF, as a
// C run-time on Windows turns LF into CR LF the other way round. A return that ends one write is
// held until the next byte shows whether a line feed follows it; a lone return goes out as it is.
static BOOL WriteText(PosixHandle &handle, const char *bytes, DWORD length, LPDWORD written)
{
    char out[1024];
    size_t used = 0;
    DWORD consumed = 0; // what the writes so far stood for, for a failure's count
    for (DWORD i = 0; i < length; ++i) {
        if (used + 2 > sizeof out) {
            if (!WriteAll(handle.descriptor, out, used)) {
                if (written)
                    *written = consumed;
                return FALSE;
            }
            consumed = i;
            used = 0;
        }
        if (handle.returnHeld && bytes[i] != '\n')
            out[used++] = '\r';
        handle.returnHeld = bytes[i] == '\r';
        if (!handle.returnHeld)
            out[used++] = bytes[i];
    }
    const bool done = used == 0 || WriteAll(handle.descriptor, out, used);
    if (written)
        *written = done ? length : consumed;
    return done ? TRUE : FALSE;
}

void PosixFlushConsole()
{
    if (standardOutput.returnHeld) {
        standardOutput.returnHeld = false;
        WriteAll(standardOutput.descriptor, "\r", 1);
    }
}

BOOL WriteFile(HANDLE file, const void *bytes, DWORD length, LPDWORD written, LPOVERLAPPED)
{
    if (file == nullptr || file == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    PosixHandle &handle = *static_cast<PosixHandle *>(file);
    if (&handle == &standardOutput || &handle == &standardInput)
        return WriteText(handle, static_cast<const char *>(bytes), length, written);
    const bool done = WriteAll(handle.descriptor, static_cast<const char *>(bytes), length);
    if (written)
        *written = done ? length : 0;
    return done ? TRUE : FALSE;
}

// No console window: no terminal session tells a window opened for the tool from `docker run -t`,
// `script -c` or `ssh -t`, where nobody may ever press a key, and a Linux tool never waits for one.
HWND PosixRealConsoleWindow() { return nullptr; }

HWND GetConsoleWindow(void) { return PosixSystem.ConsoleWindow(); }

DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId)
{
    if (window == nullptr)
        return 0; // no window: the id is left as it was
    if (processId)
        *processId = static_cast<DWORD>(reinterpret_cast<intptr_t>(window));
    return 1;
}

DWORD GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

static int TerminalOf(HANDLE input)
{
    if (input == nullptr || input == INVALID_HANDLE_VALUE)
        return -1;
    const int descriptor = static_cast<PosixHandle *>(input)->descriptor;
    return SystemIsatty(descriptor) ? descriptor : -1;
}

BOOL FlushConsoleInputBuffer(HANDLE input)
{
    const int terminal = TerminalOf(input);
    if (terminal < 0 || SystemTcflush(terminal) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL ReadConsoleInputA(HANDLE input, PINPUT_RECORD records, DWORD length, LPDWORD read)
{
    if (read)
        *read = 0;
    PosixLetSignalsIn(); // Ctrl+C ends the wait for a key
    const int terminal = TerminalOf(input);
    struct termios saved;
    if (terminal < 0 || length == 0 || SystemTcgetattr(terminal, &saved) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // One key, without echo and without waiting for Enter.
    struct termios raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (SystemTcsetattr(terminal, &raw) != 0) {
        PosixSetErrorFromErrno();
        return FALSE;
    }
    unsigned char key = 0;
    const ssize_t n = SystemRead(terminal, &key, 1);
    const int error = errno;
    SystemTcsetattr(terminal, &saved);
    if (n != 1) {
        SetLastError(n == 0 ? ERROR_INVALID_HANDLE : PosixErrorCode(error));
        return FALSE;
    }
    records[0] = INPUT_RECORD{};
    records[0].EventType = KEY_EVENT;
    records[0].Event.KeyEvent.bKeyDown = TRUE;
    records[0].Event.KeyEvent.wRepeatCount = 1;
    records[0].Event.KeyEvent.uChar.AsciiChar = static_cast<CHAR>(key);
    if (read)
        *read = 1;
    return TRUE;
}
