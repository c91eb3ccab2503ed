// The operating-system calls of the stand-in, each through one wrapper, so that tests can make
// any one of them fail (PosixFailCall in posix.h). Unused, the seam costs a count and a compare:
// no environment is read, no call is added.
#pragma once

#include <stddef.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "platform/posix/posix.h"
#include "platform/posix/seams.h"

struct flock;
struct statfs;
struct termios;
struct timespec;

// Each returns what the system call returns, with errno set on failure. Calls that a signal can
// interrupt are retried on EINTR; close is not, since the descriptor is gone either way.
int SystemStat(const char *name, struct stat *info);
int SystemOpen(const char *name, int flags);
int SystemDuplicate(int descriptor, int lowest);
int SystemFstat(int descriptor, struct stat *info);
int SystemLease(int descriptor, int type);
int SystemFlock(int descriptor, int operation);
int SystemRecordLock(int descriptor, struct flock *lock);
int SystemStatfs(const char *name, struct statfs *info);
int SystemFallocate(int descriptor, int mode, off_t offset, off_t length);
int SystemFtruncate(int descriptor, off_t length);
int SystemClose(int descriptor);
ssize_t SystemWrite(int descriptor, const void *bytes, size_t length);
ssize_t SystemRead(int descriptor, void *bytes, size_t length);
int SystemIsatty(int descriptor);
int SystemTcgetattr(int descriptor, struct termios *settings);
int SystemTcsetattr(int descriptor, const struct termios *settings);
int SystemTcflush(int descriptor);
char *SystemGetcwd(char *buffer, size_t size);
// The type of the lease on the descriptor (F_RDLCK, F_WRLCK or F_UNLCK), or -1.
int SystemLeaseState(int descriptor);
// The system's lease-break time in seconds, or -1.
int SystemLeaseBreakSeconds();
int SystemFutimens(int descriptor, const struct timespec times[2]);
// 1 when the capability is in the process's effective set, 0 when not, -1 on failure.
int SystemHasCapability(int capability);
// The session that the terminal on the descriptor belongs to, or that of the process.
pid_t SystemSessionLeader(int descriptor);
