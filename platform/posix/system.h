// The operating-system calls of the stand-in, each through one wrapper, so that tests can make
// any one of them fail (PosixFailCall in seams.h). Unused, the seam costs a count and a compare:
// no environment is read, no call is added.
#pragma once

#include <stddef.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "platform/posix/posix.h"
#include "platform/posix/seams.h"

struct fiemap;
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
int SystemFstatfs(int descriptor, struct statfs *info);
// FS_IOC_FIEMAP: where the file's blocks lie in the range the map asks about.
int SystemFiemap(int descriptor, struct fiemap *map);
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
// The system's lease-break time in seconds, which may be 0 or negative; 0, or -1 on failure.
int SystemLeaseBreakSeconds(long *seconds);
// A small file of the kernel's (/proc/self/uid_map, /proc/meminfo) read into the buffer and
// terminated; the bytes read, or -1.
ssize_t SystemReadKernelFile(const char *name, char *buffer, size_t size);
// Unblocks the signals that ask the process to end, so that one that came meanwhile ends it now.
int SystemLetSignalsIn();
// 1 when a signal that asks the process to end is pending (held back since it came), 0 when none
// is or that cannot be told.
int SystemEndingSignalPending();
int SystemFutimens(int descriptor, const struct timespec times[2]);
// 1 when the capability is in the process's effective set, 0 when not, -1 on failure.
int SystemHasCapability(int capability);
// The session that the terminal on the descriptor belongs to, or that of the process.
pid_t SystemSessionLeader(int descriptor);
