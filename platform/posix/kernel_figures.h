// Figures the kernel keeps about the room a volume or the memory grants this process.
#pragma once

#include <sys/types.h>

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
