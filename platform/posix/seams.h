// Seams of the stand-in for tests: what the system would otherwise decide (the command line, a
// message, a missing function, a failing or ignored call, a volume's type), and the call counts.
#pragma once

#include "platform/winapi.h"

// Sets the raw command line directly.
void PosixSetCommandLine(LPCSTR line);
// Makes GetCommandLineW give this line instead of the 8-bit one widened, as a system that mapped
// characters to look-alikes on the way to the 8-bit line does; null undoes it.
void PosixSetWideCommandLine(LPCWSTR line);
// Makes FormatMessageA give exactly this text for the code, line ends and all; null gives the
// table's text again. The text must outlive its use.
void PosixSetMessageText(DWORD code, LPCSTR text);
// Makes GetConsoleWindow answer as on Windows, where a console window may be the tool's own: the
// terminal on standard input, owned by its session's leader. Without it the Linux build has none.
void PosixShowConsoleWindow(bool shown);
// Makes GetProcAddress miss StrToInt64ExA, as on a system whose library lacks it.
void PosixHideStrToInt64ExA(bool hidden);
// A process code page as a test describes it (from the system's own tables, say): which bytes lead
// a double-byte character, and the conversion MultiByteToWideChar makes, under its rules on length
// and room.
struct PosixCodePage {
    bool (*leadsTwoBytes)(BYTE byte);
    int (*widen)(LPCSTR bytes, int length, LPWSTR wide, int room);
};
// Makes CP_ACP this code page for MultiByteToWideChar (and so GetCommandLineW) and IsDBCSLeadByte,
// as a legacy ANSI code page of Windows; null gives the stand-in's own back, where each byte is the
// character of its number and none leads another.
void PosixSetCodePage(const PosixCodePage *page);

// The kinds of call, counted and failed apart, each with the name a report gives it. A kind is one
// use, not one system call: the three uses of fcntl fail independently. The one list makes both
// the enum and the names, so that a table kept per kind can be checked against it.
#define POSIX_CALL_KINDS(X)                                                                            \
    X(Stat, "stat")                       /* stat of a name */                                         \
    X(Open, "open")                                                                                    \
    X(Duplicate, "duplicate")             /* fcntl F_DUPFD_CLOEXEC, off a standard descriptor */       \
    X(Fstat, "fstat")                                                                                  \
    X(Lease, "lease")                     /* fcntl F_SETLEASE */                                       \
    X(Flock, "flock")                                                                                  \
    X(RecordLock, "record lock")          /* fcntl F_OFD_SETLK */                                      \
    X(Statfs, "statfs")                   /* statfs of a name */                                       \
    X(Fallocate, "fallocate")                                                                          \
    X(Ftruncate, "ftruncate")                                                                          \
    X(Close, "close")                                                                                  \
    X(Write, "write")                                                                                  \
    X(Read, "read")                                                                                    \
    X(Isatty, "isatty")                                                                                \
    X(Tcgetattr, "tcgetattr")                                                                          \
    X(Tcsetattr, "tcsetattr")                                                                          \
    X(Tcflush, "tcflush")                                                                              \
    X(SessionLeader, "session leader")    /* tcgetsid, or getsid where the terminal tells none */      \
    X(Getcwd, "getcwd")                                                                                \
    X(LeaseState, "lease state")          /* fcntl F_GETLEASE */                                       \
    X(LeaseBreakTime, "lease break time") /* read from /proc/sys/fs/lease-break-time */                \
    X(Futimens, "futimens")                                                                            \
    X(Capget, "capget")                                                                                \
    X(Fstatfs, "fstatfs")                 /* fstatfs of the open file */                               \
    X(Fiemap, "fiemap")                   /* ioctl FS_IOC_FIEMAP */                                    \
    X(KernelFile, "kernel file")          /* /proc/self/uid_map or /proc/meminfo, read whole */        \
    X(SignalMask, "signal mask")          /* sigprocmask letting the ending signals in */          \
    X(PendingSignals, "pending signals")  /* sigpending, right before the first change */

enum PosixCall {
#define POSIX_CALL_ENUM(kind, name) PosixCall##kind,
    POSIX_CALL_KINDS(POSIX_CALL_ENUM)
#undef POSIX_CALL_ENUM
    PosixCallKinds
};

// Each kind's name, for reports of the tests.
inline constexpr const char *PosixCallNames[PosixCallKinds] = {
#define POSIX_CALL_NAME(kind, name) name,
    POSIX_CALL_KINDS(POSIX_CALL_NAME)
#undef POSIX_CALL_NAME
};

// How an injected fault meets the call.
enum class PosixFault {
    Once,         // the nth call fails without being made
    FromThenOn,   // the nth and every later call of the kind fail without being made (never EINTR)
    AfterTheWork, // the nth call is made, then reports the error: a fallocate after half its range
};
// Makes the nth call of this kind from now on (1 for the next) fail with the errno; nth 0 clears
// the fault. An injected EINTR takes the way a real one takes. One fault at a time.
void PosixFailCall(PosixCall call, unsigned nth, int error, PosixFault how = PosixFault::Once);
// Counts the calls of each kind into this table of PosixCallKinds entries from now on, for
// example in memory shared with the process that started a run; null counts into the stand-in's
// own table again. The counts start from what the table holds.
void PosixCountCallsInto(unsigned *counts);
// Makes statfs report this file-system type (f_type) from now on, as on a volume of that kind;
// 0 reports the real one again. Only for the open file (fstatfs): as when the name led elsewhere
// a moment before the open.
void PosixFakeVolumeType(long type, bool openFileOnly = false);
// Makes ftruncate and fallocate answer success without doing anything, as a file system that
// ignores a resize does.
void PosixIgnoreResizes(bool ignored);
// From the nth lease-state query on (1 for the next), the lease reads as broken by an opener that
// has waited out the break time, as when another process opens the file during a long call; 0
// undoes it.
void PosixLoseLeaseAt(unsigned nth);
// Runs the action with the argument right before the nth call of the kind from now on (1 for the
// next), as another process or a signal would come in during the run: a user's Ctrl+C, a writer
// that ignores the locks; nth 0 undoes it. One action at a time.
void PosixRunBefore(PosixCall call, unsigned nth, void (*action)(int), int argument);
