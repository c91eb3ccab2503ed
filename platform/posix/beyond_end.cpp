// What lies beyond a file's end: found out before a reservation, so that a failed one gives back
// only the blocks this run took and the file keeps what was reserved there before.
#include "platform/posix/beyond_end.h"
#include "platform/posix/handles.h"
#include "platform/posix/system.h"

#include <fcntl.h>
#include <linux/fiemap.h>
#include <string.h>

namespace {
// Room for the pieces one map call reports: unwritten extents hold up to 128 MiB on ext4, so a
// reservation of several GiB before the run still fits.
constexpr unsigned MostExtents = 64;

// The map and its extents, which follow it; too large for a small stack.
alignas(struct fiemap) unsigned char mapBytes[sizeof(struct fiemap) + MostExtents * sizeof(struct fiemap_extent)];

// Adds the range, joined to the last one where they meet; false when there is no room.
bool Add(PosixBeyondEnd *beyond, long long start, long long end)
{
    const int last = beyond->count - 1;
    if (last >= 0 && start <= beyond->end[last]) {
        if (end > beyond->end[last])
            beyond->end[last] = end;
        return true;
    }
    if (beyond->count == PosixBeyondEnd::MostRanges)
        return false;
    beyond->start[beyond->count] = start;
    beyond->end[beyond->count++] = end;
    return true;
}

// Punches from..to beyond the end, once the lease says the file is still this run's.
bool Punch(const PosixHandle &handle, long long from, long long to, DWORD *code)
{
    if (from >= to)
        return true;
    if (!PosixStillOurs(handle, code))
        return false;
    SystemFallocate(handle.descriptor, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, from, to - from);
    return true;
}
} // namespace

void PosixFindBeyondEnd(const PosixHandle &handle, const struct stat &seen, PosixBeyondEnd *beyond)
{
    *beyond = PosixBeyondEnd{};
    const long long size = seen.st_size;
    memset(mapBytes, 0, sizeof mapBytes);
    struct fiemap &map = *reinterpret_cast<struct fiemap *>(mapBytes);
    map.fm_start = static_cast<unsigned long long>(size);
    map.fm_length = FIEMAP_MAX_OFFSET - static_cast<unsigned long long>(size);
    map.fm_extent_count = MostExtents;
    if (SystemFiemap(handle.descriptor, &map) != 0) {
        // No map here (tmpfs): no more blocks than the size needs means nothing lies beyond it,
        // as the reservation is made only on a file without holes.
        const long long block = seen.st_blksize > 0 ? seen.st_blksize : 4096;
        beyond->unknown = seen.st_blocks * 512LL > (size + block - 1) / block * block;
        return;
    }
    // The last block's unused part is the file's own, not a range beyond the end: it must not
    // take a place in the table.
    const long long unit = handle.unit > 0 ? static_cast<long long>(handle.unit) : 4096;
    const long long ownEnd = (size + unit - 1) / unit * unit;
    const unsigned mapped = map.fm_mapped_extents;
    for (unsigned i = 0; i < mapped && i < MostExtents; ++i) {
        const struct fiemap_extent &extent = map.fm_extents[i];
        const long long start = static_cast<long long>(extent.fe_logical);
        const long long end = start + static_cast<long long>(extent.fe_length);
        if (end <= ownEnd)
            continue;
        if (!Add(beyond, start > size ? start : size, end)) {
            beyond->unknown = true;
            return;
        }
    }
    // A full map whose last piece is not the file's last may have left some out.
    beyond->unknown = mapped == MostExtents && !(map.fm_extents[MostExtents - 1].fe_flags & FIEMAP_EXTENT_LAST);
}

long long PosixReservedWithin(const PosixBeyondEnd &beyond, long long from, long long to)
{
    long long reserved = 0;
    for (int i = 0; i < beyond.count && !beyond.unknown; ++i) {
        const long long start = beyond.start[i] > from ? beyond.start[i] : from;
        const long long end = beyond.end[i] < to ? beyond.end[i] : to;
        reserved += end > start ? end - start : 0;
    }
    return reserved;
}

bool PosixGiveBack(const PosixHandle &handle, const struct stat &seen, long long target,
                   const PosixBeyondEnd &before, DWORD *code)
{
    const long long size = seen.st_size;
    struct stat now;
    // Where the size is not the one this run left, another process wrote there (the locks alone
    // do not keep it out): its bytes may lie where the run's blocks are. Nothing is punched or cut.
    if (SystemFstat(handle.descriptor, &now) != 0 || now.st_size != size)
        return false;
    // As many blocks as before: the reservation took nothing, and nothing is given back. Where what
    // it took cannot be told from what was there, all of it stays.
    if (now.st_blocks == seen.st_blocks || before.unknown)
        return true;
    // Where a hole can be punched beyond the end, only the gaps between the earlier pieces.
    long long from = size;
    for (int i = 0; i < before.count && from < target; ++i) {
        if (!Punch(handle, from, before.start[i] < target ? before.start[i] : target, code))
            return false;
        if (before.end[i] > from)
            from = before.end[i];
    }
    if (!Punch(handle, from, target, code))
        return false;
    // Some file systems punch nothing beyond the end (ext4) but give back all of it at a cut to the
    // same size: only where all of it is this run's. An earlier reservation is never freed to be
    // made again (another process may take the room meanwhile): the run's blocks stay with it, at
    // most the range asked for, as after a kill.
    if (before.count == 0) {
        if (!PosixStillOurs(handle, code))
            return false;
        SystemFtruncate(handle.descriptor, size);
    }
    return true;
}
