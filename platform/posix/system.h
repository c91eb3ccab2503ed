// The operating-system calls of the stand-in, each through one wrapper, so that tests can make
// any one of them fail (PosixFailCall in posix.h). Unused, the seam costs a count and a compare:
// no environment is read, no call is added.
#pragma once

#include <stddef.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "platform/posix/posix.h"

struct flock;
struct statfs;
struct termios;

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
int SystemFallocate(int descriptor, off_t offset, off_t length);
int SystemFtruncate(int descriptor, off_t length);
int SystemClose(int descriptor);
ssize_t SystemWrite(int descriptor, const void *bytes, size_t length);
ssize_t SystemRead(int descriptor, void *bytes, size_t length);
int SystemIsatty(int descriptor);
int SystemTcgetattr(int descriptor, struct termios *settings);
int SystemTcsetattr(int descriptor, const struct termios *settings);
int SystemTcflush(int descriptor);
char *SystemGetcwd(char *buffer, size_t size);
// The session that the terminal on the descriptor belongs to, or that of the process.
pid_t SystemSessionLeader(int descriptor);
