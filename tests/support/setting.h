// A system setting (a file under /proc/sys) changed for a test and put back to the value found,
// when the test ends, fails, or is stopped by SIGINT, SIGTERM or SIGHUP (as ctest's timeout does).
// Tests that change one also hold its ctest RESOURCE_LOCK, so that no two change it at once.
#pragma once

#include <string>

class SystemSetting {
public:
    SystemSetting(const char *path, const std::string &value);
    SystemSetting(const SystemSetting &) = delete;
    SystemSetting &operator=(const SystemSetting &) = delete;
    ~SystemSetting(); // puts the value found back

    bool set = false; // false where the setting cannot be read or written (not root)
};
