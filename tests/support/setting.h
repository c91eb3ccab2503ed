// A system setting (a file under /proc/sys) changed for a test and put back to the value found,
// when the test ends, fails, or is stopped by SIGINT, SIGTERM or SIGHUP (as ctest's timeout does).
// A setting belongs to the whole machine: every suite on it (another checkout's, a package build's)
// takes the same lock, an flock on a fixed file of the system's lock folder, exclusively to change
// the setting and shared to depend on it, so that none sees another's value.
#pragma once

#include <string>

class SettingLock {
public:
    // Waits for the lock of the setting at path; without a lock folder to write, takes none.
    SettingLock(const char *path, bool changing);
    SettingLock(const SettingLock &) = delete;
    SettingLock &operator=(const SettingLock &) = delete;
    ~SettingLock();

private:
    int file = -1;
};

class SystemSetting {
public:
    SystemSetting(const char *path, const std::string &value);
    SystemSetting(const SystemSetting &) = delete;
    SystemSetting &operator=(const SystemSetting &) = delete;
    ~SystemSetting(); // puts the value found back, then lets the others in

    bool set = false; // false where the setting cannot be read or written (not root)

private:
    SettingLock lock;
};
