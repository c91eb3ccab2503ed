// What a volume lets a file be: no data at all, no holes, or so many more bytes.
#pragma once

#include "platform/posix/handles.h"

// Kernel file systems whose files store no data (proc, sysfs, ...): no files to resize.
bool PosixStoresNoData(long volumeType);
// File systems that cannot keep holes (FAT, exFAT).
bool PosixKeepsNoHoles(long volumeType);
// False, with ERROR_DISK_FULL, when the volume plainly cannot give this caller the bytes.
bool PosixRoomForReservation(const PosixHandle &handle, unsigned long long bytes);
