// The lock of a machine-wide setting is one for every suite on the machine: a suite that would
// change the lease-break time waits while another checkout's suite depends on it.
#include "tests/support/child.h"
#include "tests/support/setting.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {
TEST(SettingLock, SeenByAnotherProcess)
{
    const char *const setting = "/proc/sys/fs/lease-break-time";
    Child other; // another suite, whose row depends on the setting as it is
    ASSERT_TRUE(other.Start({}, [&] {
        const SettingLock held(setting, false);
        if (write(1, "h", 1) != 1)
            _exit(1);
        pause(); // until the test ends it
        _exit(0);
    }));
    ASSERT_TRUE(other.Read("h"));
    int file = -1;
    for (const char *lock : {"/run/lock/varnelt-setting-proc-sys-fs-lease-break-time.lock",
                             "/var/lock/varnelt-setting-proc-sys-fs-lease-break-time.lock"})
        if (file < 0)
            file = open(lock, O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        GTEST_SKIP() << "no lock folder to write here";
    }
    EXPECT_NE(flock(file, LOCK_EX | LOCK_NB), 0) << "a change would not wait for the other suite";
    EXPECT_EQ(flock(file, LOCK_SH | LOCK_NB), 0) << "a row that depends on it would wait for another such row";
    close(file);
}
} // namespace
