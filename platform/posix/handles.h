// What a HANDLE of the stand-in points to, and what the file calls share about it.
#pragma once

#include "platform/winapi.h"

#include <sys/stat.h>

struct PosixHandle {
    int descriptor;
    bool sparse;          // marked by FSCTL_SET_SPARSE
    long long position;   // set by SetFilePointer, used by SetEndOfFile
    bool leased;          // held under the write lease; false where the locks alone guard it
    long long leasedAt;   // when the lease was taken, in milliseconds of the monotonic clock
    bool returnHeld;      // a standard handle's last write ended in CR: LF may follow next
    bool infoUpToDate;    // info still tells the file as it is: under the lease, until a resize
    struct stat info;     // the file as the open found it, its times included
    // The volume as the open found it (statfs), so that no later step asks again.
    long volumeType;                  // f_type
    unsigned long long totalUnits;    // f_blocks: 0 where the volume counts no blocks (ramfs)
    unsigned long long freeUnits;     // f_bavail: what a caller without root's rights may allocate
    unsigned long long reserveUnits;  // f_bfree: that and the blocks the volume keeps for root
    unsigned long long unit;          // the size of those units in bytes (f_frsize, else f_bsize)
};

// A handle that only names a descriptor, as the standard handles do.
inline PosixHandle PosixDescriptorHandle(int descriptor)
{
    PosixHandle handle{};
    handle.descriptor = descriptor;
    return handle;
}

// The open file behind a handle, or null with ERROR_INVALID_HANDLE.
PosixHandle *PosixFileHandle(HANDLE file);
// Whether the file has fewer bytes allocated than its size: Linux's sparse file.
bool PosixHasHoles(const struct stat &info);

// Kernel file systems whose files store no data (proc, sysfs, ...): no files to resize.
bool PosixStoresNoData(long volumeType);
// File systems that cannot keep holes (FAT, exFAT).
bool PosixKeepsNoHoles(long volumeType);
// False, with ERROR_DISK_FULL, when the volume plainly cannot give this caller the bytes.
bool PosixRoomForReservation(const PosixHandle &handle, unsigned long long bytes);

// The bytes the memory cgroups along this process's hierarchy (v1 and v2) still let it charge, as
// tmpfs does for its blocks: the least of limit less usage; ULLONG_MAX where none limits it or that
// cannot be read.
unsigned long long PosixCgroupMemoryRoom();
// The clusters ext4 keeps from everybody on the device's volume, as the kernel reports them; -1
// where it does not.
long long PosixExt4KeptClusters(dev_t device);
// Whom the device's mount keeps root's reserve for (ext4's resuid and resgid, as the system counts
// user and group ids; 0 where not named otherwise). False where the mount cannot be found.
bool PosixReserveOwners(dev_t device, unsigned long long *user, unsigned long long *group);

// Where a file had blocks beyond its end before a reservation (as `fallocate -n` leaves them), so
// that a failed one gives back only its own.
struct PosixBeyondEnd {
    static constexpr int MostRanges = 8;
    long long start[MostRanges], end[MostRanges]; // byte ranges, in order, none overlapping
    int count;
    bool unknown; // not found out: nothing beyond the end may be given back
};
// Finds out where the file, as seen, has blocks beyond its end: one FS_IOC_FIEMAP.
void PosixFindBeyondEnd(const PosixHandle &handle, const struct stat &seen, PosixBeyondEnd *beyond);
// The bytes of from..to that were reserved already (none where that is unknown): a reservation
// needs room for the rest only, as after a run that was killed midway.
long long PosixReservedWithin(const PosixBeyondEnd &beyond, long long from, long long to);
// Gives back what a failed reservation from seen's size to target took beyond the end, and only
// that, asking the lease before each change; an earlier reservation stays, and where the run's own
// blocks cannot be told apart, or a file system cannot punch them without the earlier ones, they
// stay too. True where the file is still as the run left it (its size, and under the lease nobody
// else's change), so that its times may go back; the code becomes the sharing text once the lease
// is lost. Failures of the calls themselves are left unsaid: the step has failed.
bool PosixGiveBack(const PosixHandle &handle, const struct stat &seen, long long target,
                   const PosixBeyondEnd &before, DWORD *code);
// Whether the file is still this run's to change (asked before every change): where not, the code
// becomes the sharing text when the lease is lost, and stays where that cannot be told.
bool PosixStillOurs(const PosixHandle &handle, DWORD *code);
