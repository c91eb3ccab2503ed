// ext4's reserve on real volumes, mounted for the test: whom the kernel grants it and how much of it
// it keeps from everybody, against what the room check answers.
#include "platform/posix/handles.h"
#include "platform/posix/system.h"
#include "platform/posix/volumes.h"
#include "tests/support/child.h"
#include "tests/support/run_program.h"

#include <linux/capability.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

namespace {
// A volume of ext4 with 1 KiB blocks, whose own reserve the kernel reports, mounted with the options.
class Ext4Volume {
public:
    explicit Ext4Volume(const std::string &options)
    {
        const std::string image = directory / "image", point = directory / "volume";
        std::ofstream{image};
        mounted = mkdir(point.c_str(), 0755) == 0 && truncate(image.c_str(), 32 * Mi) == 0 &&
                  Shell("mkfs.ext4 -q -F -b 1024 '" + image + "'") &&
                  Shell("mount -t ext4 -o loop" + options + " '" + image + "' '" + point + "'");
        std::string device;
        // The kernel's own figure, read from outside the tool.
        if (mounted && Shell("basename $(findmnt -no SOURCE '" + point + "')", &device))
            kept = std::stoll("0" + Contents("/sys/fs/ext4/" + device.substr(0, device.find('\n')) +
                                             "/reserved_clusters"));
        file = point + "/f";
        std::ofstream{file};
        mounted = mounted && ShareWithNobody(directory.path, file) && ShareWithNobody(point, "");
    }
    ~Ext4Volume()
    {
        if (mounted && umount2((directory / "volume").c_str(), 0) != 0)
            umount2((directory / "volume").c_str(), MNT_DETACH);
    }
    TemporaryDirectory directory;
    std::string file;
    bool mounted = false;
    long long kept = 0;
};

// The caller's answers, 'y' or 'n', on the volume for: all it may use without the reserve, one unit
// more, all that the kernel grants with the reserve, one unit more.
std::string AnswersOn(const Ext4Volume &volume, const std::string &user, bool capable)
{
    ChildSetup setup;
    setup.user = user;
    Child child;
    const bool started = child.Start(setup, [&] {
        __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
        syscall(SYS_capget, &header, data);
        if (!capable)
            data[0].effective &= ~(1u << CAP_SYS_RESOURCE);
        const HANDLE file = CreateFileA(volume.file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (syscall(SYS_capset, &header, data) != 0 || file == INVALID_HANDLE_VALUE)
            _exit(3);
        const PosixHandle &handle = *static_cast<PosixHandle *>(file);
        const unsigned long long unit = handle.unit, granted = handle.reserveUnits - volume.kept;
        std::string answers;
        for (unsigned long long units : {handle.freeUnits, handle.freeUnits + 1, granted, granted + 1})
            answers += PosixRoomForReservation(handle, units * unit) ? 'y' : 'n';
        _exit(write(1, answers.data(), answers.size()) == 4 ? 0 : 1);
    });
    child.Read();
    return started && child.Wait() == 0 ? child.text : "";
}

// ext4 grants its reserve to the user and the group the mount names (root's by default) and to
// CAP_SYS_RESOURCE in effect, and keeps its own reserve from all of them, as much as it reports.
TEST(PosixRoomForReservation, Ext4ReserveAsTheKernelGrantsIt)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "mounting a volume needs root";
    }
    const Ext4Volume plain(""), forNobody(",resuid=65534"), forNogroup(",resgid=65534");
    if (!plain.mounted || !forNobody.mounted || !forNogroup.mounted || plain.kept <= 0) {
        GTEST_SKIP() << "cannot mount ext4 volumes that report their own reserve here";
    }
    EXPECT_EQ(AnswersOn(plain, "", false), "yyyn") << "root by its user id";
    EXPECT_EQ(AnswersOn(plain, "", true), "yyyn") << "root with the capability";
    EXPECT_EQ(AnswersOn(plain, "nobody", false), "ynnn");
    EXPECT_EQ(AnswersOn(forNobody, "", false), "ynnn") << "root, where the mount names another user";
    EXPECT_EQ(AnswersOn(forNobody, "nobody", false), "yyyn");
    if (SystemHasCapability(CAP_SYS_RESOURCE) == 1) {
        EXPECT_EQ(AnswersOn(forNobody, "", true), "yyyn") << "root with the capability";
    }
    EXPECT_EQ(AnswersOn(forNogroup, "nobody", false), "yyyn") << "nobody of the group nogroup";
}
} // namespace
