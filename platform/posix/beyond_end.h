// What a file holds beyond its end, and the giving back of what a failed reservation took there.
#pragma once

#include "platform/posix/handles.h"

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
