// What the kernel tells beyond statfs about the room a volume gives: the memory cgroups that tmpfs
// charges, ext4's own reserve, and whom a volume's reserve for root is for. Each read through the
// seam as one small file of the kernel's.
#include "platform/posix/kernel_figures.h"
#include "platform/posix/system.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/sysmacros.h>

namespace {
// Room for the mount table of a busy container host; one whose table is longer is read as far as
// it goes, as if the rest were not there.
char mountTable[32768];
char cgroupPath[PATH_MAX];

// A line of /proc/self/mountinfo, split in place.
struct Mount {
    const char *device, *root, *point, *type, *options;
};

// Splits the line's fields: ID PARENT MAJ:MIN ROOT POINT OPTIONS [TAGS...] - TYPE SOURCE OPTIONS.
bool ReadMount(char *line, Mount *mount)
{
    const char *fields[6] = {};
    const char *type = nullptr, *source = nullptr;
    int count = 0;
    bool tagsOver = false;
    for (char *at = line; at != nullptr;) {
        char *field = at;
        at = strchr(at, ' ');
        if (at != nullptr)
            *at++ = '\0';
        if (count < 6)
            fields[count++] = field;
        else if (!tagsOver)
            tagsOver = strcmp(field, "-") == 0;
        else if (type == nullptr)
            type = field;
        else if (source == nullptr)
            source = field;
        else {
            *mount = {fields[2], fields[3], fields[4], type, field};
            return true;
        }
    }
    return false;
}

// The next line of the text, cut off in place; null after the last.
char *NextLine(char **rest)
{
    char *line = *rest;
    if (line == nullptr || *line == '\0')
        return nullptr;
    char *end = strchr(line, '\n');
    *rest = end != nullptr ? end + 1 : nullptr;
    if (end != nullptr)
        *end = '\0';
    return line;
}

// Reads the process's mount table anew and shows each mount to the visitor until it answers true;
// false where the table cannot be read.
template <typename Visitor> bool VisitMounts(Visitor visit)
{
    if (SystemReadKernelFile("/proc/self/mountinfo", mountTable, sizeof mountTable) < 0)
        return false;
    Mount mount;
    for (char *rest = mountTable, *line; (line = NextLine(&rest)) != nullptr;)
        if (ReadMount(line, &mount) && visit(mount))
            break;
    return true;
}

// The id an option of the list names ("resuid=ID"); 0, root's, where the list names none.
unsigned long long NamedId(const char *options, const char *option)
{
    const char *named = strstr(options, option);
    return named && (named == options || named[-1] == ',') ? strtoull(named + strlen(option), nullptr, 10) : 0;
}

// Whether the comma-separated list holds the word.
bool HasWord(const char *list, const char *word)
{
    const size_t length = strlen(word);
    for (const char *at = list; (at = strstr(at, word)) != nullptr; at += length)
        if ((at == list || at[-1] == ',') && (at[length] == '\0' || at[length] == ','))
            return true;
    return false;
}

// The number a small kernel file holds; false where it cannot be read or holds none ("max").
bool ReadNumber(const char *name, unsigned long long *number)
{
    char text[32];
    if (SystemReadKernelFile(name, text, sizeof text) < 0)
        return false;
    char *end = nullptr;
    *number = strtoull(text, &end, 10);
    return end != text;
}

// The least room the memory limits leave from the cgroup at path up to the mount's own top.
unsigned long long RoomAlong(const char *point, const char *root, const char *path, const char *limitName,
                             const char *usageName)
{
    const size_t rootLength = strcmp(root, "/") == 0 ? 0 : strlen(root);
    if (strncmp(path, root, rootLength) != 0)
        return ULLONG_MAX; // outside what this mount shows
    const char *relative = strcmp(path + rootLength, "/") == 0 ? "" : path + rootLength;
    const int top = snprintf(cgroupPath, sizeof cgroupPath, "%s", point);
    if (top < 0 || static_cast<size_t>(top) >= sizeof cgroupPath)
        return ULLONG_MAX;
    snprintf(cgroupPath + top, sizeof cgroupPath - top, "%s", relative);
    unsigned long long room = ULLONG_MAX;
    for (;;) {
        char *end = cgroupPath + strlen(cgroupPath);
        unsigned long long limit = 0, usage = 0;
        snprintf(end, cgroupPath + sizeof cgroupPath - end, "/%s", limitName);
        const bool limited = ReadNumber(cgroupPath, &limit);
        snprintf(end, cgroupPath + sizeof cgroupPath - end, "/%s", usageName);
        if (limited && ReadNumber(cgroupPath, &usage) && (limit > usage ? limit - usage : 0) < room)
            room = limit > usage ? limit - usage : 0;
        *end = '\0';
        char *slash = strrchr(cgroupPath, '/');
        if (end - cgroupPath <= top || slash == nullptr || slash - cgroupPath < top)
            return room;
        *slash = '\0';
    }
}
} // namespace

unsigned long long PosixCgroupMemoryRoom()
{
    // The memory hierarchies as mounted: cgroup v2, and v1's memory controller.
    Mount unified = {}, memory = {};
    char cgroups[4096];
    const bool known = VisitMounts([&](const Mount &mount) {
        if (strcmp(mount.type, "cgroup2") == 0)
            unified = mount;
        else if (strcmp(mount.type, "cgroup") == 0 && HasWord(mount.options, "memory"))
            memory = mount;
        return false;
    });
    if (!known || SystemReadKernelFile("/proc/self/cgroup", cgroups, sizeof cgroups) < 0)
        return ULLONG_MAX; // unknown: memory alone holds the reservation
    // This process's place in each: "0::PATH" for v2, "N:CONTROLLERS:PATH" for v1.
    unsigned long long room = ULLONG_MAX;
    for (char *rest = cgroups, *line; (line = NextLine(&rest)) != nullptr;) {
        char *controllers = strchr(line, ':');
        char *path = controllers ? strchr(controllers + 1, ':') : nullptr;
        if (path == nullptr)
            continue;
        *path++ = '\0';
        ++controllers;
        unsigned long long along = ULLONG_MAX;
        if (strncmp(line, "0:", 2) == 0 && *controllers == '\0' && unified.point)
            along = RoomAlong(unified.point, unified.root, path, "memory.max", "memory.current");
        else if (HasWord(controllers, "memory") && memory.point)
            along = RoomAlong(memory.point, memory.root, path, "memory.limit_in_bytes", "memory.usage_in_bytes");
        if (along < room)
            room = along;
    }
    return room;
}

long long PosixExt4KeptClusters(dev_t device)
{
    // The device's kernel name (sda1, loop0, dm-0) names ext4's folder for the volume.
    char name[64], text[512];
    snprintf(name, sizeof name, "/sys/dev/block/%u:%u/uevent", major(device), minor(device));
    if (SystemReadKernelFile(name, text, sizeof text) < 0)
        return -1;
    const char *at = strncmp(text, "DEVNAME=", 8) == 0 ? text : strstr(text, "\nDEVNAME=");
    if (at == nullptr)
        return -1;
    at += *at == '\n' ? 9 : 8;
    const size_t length = strcspn(at, "\n");
    char path[128];
    if (length == 0 || snprintf(path, sizeof path, "/sys/fs/ext4/%.*s/reserved_clusters", static_cast<int>(length),
                                at) >= static_cast<int>(sizeof path))
        return -1;
    unsigned long long clusters = 0;
    return ReadNumber(path, &clusters) && clusters <= LLONG_MAX ? static_cast<long long>(clusters) : -1;
}

bool PosixReserveOwners(dev_t device, unsigned long long *user, unsigned long long *group)
{
    char wanted[32];
    snprintf(wanted, sizeof wanted, "%u:%u", major(device), minor(device));
    bool found = false;
    VisitMounts([&](const Mount &mount) {
        if (strcmp(mount.device, wanted) != 0)
            return false;
        // Shown only where they are not root's: the kernel's defaults otherwise.
        *user = NamedId(mount.options, "resuid=");
        *group = NamedId(mount.options, "resgid=");
        return found = true;
    });
    return found;
}
