// What a HANDLE of the stand-in points to.
#pragma once

#include <sys/stat.h>

struct PosixHandle {
    int descriptor;
    bool sparse;            // marked by FSCTL_SET_SPARSE
    long long position;     // set by SetFilePointer, used by SetEndOfFile
    bool current;           // info still tells the file as it is: under the lease, until a resize
    struct stat info;       // the file as the open found it
    // The volume as the open found it (statfs), so that no later step asks again.
    long volumeType;                  // f_type
    unsigned long long freeUnits;     // f_bavail: what this caller may still allocate
    unsigned long long unit;          // the size of those units in bytes (f_frsize, else f_bsize)
};
