#include "console/console.h"

void ExpandLineEnds(char buffer[ConsoleBufferRoom])
{
    char scratch[ConsoleBufferRoom];
    int out = 0;
    for (int in = 0; in < ConsoleBufferRoom && buffer[in]; ++in) {
        const char c = buffer[in];
        const bool needsReturn = c == '\n' && (in == 0 || buffer[in - 1] != '\r');
        // A text that would not fit is cut; a line end is never split from its return.
        if (out + (needsReturn ? 2 : 1) > ConsoleBufferRoom - 1)
            break;
        if (needsReturn)
            scratch[out++] = '\r';
        scratch[out++] = c;
    }
    scratch[out] = '\0';
    for (int i = 0; i <= out; ++i)
        buffer[i] = scratch[i];
}

int ConsolePrintf(LPCSTR format, ...)
{
    char buffer[ConsoleBufferRoom];
    buffer[0] = '\0';
    va_list arguments;
    va_start(arguments, format);
    wvsprintfA(buffer, format, arguments);
    va_end(arguments);
    buffer[ConsoleBufferRoom - 1] = '\0';
    ExpandLineEnds(buffer);
    DWORD written = 0;
    const DWORD length = static_cast<DWORD>(lstrlenA(buffer));
    if (!WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), buffer, length, &written, nullptr))
        return -1;
    return static_cast<int>(written);
}
