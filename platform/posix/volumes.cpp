// What the stand-in knows of file systems: which hold no data, which keep no holes, and how much
// room a volume gives a caller.
#include "platform/posix/handles.h"
#include "platform/posix/system.h"

#include <linux/capability.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {
constexpr long MsdosMagic = 0x4d44; // vfat and msdos
constexpr long ExfatMagic = 0x2011BAB0;
constexpr long Ext4Magic = 0xEF53;  // ext2, ext3 and ext4 alike
constexpr long TmpfsMagic = 0x01021994;
// ext4 keeps 2 % of its clusters, at most 4096, that not even root may use. The blocks the volume
// reports leave out its own bookkeeping (up to a few percent), so the share is taken of a little
// less than the whole: never less than the kernel keeps.
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

// Whether the kernel lets this process use the blocks a volume keeps for root (ext4 grants them by
// user id, root's by default, and to a holder of CAP_SYS_RESOURCE): its user id must be root's
// as the kernel counts them, outside any namespace, and the capability counts only in the initial
// namespace, whose map is the whole range onto itself. Asked only when it matters.
bool MayUseRootReserve()
{
    char map[512];
    const uid_t user = geteuid(); // cannot fail: no seam
    if (SystemReadKernelFile("/proc/self/uid_map", map, sizeof map) < 0)
        return false; // unknown: no reserve
    bool initial = false, root = false;
    for (char *line = map; *line != '\0';) {
        char *end = nullptr;
        const unsigned long long inside = strtoull(line, &end, 10), outside = strtoull(end, &end, 10),
                                 count = strtoull(end, &end, 10);
        initial = initial || (inside == 0 && outside == 0 && count == 4294967295ULL);
        if (user >= inside && user - inside < count)
            root = outside + (user - inside) == 0;
        line = strchr(end, '\n');
        if (line == nullptr)
            break;
        ++line;
    }
    return root || (initial && SystemHasCapability(CAP_SYS_RESOURCE) == 1);
}

// What root may allocate beyond f_bfree's blocks: ext4's own reserve is left out.
unsigned long long RootUnits(const PosixHandle &handle)
{
    if (handle.volumeType != Ext4Magic)
        return handle.reserveUnits;
    unsigned long long kept = (handle.totalUnits + Ext4KeptShare - 1) / Ext4KeptShare;
    if (kept > Ext4MostKept)
        kept = Ext4MostKept;
    return handle.reserveUnits > kept ? handle.reserveUnits - kept : 0;
}

// The bytes of memory and swap free (MemAvailable and SwapFree), where tmpfs without a limit takes
// its blocks from; 0 when unknown.
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
    if (handle.totalUnits == 0) {
        // A volume that counts no blocks: ramfs gives no figure to hold a reservation against,
        // tmpfs without a limit takes its blocks from memory.
        if (handle.volumeType != TmpfsMagic || needed <= FreeMemory() / unit)
            return true;
    } else if (needed <= handle.freeUnits || (needed <= RootUnits(handle) && MayUseRootReserve())) {
        return true;
    }
    SetLastError(ERROR_DISK_FULL);
    return false;
}
