#include "tests/support/files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

std::string FilePattern(size_t length)
{
    std::string bytes(length, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 7 + 3) % 251 + 1);
    return bytes;
}

std::string Contents(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

testing::AssertionResult FileHolds(const std::string &path, const std::string &original, long long size)
{
    struct stat after = {};
    if (stat(path.c_str(), &after) != 0)
        return testing::AssertionFailure() << path << " is gone";
    if (after.st_size != size)
        return testing::AssertionFailure() << "the size is " << after.st_size << ", not " << size;
    std::ifstream file(path, std::ios::binary);
    const long long kept = std::min<long long>(size, static_cast<long long>(original.size()));
    std::string head(static_cast<size_t>(kept), '\0');
    file.read(head.data(), kept);
    if (head != original.substr(0, static_cast<size_t>(kept)))
        return testing::AssertionFailure() << "the remaining bytes changed";
    for (long long from : {kept, std::max(kept, size - Mi)}) {
        std::string tail(static_cast<size_t>(std::min(Mi, size - from)), '\0');
        file.seekg(from);
        file.read(tail.data(), static_cast<std::streamsize>(tail.size()));
        if (!file || tail.find_first_not_of('\0') != std::string::npos)
            return testing::AssertionFailure() << "non-zero bytes past " << from;
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult BlocksAre(Blocks blocks, const struct stat &before, const struct stat &after, long long size)
{
    if (blocks == Blocks::Reserved && after.st_blocks * 512LL < size)
        return testing::AssertionFailure() << "not reserved: " << after.st_blocks * 512LL << " bytes of " << size;
    if (blocks == Blocks::NoGrowth && after.st_blocks > before.st_blocks)
        return testing::AssertionFailure() << "blocks allocated: " << after.st_blocks << ", not " << before.st_blocks;
    return testing::AssertionSuccess();
}

namespace {
const timespec OldTimes[2] = {{1000000000, 0}, {1100000000, 0}}; // access, modification
}

bool MakeOld(const std::string &path) { return utimensat(AT_FDCWD, path.c_str(), OldTimes, 0) == 0; }

testing::AssertionResult HasOldTimes(const struct stat &after)
{
    if (after.st_atim.tv_sec == OldTimes[0].tv_sec && after.st_mtim.tv_sec == OldTimes[1].tv_sec)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the times changed: accessed " << after.st_atim.tv_sec << ", modified "
                                       << after.st_mtim.tv_sec;
}

bool ShareWithNobody(const std::string &directory, const std::string &file)
{
    return (directory.empty() || chmod(directory.c_str(), 0711) == 0) && (file.empty() || chmod(file.c_str(), 0666) == 0);
}

TemporaryDirectory::TemporaryDirectory()
    : path((std::filesystem::temp_directory_path() / "varnelt-test-XXXXXX").string())
{
    if (mkdtemp(path.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
}

TemporaryDirectory::~TemporaryDirectory()
{
    namespace fs = std::filesystem;
    std::error_code ignored;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path, ignored);
}
