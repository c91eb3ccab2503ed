// The process start of the Linux build: what Windows prepares before a program's entry point.
#include "platform/posix/posix.h"

#include <signal.h>
#include <unistd.h>

extern "C" void VarneltStart(void);

int main(int argc, char **argv)
{
    // A closed pipe or a file-size limit must show as a failed call, not end the process midway.
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    if (!PosixComposeCommandLine(argc, argv)) {
        static const char refusal[] = "\r\nan argument holds a double quote\r\n";
        if (write(1, refusal, sizeof refusal - 1) < 0) {
        }
        return 1;
    }
    VarneltStart();
    return 0;
}
