#include "command/command.h"
#include "console/console.h"

// The process starts here: no C run-time has prepared anything, not even an argument vector.
extern "C" void VarneltStart(void)
{
    LPSTR table[ArgumentTableRoom];
    int count;
    int exitCode = 1;
    // A line that does not fit its copy, or whose characters were replaced on the way to the
    // process's code page, could name another file: refused whole.
    if (!SplitCommandLine(&count, table)) {
        ConsolePrintf("\ncommand line too long\n");
        WaitForKeyIfOwnConsole();
    } else if (!CommandLineIsExact()) {
        ConsolePrintf("\ncommand line holds characters outside the code page\n");
        WaitForKeyIfOwnConsole();
    } else {
        exitCode = RunCommand(count, table);
    }
    ExitProcess(static_cast<unsigned int>(exitCode));
}
