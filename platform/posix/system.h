// The operating-system calls of the stand-in, each made through its entry of the seam's table
// (calls.h), so that a test can replace any one of them.
#pragma once

#include "platform/posix/calls.h"

// Each returns what the system call returns, with errno set on failure. Calls that a signal can
// interrupt are retried on EINTR; close is not, since the descriptor is gone either way.
inline int SystemStat(const char *name, struct stat *info) { return PosixMake<PosixCallStat>(name, info); }
inline int SystemOpen(const char *name, int flags) { return PosixMake<PosixCallOpen>(name, flags); }
inline int SystemDuplicate(int descriptor, int lowest) { return PosixMake<PosixCallDuplicate>(descriptor, lowest); }
inline int SystemFstat(int descriptor, struct stat *info) { return PosixMake<PosixCallFstat>(descriptor, info); }
inline int SystemLease(int descriptor, int type) { return PosixMake<PosixCallLease>(descriptor, type); }
inline int SystemFlock(int descriptor, int operation) { return PosixMake<PosixCallFlock>(descriptor, operation); }
inline int SystemRecordLock(int descriptor, struct flock *lock)
{
    return PosixMake<PosixCallRecordLock>(descriptor, lock);
}
inline int SystemStatfs(const char *name, struct statfs *info) { return PosixMake<PosixCallStatfs>(name, info); }
inline int SystemFstatfs(int descriptor, struct statfs *info) { return PosixMake<PosixCallFstatfs>(descriptor, info); }
// FS_IOC_FIEMAP: where the file's blocks lie in the range the map asks about.
inline int SystemFiemap(int descriptor, struct fiemap *map) { return PosixMake<PosixCallFiemap>(descriptor, map); }
inline int SystemFallocate(int descriptor, int mode, off_t offset, off_t length)
{
    return PosixMake<PosixCallFallocate>(descriptor, mode, offset, length);
}
inline int SystemFtruncate(int descriptor, off_t length) { return PosixMake<PosixCallFtruncate>(descriptor, length); }
inline int SystemClose(int descriptor) { return PosixMake<PosixCallClose>(descriptor); }
inline ssize_t SystemWrite(int descriptor, const void *bytes, size_t length)
{
    return PosixMake<PosixCallWrite>(descriptor, bytes, length);
}
inline ssize_t SystemRead(int descriptor, void *bytes, size_t length)
{
    return PosixMake<PosixCallRead>(descriptor, bytes, length);
}
inline int SystemIsatty(int descriptor) { return PosixMake<PosixCallIsatty>(descriptor); }
inline int SystemTcgetattr(int descriptor, struct termios *settings)
{
    return PosixMake<PosixCallTcgetattr>(descriptor, settings);
}
inline int SystemTcsetattr(int descriptor, const struct termios *settings)
{
    return PosixMake<PosixCallTcsetattr>(descriptor, settings);
}
inline int SystemTcflush(int descriptor) { return PosixMake<PosixCallTcflush>(descriptor); }
inline char *SystemGetcwd(char *buffer, size_t size) { return PosixMake<PosixCallGetcwd>(buffer, size); }
// The type of the lease on the descriptor (F_RDLCK, F_WRLCK or F_UNLCK), or -1.
inline int SystemLeaseState(int descriptor) { return PosixMake<PosixCallLeaseState>(descriptor); }
// The system's lease-break time in seconds, which may be 0 or negative; 0, or -1 on failure.
int SystemLeaseBreakSeconds(long *seconds);
// A small file of the kernel's (/proc/self/uid_map, /proc/meminfo) read into the buffer and
// terminated; the bytes read, or -1.
inline ssize_t SystemReadKernelFile(const char *name, char *buffer, size_t size)
{
    return PosixMake<PosixCallKernelFile>(name, buffer, size);
}
// Unblocks the signals that ask the process to end, so that one that came meanwhile ends it now.
inline int SystemLetSignalsIn() { return PosixMake<PosixCallSignalMask>(); }
// 1 when a signal that asks the process to end is pending (held back since it came), 0 when none
// is or that cannot be told.
inline int SystemEndingSignalPending() { return PosixMake<PosixCallPendingSignals>() > 0 ? 1 : 0; }
inline int SystemFutimens(int descriptor, const struct timespec times[2])
{
    return PosixMake<PosixCallFutimens>(descriptor, times);
}
// 1 when the capability is in the process's effective set, 0 when not, -1 on failure.
inline int SystemHasCapability(int capability) { return PosixMake<PosixCallCapget>(capability); }

// Milliseconds of the monotonic clock, which costs no system call; Sleep waits on the same clock.
long long PosixMilliseconds();

// Blocks the signals that would end the process midway through a resize: a closed pipe and a
// file-size limit then show as failed calls, another opener's break of the lease waits for the
// close, and every other signal whose default action ends the process (but the faults it raises
// itself) waits until the size step is done or undone. Blocked, not ignored: one call for all.
void PosixBlockSignals();
// Lets the requests to end in, once: one that came while they were blocked ends the process by
// that signal now, as the shell expects. Called after the size step, before a wait for a key, and
// at the exit.
void PosixLetSignalsIn();
