#include "console/console.h"

void WaitForKeyIfOwnConsole(void)
{
    DWORD owner = 0;
    GetWindowThreadProcessId(GetConsoleWindow(), &owner);
    // No window (owner 0, never a process's id), or a command prompt's: nobody needs to be held.
    if (owner == 0 || owner != GetCurrentProcessId())
        return;

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
