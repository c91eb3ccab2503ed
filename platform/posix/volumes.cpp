// What the stand-in knows of file systems: which hold no data, which keep no holes, and how much
// room a volume gives a caller.
#include "platform/posix/handles.h"
#include "platform/posix/system.h"

#include <linux/capability.h>
#include <unistd.h>

namespace {
constexpr long MsdosMagic = 0x4d44; // vfat and msdos
constexpr long ExfatMagic = 0x2011BAB0;

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

// Whether the volume lets this process use the blocks it keeps for root, as ext4 does for root
// (its default reserve owner) and for a holder of CAP_SYS_RESOURCE. Asked only when it matters.
// geteuid cannot fail, so it needs no seam.
bool MayUseRootReserve() { return geteuid() == 0 || SystemHasCapability(CAP_SYS_RESOURCE) == 1; }
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
    // A volume that counts no blocks at all (ramfs) gives no figure to hold a reservation against.
    if (unit == 0 || handle.totalUnits == 0)
        return true;
    const unsigned long long needed = bytes / unit + (bytes % unit != 0);
    if (needed <= handle.freeUnits || (needed <= handle.reserveUnits && MayUseRootReserve()))
        return true;
    SetLastError(ERROR_DISK_FULL);
    return false;
}
