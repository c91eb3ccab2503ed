// What a HANDLE of the stand-in points to.
#pragma once

struct PosixHandle {
    int descriptor;
    bool sparse;            // marked by FSCTL_SET_SPARSE
    long long position;     // set by SetFilePointer, used by SetEndOfFile
    bool allocated;         // a file's handle, freed when closed; the standard ones are static
};
