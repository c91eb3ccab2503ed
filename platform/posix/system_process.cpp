// The real calls about the process, its terminal and the kernel's settings behind the seam's
// table (system.cpp). Also the signal mask the whole run keeps, which the console and the exit
// lower once: it sits here, below them, so that nothing calls back up.
#include "platform/posix/system.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

namespace {
// The signals whose default action ends the process: the full set less the faults the program
// itself raises (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT: the kernel delivers them
// whatever the mask, and a program that faulted must not go on), SIGKILL and SIGSTOP (no mask holds
// them), the stops and those ignored by default (they end nothing), and the three kept blocked all
// along (SIGPIPE, SIGXFSZ, SIGIO: their causes show as failed calls or wait for the close). SIGHUP,
// SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGPWR, SIGSTKFLT, SIGXCPU
// and the real-time signals stay.
void EndingSignals(sigset_t *signals)
{
    static const int others[] = {SIGSEGV, SIGBUS,  SIGFPE,  SIGILL,  SIGTRAP,  SIGSYS,  SIGABRT, SIGKILL, SIGSTOP,
                                 SIGTSTP, SIGTTIN, SIGTTOU, SIGCHLD, SIGCONT,  SIGURG,  SIGWINCH,
                                 SIGPIPE, SIGXFSZ, SIGIO};
    sigfillset(signals);
    for (int signal : others)
        sigdelset(signals, signal);
}

} // namespace

// Reads the whole small file as one call: open, reads to its end or the buffer's, close.
ssize_t PosixRealReadKernelFile(const char *name, char *buffer, size_t size)
{
    const int file = open(name, O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return -1;
    size_t filled = 0;
    ssize_t n = 0;
    while (filled + 1 < size && (n = read(file, buffer + filled, size - 1 - filled)) > 0)
        filled += static_cast<size_t>(n);
    const int error = errno;
    close(file);
    buffer[filled] = '\0';
    errno = error;
    return n < 0 ? -1 : static_cast<ssize_t>(filled);
}

int PosixRealIsatty(int descriptor) { return isatty(descriptor); }
int PosixRealTcgetattr(int descriptor, struct termios *settings) { return tcgetattr(descriptor, settings); }
int PosixRealTcsetattr(int descriptor, const struct termios *settings)
{
    return tcsetattr(descriptor, TCSANOW, settings);
}
int PosixRealTcflush(int descriptor) { return tcflush(descriptor, TCIFLUSH); }

int SystemLeaseBreakSeconds(long *seconds)
{
    char digits[24] = "";
    if (PosixMake<PosixCallLeaseBreakTime>("/proc/sys/fs/lease-break-time", digits, sizeof digits) < 0)
        return -1;
    char *end = nullptr;
    errno = 0;
    *seconds = strtol(digits, &end, 10);
    if (end == digits || errno != 0) {
        errno = EINVAL;
        return -1;
    }
    return 0;
}

int PosixRealLetSignalsIn()
{
    sigset_t ending;
    EndingSignals(&ending);
    return sigprocmask(SIG_UNBLOCK, &ending, nullptr);
}

void PosixBlockSignals()
{
    sigset_t blocked;
    EndingSignals(&blocked);
    sigaddset(&blocked, SIGPIPE);
    sigaddset(&blocked, SIGXFSZ);
    sigaddset(&blocked, SIGIO);
    sigprocmask(SIG_BLOCK, &blocked, nullptr);
}

int PosixRealEndingSignalPending()
{
    sigset_t pending;
    if (sigpending(&pending) != 0)
        return -1; // unknown: the run goes on, and a request to end still waits for the step
    sigset_t ending, both;
    EndingSignals(&ending);
    sigandset(&both, &ending, &pending);
    return sigisemptyset(&both) ? 0 : 1;
}

void PosixLetSignalsIn()
{
    static bool done;
    if (done)
        return;
    done = true;
    // Where it fails, a signal that came meanwhile is lost with the exit; nothing else depends on it.
    SystemLetSignalsIn();
}

int PosixRealHasCapability(int capability)
{
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, data) != 0)
        return -1;
    return (data[capability / 32].effective >> (capability % 32) & 1) != 0;
}
