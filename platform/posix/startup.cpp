// The process start of the Linux build: what Windows prepares before a program's entry point.
#include "platform/posix/posix.h"
#include "platform/posix/system.h"

extern "C" void VarneltStart(void);

int main(int argc, char **argv)
{
    PosixBlockSignals();
    if (!PosixComposeCommandLine(argc, argv)) {
        static const char refusal[] = "\nan argument holds a double quote\n";
        if (SystemWrite(1, refusal, sizeof refusal - 1) < 0) {
        }
        PosixLetSignalsIn();
        return 1;
    }
    VarneltStart();
    return 0;
}
