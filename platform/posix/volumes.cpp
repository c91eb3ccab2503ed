// What the stand-in knows of file systems: which hold no data, which keep no holes, and how much
// room a volume gives a caller.
#include "platform/posix/handles.h"
#include "platform/posix/kernel_figures.h"
#include "platform/posix/system.h"
#include "platform/posix/volumes.h"

#include <linux/capability.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {
constexpr long MsdosMagic = 0x4d44; // vfat and msdos
constexpr long ExfatMagic = 0x2011BAB0;
constexpr long Ext4Magic = 0xEF53;  // ext2, ext3 and ext4 alike
constexpr long TmpfsMagic = 0x01021994;
// ext4 keeps 2 % of its clusters, at most 4096, that not even root may use. Where the kernel does
// not report it, it is estimated: the blocks the volume reports leave out its own bookkeeping (up
// to a few percent), so the share is taken of a little less than the whole.
constexpr unsigned long long Ext4KeptShare = 45, Ext4MostKept = 4096;

// Kernel file systems whose files store no data: a resize there is ignored or misread as
// something else (a value written to a setting), so they are no files to resize.
constexpr unsigned int NoDataVolumes[] = {
    0x9fa0,     // proc
    0x62656572, // sysfs
    0x64626720, // debugfs
    0x74726163, // tracefs
    0x73636673, // securityfs
    0x62656570, // configfs
    0x27e0eb,   // cgroup
    0x63677270, // cgroup2
    0x6165676c, // pstore
    0xde5e81e4, // efivarfs
    0xcafe4a11, // bpf
    0x1cd1,     // devpts
    0xf97cff8c, // selinuxfs
    0x43415d53, // smackfs
    0x5a3c69f0, // apparmorfs
    0x42494e4d, // binfmt_misc
    0x6e736673, // nsfs
    0x65735543, // fusectl
    0x19800202, // mqueue
    0x7655821,  // resctrl
    0x9fa2,     // usbdevfs
    0x9fa1,     // openpromfs
    0xabba1974, // xenfs
    0x6c6f6f70, // binderfs
    0x67596969, // rpc_pipefs
    0x6e667364, // nfsd
    0xaee71ee7, // gadgetfs
    0xa647361,  // functionfs
};

// Whether the caller's group, or one of its others, is this one (the ids as the system counts them).
bool InGroup(unsigned long long group)
{
    if (getegid() == group) // cannot fail: no seam
        return true;
    gid_t groups[256];
    const int count = getgroups(256, groups);
    for (int i = 0; i < count; ++i)
        if (groups[i] == group)
            return true;
    return false;
}

// Whether the kernel lets this process use the blocks a volume keeps for root. Its user id counts
// as the kernel counts ids, outside any namespace, and a capability only in the initial namespace,
// whose map is the whole range onto itself. ext4 grants its reserve to the user and the group its
// mount names (root's user by default) and to a holder of CAP_SYS_RESOURCE in effect; elsewhere
// root's user id or that capability. Asked only when it matters; unknown: no reserve.
bool MayUseRootReserve(const PosixHandle &handle)
{
    char map[512];
    const uid_t user = geteuid(); // cannot fail: no seam
    if (SystemReadKernelFile("/proc/self/uid_map", map, sizeof map) < 0)
        return false;
    bool initial = false, mapped = false;
    unsigned long long outsideUser = 0;
    for (char *line = map; *line != '\0';) {
        char *end = nullptr;
        const unsigned long long inside = strtoull(line, &end, 10), outside = strtoull(end, &end, 10),
                                 count = strtoull(end, &end, 10);
        initial = initial || (inside == 0 && outside == 0 && count == 4294967295ULL);
        if (user >= inside && user - inside < count) {
            mapped = true;
            outsideUser = outside + (user - inside);
        }
        line = strchr(end, '\n');
        if (line == nullptr)
            break;
        ++line;
    }
    if (handle.volumeType != Ext4Magic) {
        if (mapped && outsideUser == 0)
            return true;
    } else {
        unsigned long long reserveUser = 0, reserveGroup = 0;
        if (PosixReserveOwners(handle.info.st_dev, &reserveUser, &reserveGroup) &&
            ((mapped && outsideUser == reserveUser) || (initial && reserveGroup != 0 && InGroup(reserveGroup))))
            return true;
    }
    return initial && SystemHasCapability(CAP_SYS_RESOURCE) == 1;
}

// What root may allocate beyond f_bfree's blocks: ext4's own reserve is left out, as the kernel
// reports it for the volume, or estimated where it does not (2 % of the clusters, at most 4096).
unsigned long long RootUnits(const PosixHandle &handle)
{
    if (handle.volumeType != Ext4Magic)
        return handle.reserveUnits;
    const long long reported = PosixExt4KeptClusters(handle.info.st_dev);
    unsigned long long kept = reported >= 0 ? static_cast<unsigned long long>(reported)
                                            : (handle.totalUnits + Ext4KeptShare - 1) / Ext4KeptShare;
    if (reported < 0 && kept > Ext4MostKept)
        kept = Ext4MostKept;
    return handle.reserveUnits > kept ? handle.reserveUnits - kept : 0;
}

// The bytes of memory and swap free (MemAvailable and SwapFree), where tmpfs takes its blocks
// from; 0 when unknown.
unsigned long long FreeMemory()
{
    char info[4096];
    if (SystemReadKernelFile("/proc/meminfo", info, sizeof info) < 0)
        return 0;
    unsigned long long kibibytes = 0;
    static const char *const fields[] = {"MemAvailable:", "SwapFree:"};
    for (const char *field : fields) {
        const char *at = strstr(info, field);
        if (at != nullptr)
            kibibytes += strtoull(at + strlen(field), nullptr, 10);
    }
    return kibibytes * 1024;
}

// Whether memory holds the bytes for tmpfs: the machine's, and what the memory cgroups let this
// process charge (a container's limit), with or without a size limit of the volume's own.
bool MemoryHolds(unsigned long long bytes)
{
    return bytes <= FreeMemory() && bytes <= PosixCgroupMemoryRoom();
}
} // namespace

bool PosixStoresNoData(long volumeType)
{
    for (unsigned int magic : NoDataVolumes)
        if (static_cast<unsigned int>(volumeType) == magic)
            return true;
    return false;
}

bool PosixKeepsNoHoles(long volumeType) { return volumeType == MsdosMagic || volumeType == ExfatMagic; }

bool PosixRoomForReservation(const PosixHandle &handle, unsigned long long bytes)
{
    const unsigned long long unit = handle.unit;
    if (unit == 0)
        return true;
    const unsigned long long needed = bytes / unit + (bytes % unit != 0);
    // A volume that counts no blocks: ramfs gives no figure to hold a reservation against.
    const bool blocksHold = handle.totalUnits == 0 || needed <= handle.freeUnits ||
                            (needed <= RootUnits(handle) && MayUseRootReserve(handle));
    if (blocksHold && (handle.volumeType != TmpfsMagic || MemoryHolds(needed * unit)))
        return true;
    SetLastError(ERROR_DISK_FULL);
    return false;
}
