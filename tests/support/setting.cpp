#include "tests/support/setting.h"

#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

namespace {
// One setting at a time, kept where a signal handler can reach it without allocating.
char settingPath[256];
char found[64];
ssize_t foundLength = -1;

void PutBack()
{
    const int file = foundLength > 0 ? open(settingPath, O_WRONLY | O_CLOEXEC) : -1;
    if (file >= 0) {
        if (write(file, found, static_cast<size_t>(foundLength)) < 0) {
        }
        close(file);
    }
}

void PutBackAndEnd(int signal)
{
    PutBack();
    foundLength = -1;
    ::signal(signal, SIG_DFL);
    raise(signal);
}
} // namespace

SystemSetting::SystemSetting(const char *path, const std::string &value)
{
    if (foundLength >= 0 || strlen(path) >= sizeof settingPath)
        return; // one at a time
    strcpy(settingPath, path);
    const int file = open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return;
    foundLength = read(file, found, sizeof found);
    close(file);
    if (foundLength <= 0)
        return;
    for (int stop : {SIGINT, SIGTERM, SIGHUP})
        signal(stop, PutBackAndEnd);
    const int out = open(path, O_WRONLY | O_CLOEXEC);
    set = out >= 0 && write(out, value.data(), value.size()) == static_cast<ssize_t>(value.size());
    if (out >= 0)
        close(out);
}

SystemSetting::~SystemSetting()
{
    if (foundLength < 0)
        return;
    PutBack();
    foundLength = -1;
    for (int stop : {SIGINT, SIGTERM, SIGHUP})
        signal(stop, SIG_DFL);
}
