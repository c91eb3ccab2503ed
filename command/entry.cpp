#include "command/command.h"
#include "console/console.h"

// The process starts here: no C run-time has prepared anything, not even an argument vector.
extern "C" void VarneltStart(void)
{
    LPSTR table[ArgumentTableRoom];
    int count;
    int exitCode;
    if (SplitCommandLine(&count, table)) {
        exitCode = RunCommand(count, table);
    } else {
        ConsolePrintf("\ncommand line too long\n");
        WaitForKeyIfOwnConsole();
        exitCode = 1;
    }
    ExitProcess(static_cast<unsigned int>(exitCode));
}
