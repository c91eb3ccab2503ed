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
// Makes GetProcAddress miss StrToInt64ExA, as on a system whose library lacks it.
void PosixHideStrToInt64ExA(bool hidden);

// The kinds of call, counted and failed apart. A kind is one use, not one system call: the three
// uses of fcntl fail independently.
enum PosixCall {
    PosixCallStat,       // stat of a name
    PosixCallOpen,
    PosixCallDuplicate,  // fcntl F_DUPFD_CLOEXEC, moving the file off a standard descriptor
    PosixCallFstat,
    PosixCallLease,      // fcntl F_SETLEASE
    PosixCallFlock,
    PosixCallRecordLock, // fcntl F_OFD_SETLK
    PosixCallStatfs,     // statfs of a name
    PosixCallFallocate,
    PosixCallFtruncate,
    PosixCallClose,
    PosixCallWrite,
    PosixCallRead,
    PosixCallIsatty,
    PosixCallTcgetattr,
    PosixCallTcsetattr,
    PosixCallTcflush,
    PosixCallSessionLeader, // tcgetsid, or getsid where the terminal tells none
    PosixCallGetcwd,
    PosixCallLeaseState,     // fcntl F_GETLEASE
    PosixCallLeaseBreakTime, // the lease-break time, read from /proc/sys/fs/lease-break-time
    PosixCallFutimens,
    PosixCallCapget,
    PosixCallFstatfs,     // fstatfs of the open file
    PosixCallFiemap,      // ioctl FS_IOC_FIEMAP
    PosixCallKernelFile,  // /proc/self/uid_map or /proc/meminfo, read whole
    PosixCallSignalMask,  // sigprocmask letting the ending signals in
    PosixCallKinds
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
// Sends the process the signal right before the nth call of the kind, as a user's Ctrl+C or kill
// that lands during it; nth 0 undoes it.
void PosixSignalBefore(PosixCall call, unsigned nth, int signal);
