#include "console/console.h"

void WaitForKeyIfOwnConsole(void)
{
    DWORD owner = 0;
    GetWindowThreadProcessId(GetConsoleWindow(), &owner);
    if (owner != GetCurrentProcessId())
        return; // a command prompt's console, or none: nobody needs to be held

    ConsolePrintf("Press a key to close");
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    FlushConsoleInputBuffer(input); // keys pressed before the prompt do not count
    for (;;) {
        Sleep(100);
        INPUT_RECORD record;
        DWORD read = 0;
        // Input that is no console can never deliver a key: the first failed read ends the wait.
        if (!ReadConsoleInputA(input, &record, 1, &read))
            return;
        if (read == 1 && record.EventType == KEY_EVENT)
            return;
    }
}
