#include "console/console.h"

// "unknown error N", for a code the system has no text for.
static void WriteUnknownError(char buffer[ConsoleBufferRoom], DWORD code)
{
    static const char prefix[] = "unknown error ";
    int length = 0;
    while (prefix[length]) {
        buffer[length] = prefix[length];
        ++length;
    }
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + code % 10);
        code /= 10;
    } while (code != 0);
    while (count > 0)
        buffer[length++] = digits[--count];
    buffer[length] = '\0';
}

// The message comes in the process's code page; a console shows its own output code page, which
// under the UTF-8 manifest differs from the OEM one (UTF-8 too). Without a console: the OEM one.
static void ConvertForDisplay(char buffer[ConsoleBufferRoom])
{
    WCHAR wide[ConsoleBufferRoom];
    UINT shown = GetConsoleOutputCP();
    if (shown == 0)
        shown = CP_OEMCP;
    int length = MultiByteToWideChar(CP_ACP, 0, buffer, -1, wide, ConsoleBufferRoom) - 1;
    // A text that grows past the buffer in the console's code page is cut to fit.
    while (length > 0 &&
           WideCharToMultiByte(shown, 0, wide, length, nullptr, 0, nullptr, nullptr) > ConsoleBufferRoom - 1)
        --length;
    const int bytes = length > 0 ? WideCharToMultiByte(shown, 0, wide, length, buffer, ConsoleBufferRoom - 1,
                                                       nullptr, nullptr)
                                 : 0;
    buffer[bytes] = '\0';
}

void GetSystemErrorText(char buffer[ConsoleBufferRoom])
{
    const DWORD code = GetLastError();
    LPSTR message = nullptr;
    // Inserts (%1) stay as written: formatted, they would read arguments that are not there.
    const DWORD produced = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&message), 0, nullptr);
    if (produced == 0 || message == nullptr) {
        WriteUnknownError(buffer, code);
        if (message)
            LocalFree(message);
        return;
    }
    // The line end goes first, so that a text cut to fit never keeps half of it.
    int length = lstrlenA(message);
    if (length >= 2 && message[length - 2] == '\r' && message[length - 1] == '\n')
        length -= 2;
    if (length > ConsoleBufferRoom - 1)
        length = ConsoleBufferRoom - 1;
    for (int i = 0; i < length; ++i)
        buffer[i] = message[i];
    buffer[length] = '\0';
    ConvertForDisplay(buffer);
    LocalFree(message);
}
