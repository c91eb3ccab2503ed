// The files the tests make and look at.
#pragma once

#include <sys/stat.h>

#include <string>

#include <gtest/gtest.h>

constexpr long long Mi = 1 << 20;
// A row's size afterwards where the run must leave the file's size as it was.
constexpr long long Unchanged = -1;
// What must be allocated afterwards: anything, the whole new size, or no more than before.
enum class Blocks { Any, Reserved, NoGrowth };

// The bytes a file holds before a run: no zeros, so that a stray hole or cut shows.
std::string FilePattern(size_t length = 1500);
// Everything the file holds; empty when it cannot be read.
std::string Contents(const std::string &path);
// Whether the file at path has the size and holds original's first bytes, with zeros past them
// (checked for a mebibyte at both ends of what follows).
testing::AssertionResult FileHolds(const std::string &path, const std::string &original, long long size);

// Whether the blocks allocated after a run to the given size are what the row asks for.
testing::AssertionResult BlocksAre(Blocks blocks, const struct stat &before, const struct stat &after, long long size);

// Gives the file old times, access and modification apart so that a swap shows: a failed run
// must leave them. Whether it could.
bool MakeOld(const std::string &path);
// Whether the file still has the times MakeOld gave it.
testing::AssertionResult HasOldTimes(const struct stat &after);

// Lets nobody reach the directory and write the file in it, as a user may with another's file.
bool ShareWithNobody(const std::string &directory, const std::string &file);
// A run as nobody that exits with this code could not reach the tool's copy: the row is skipped.
constexpr int NobodyLockedOut = 127;

// A fresh, empty directory under the system's temporary folder, removed with all it holds.
struct TemporaryDirectory {
    TemporaryDirectory();
    ~TemporaryDirectory();
    std::string operator/(const std::string &name) const { return path + "/" + name; }
    std::string path;
};
