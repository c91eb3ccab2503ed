// What the POSIX stand-in offers beyond the Windows calls: the errno translation it shares between
// all calls, and seams for tests.
#pragma once

#include "platform/winapi.h"

// The Win32 code for an errno value.
DWORD PosixErrorCode(int error);
// The Windows message for a Win32 code, without its line end, or null when there is none.
LPCSTR PosixMessageText(DWORD code);
// Sets the last-error code to the Win32 code of the current errno.
void PosixSetErrorFromErrno();

// Blocks the signals that would end the process midway through a resize: a closed pipe and a
// file-size limit then show as failed calls, and another opener's break of the lease waits for
// the close. Blocked, not ignored: one call for all three.
void PosixBlockSignals();
// Composes the command line GetCommandLineA returns from an argument vector. False when an
// argument holds a double quote, which could not reach the program unchanged.
bool PosixComposeCommandLine(int argc, char **argv);
// Sets the raw command line directly (tests).
void PosixSetCommandLine(LPCSTR line);
// Makes GetCommandLineW give this line instead of the 8-bit one widened, as a system that mapped
// characters to look-alikes on the way to the 8-bit line does; null undoes it (tests).
void PosixSetWideCommandLine(LPCWSTR line);
// Makes FormatMessageA give exactly this text for the code, line ends and all; null gives the
// table's text again. The text must outlive its use (tests).
void PosixSetMessageText(DWORD code, LPCSTR text);
// Makes GetProcAddress miss StrToInt64ExA, as on a system whose library lacks it (tests).
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
    PosixCallKinds
};

// Makes the nth call of this kind from now on (1 for the next) fail with the errno, without
// making it; nth 0 clears the fault. One fault at a time (tests).
void PosixFailCall(PosixCall call, unsigned nth, int error);
// Counts the calls of each kind into this table of PosixCallKinds entries from now on, for
// example in memory shared with the process that started a run; null counts into the stand-in's
// own table again. The counts start from what the table holds (tests).
void PosixCountCallsInto(unsigned *counts);
// Makes statfs report this file-system type (f_type) from now on, as on a volume of that kind;
// 0 reports the real one again (tests).
void PosixFakeVolumeType(long type);
// Makes ftruncate and fallocate answer success without doing anything, as a file system that
// ignores a resize does (tests).
void PosixIgnoreResizes(bool ignored);
