// The seam between the stand-in and the operating system: one table of calls, each kind with the
// name a report gives it, whether a signal's EINTR makes it try again, and the function the product
// calls through, set to the real call. Tests replace an entry by name and put it back; the product
// itself never changes the table.
#pragma once

#include "platform/winapi.h"

#include <errno.h>
#include <stddef.h>
#include <sys/types.h>

struct fiemap;
struct flock;
struct stat;
struct statfs;
struct termios;
struct timespec;

// The kinds of call: one use, not one system call (the three uses of fcntl are three kinds). Each
// row: kind, name, retried on EINTR, result, parameters.
#define POSIX_CALL_KINDS(X)                                                                            \
    X(Stat, "stat", true, int, (const char *, struct stat *))                /* stat of a name */        \
    X(Open, "open", true, int, (const char *, int))                                                    \
    X(Duplicate, "duplicate", true, int, (int, int))      /* F_DUPFD_CLOEXEC off a standard one */    \
    X(Fstat, "fstat", true, int, (int, struct stat *))                                                 \
    X(Lease, "lease", true, int, (int, int))              /* fcntl F_SETLEASE */                      \
    X(Flock, "flock", true, int, (int, int))                                                           \
    X(RecordLock, "record lock", true, int, (int, struct flock *)) /* fcntl F_OFD_SETLK */            \
    X(Statfs, "statfs", true, int, (const char *, struct statfs *)) /* statfs of a name */            \
    X(Fallocate, "fallocate", true, int, (int, int, off_t, off_t))                                     \
    X(Ftruncate, "ftruncate", true, int, (int, off_t))                                                 \
    X(Close, "close", false, int, (int)) /* the descriptor is gone either way */                       \
    X(Write, "write", true, ssize_t, (int, const void *, size_t))                                      \
    X(Read, "read", true, ssize_t, (int, void *, size_t))                                              \
    X(Isatty, "isatty", false, int, (int)) /* 0 and errno on failure */                                \
    X(Tcgetattr, "tcgetattr", true, int, (int, struct termios *))                                      \
    X(Tcsetattr, "tcsetattr", true, int, (int, const struct termios *))                                \
    X(Tcflush, "tcflush", true, int, (int))                                                            \
    X(Getcwd, "getcwd", false, char *, (char *, size_t))                                               \
    X(LeaseState, "lease state", true, int, (int))        /* fcntl F_GETLEASE */                      \
    X(LeaseBreakTime, "lease break time", true, ssize_t, (const char *, char *, size_t))               \
    X(Futimens, "futimens", true, int, (int, const struct timespec *))                                 \
    X(Capget, "capget", false, int, (int)) /* 1 when in the effective set, 0 when not, -1 */           \
    X(Fstatfs, "fstatfs", true, int, (int, struct statfs *)) /* of the open file */                   \
    X(Fiemap, "fiemap", true, int, (int, struct fiemap *))   /* ioctl FS_IOC_FIEMAP */                \
    X(KernelFile, "kernel file", true, ssize_t, (const char *, char *, size_t)) /* read whole */       \
    X(SignalMask, "signal mask", false, int, ())     /* sigprocmask letting the ending signals in */   \
    X(PendingSignals, "pending signals", false, int, ()) /* 1 when one that ends is pending, 0, -1 */

enum PosixCall {
#define POSIX_CALL_ENUM(kind, ...) PosixCall##kind,
    POSIX_CALL_KINDS(POSIX_CALL_ENUM)
#undef POSIX_CALL_ENUM
    PosixCallKinds
};

inline constexpr const char *PosixCallNames[PosixCallKinds] = {
#define POSIX_CALL_NAME(kind, name, ...) name,
    POSIX_CALL_KINDS(POSIX_CALL_NAME)
#undef POSIX_CALL_NAME
};

inline constexpr bool PosixCallRetried[PosixCallKinds] = {
#define POSIX_CALL_RETRIED(kind, name, retried, ...) retried,
    POSIX_CALL_KINDS(POSIX_CALL_RETRIED)
#undef POSIX_CALL_RETRIED
};

// The table: an entry per kind, then the answers of the system that no system call gives.
struct PosixCallTable {
#define POSIX_CALL_ENTRY(kind, name, retried, result, parameters) result(*kind) parameters;
    POSIX_CALL_KINDS(POSIX_CALL_ENTRY)
#undef POSIX_CALL_ENTRY
    long long (*Clock)();                           // milliseconds of the monotonic clock
    size_t (*Message)(DWORD, char *, size_t);       // a code's text, line end included, cut to room
    LPWSTR (*WideCommandLine)();                    // GetCommandLineW
    HWND (*ConsoleWindow)();                        // GetConsoleWindow
    FARPROC (*ProcAddress)(HMODULE, LPCSTR);        // GetProcAddress
    BOOL (*LeadsTwoBytes)(BYTE);                    // IsDBCSLeadByte in the process's code page
    int (*Widen)(LPCSTR, int, LPWSTR, int);         // MultiByteToWideChar from the process's code page
};
extern PosixCallTable PosixSystem;

// The entry of a kind, for code that handles every kind alike.
template <PosixCall Kind> struct PosixEntry;
#define POSIX_CALL_MEMBER(kind, ...)                                                                   \
    template <> struct PosixEntry<PosixCall##kind> {                                                   \
        static constexpr auto member = &PosixCallTable::kind;                                          \
    };
POSIX_CALL_KINDS(POSIX_CALL_MEMBER)
#undef POSIX_CALL_MEMBER

// Makes the call of the kind through the table; one that a signal interrupted is made again where
// the kind is retried, each try a call of its own.
template <PosixCall Kind, typename... Arguments> inline auto PosixMake(Arguments... arguments)
{
    for (;;) {
        const auto result = (PosixSystem.*PosixEntry<Kind>::member)(arguments...);
        if constexpr (!PosixCallRetried[Kind])
            return result;
        else if (result >= 0 || errno != EINTR)
            return result;
    }
}
