// The real calls behind the seam's table (calls.h), and the table itself. The calls about the
// process, its terminal and the kernel's settings are in system_process.cpp; the answers that no
// system call gives are beside the Windows calls that use them.
#include "platform/posix/system.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>

// Defined beside what uses them.
int PosixRealIsatty(int descriptor);
int PosixRealTcgetattr(int descriptor, struct termios *settings);
int PosixRealTcsetattr(int descriptor, const struct termios *settings);
int PosixRealTcflush(int descriptor);
ssize_t PosixRealReadKernelFile(const char *name, char *buffer, size_t size);
int PosixRealLetSignalsIn();
int PosixRealEndingSignalPending();
int PosixRealHasCapability(int capability);
size_t PosixRealMessage(DWORD code, char *message, size_t room);
LPWSTR PosixRealWideCommandLine();
HWND PosixRealConsoleWindow();
FARPROC PosixRealProcAddress(HMODULE module, LPCSTR name);
BOOL PosixRealLeadsTwoBytes(BYTE byte);
int PosixRealWiden(LPCSTR bytes, int length, LPWSTR wide, int room);

namespace {
int Duplicate(int descriptor, int lowest) { return fcntl(descriptor, F_DUPFD_CLOEXEC, lowest); }
int Lease(int descriptor, int type) { return fcntl(descriptor, F_SETLEASE, type); }
int RecordLock(int descriptor, struct flock *lock) { return fcntl(descriptor, F_OFD_SETLK, lock); }
int Open(const char *name, int flags) { return open(name, flags); }
int Fiemap(int descriptor, struct fiemap *map) { return ioctl(descriptor, FS_IOC_FIEMAP, map); }
int LeaseState(int descriptor) { return fcntl(descriptor, F_GETLEASE); }
int Stat(const char *name, struct stat *info) { return stat(name, info); }
int Fstat(int descriptor, struct stat *info) { return fstat(descriptor, info); }

long long Milliseconds()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}
} // namespace

PosixCallTable PosixSystem = {
    Stat, Open, Duplicate, Fstat, Lease, flock, RecordLock, statfs, fallocate, ftruncate, close, write, read,
    PosixRealIsatty, PosixRealTcgetattr, PosixRealTcsetattr, PosixRealTcflush, getcwd,
    LeaseState, PosixRealReadKernelFile, futimens, PosixRealHasCapability, fstatfs, Fiemap,
    PosixRealReadKernelFile, PosixRealLetSignalsIn, PosixRealEndingSignalPending,
    Milliseconds, PosixRealMessage, PosixRealWideCommandLine, PosixRealConsoleWindow,
    PosixRealProcAddress, PosixRealLeadsTwoBytes, PosixRealWiden,
};

long long PosixMilliseconds() { return PosixSystem.Clock(); }

void Sleep(DWORD milliseconds)
{
    struct timespec rest = {static_cast<time_t>(milliseconds / 1000),
                            static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}
