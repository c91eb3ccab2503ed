// The files the tests make and look at.
#pragma once

#include <string>

#include <gtest/gtest.h>

constexpr long long Mi = 1 << 20;

// The bytes a file holds before a run: no zeros, so that a stray hole or cut shows.
std::string FilePattern(size_t length = 1500);
// Everything the file holds; empty when it cannot be read.
std::string Contents(const std::string &path);
// Whether the file at path has the size and holds original's first bytes, with zeros past them
// (checked for a mebibyte at both ends of what follows).
testing::AssertionResult FileHolds(const std::string &path, const std::string &original, long long size);

// A fresh, empty directory under the system's temporary folder, removed with all it holds.
struct TemporaryDirectory {
    TemporaryDirectory();
    ~TemporaryDirectory();
    std::string operator/(const std::string &name) const { return path + "/" + name; }
    std::string path;
};
