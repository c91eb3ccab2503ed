#include "command/command.h"
#include "console/console.h"

// The process starts here: no C run-time has prepared anything, not even an argument vector.
extern "C" void VarneltStart(void)
{
    Request request;
    int exitCode = CheckRequest(&request);
    if (exitCode == RequestAccepted)
        exitCode = RunResize(request);
    WaitForKeyIfOwnConsole();
    ExitProcess(static_cast<unsigned int>(exitCode));
}
