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
