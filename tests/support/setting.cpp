// Changes a system setting for a test and puts the value found back, however the test ends.
#include "tests/support/setting.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {
// One setting at a time, kept where a signal handler can reach it without allocating.
char settingPath[256];
char found[64];
ssize_t foundLength = -1;

// Writes the bytes to the setting; whether all went in.
bool Write(const char *bytes, size_t length)
{
    const int file = open(settingPath, O_WRONLY | O_CLOEXEC);
    const bool written = file >= 0 && write(file, bytes, length) == static_cast<ssize_t>(length);
    close(file);
    return written;
}

void PutBackAndEnd(int signal)
{
    if (foundLength > 0)
        Write(found, static_cast<size_t>(foundLength));
    ::signal(signal, SIG_DFL);
    raise(signal);
}
} // namespace

SettingLock::SettingLock(const char *path, bool changing)
{
    // The lock's name comes from the setting's, so that every suite finds the same file.
    std::string name = path;
    for (char &c : name)
        if (c == '/')
            c = '-';
    for (const char *folder : {"/run/lock", "/var/lock"}) {
        file = open((std::string(folder) + "/varnelt-setting" + name + ".lock").c_str(),
                    O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
        if (file >= 0)
            break;
    }
    while (file >= 0 && flock(file, changing ? LOCK_EX : LOCK_SH) != 0)
        if (errno != EINTR) {
            close(file);
            file = -1;
        }
}

SettingLock::~SettingLock()
{
    if (file >= 0)
        close(file); // the lock goes with it, as it does when the process ends
}

SystemSetting::SystemSetting(const char *path, const std::string &value) : lock(path, true)
{
    if (foundLength >= 0 || strlen(path) >= sizeof settingPath)
        return; // one at a time
    strcpy(settingPath, path);
    const int file = open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return;
    foundLength = read(file, found, sizeof found);
    close(file);
    if (foundLength <= 0) {
        foundLength = -1;
        return;
    }
    for (int stop : {SIGINT, SIGTERM, SIGHUP})
        signal(stop, PutBackAndEnd);
    set = Write(value.data(), value.size());
}

SystemSetting::~SystemSetting()
{
    if (foundLength > 0)
        Write(found, static_cast<size_t>(foundLength));
    foundLength = -1;
    for (int stop : {SIGINT, SIGTERM, SIGHUP})
        signal(stop, SIG_DFL);
}
