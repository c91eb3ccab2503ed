// The process start of the Linux build: what Windows prepares before a program's entry point.
#include "platform/posix/posix.h"
#include "platform/posix/system.h"

#include <signal.h>

extern "C" void VarneltStart(void);

int main(int argc, char **argv)
{
    // A closed pipe or a file-size limit must show as a failed call, and another opener's break
    // of the lease must wait for the close, never end the process midway. Blocked, not ignored:
    // one call for all three, and the calls still fail with EPIPE and EFBIG.
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGPIPE);
    sigaddset(&blocked, SIGXFSZ);
    sigaddset(&blocked, SIGIO);
    sigprocmask(SIG_BLOCK, &blocked, nullptr);
    if (!PosixComposeCommandLine(argc, argv)) {
        static const char refusal[] = "\r\nan argument holds a double quote\r\n";
        if (SystemWrite(1, refusal, sizeof refusal - 1) < 0) {
        }
        return 1;
    }
    VarneltStart();
    return 0;
}
