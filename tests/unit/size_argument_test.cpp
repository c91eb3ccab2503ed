// The size argument: what ParseSizeArgument reads, which texts CheckSizeText lets through, and
// that the two agree on every text of the table that gets through (the fuzz target size_fuzz holds
// them to it on any text). Every text is read from the very end of a readable page, so a read past
// its terminating zero crashes the test.
#include "command/command.h"
#include "tests/support/seams/seams.h"
#include <gtest/gtest.h>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

const char *AtPageEnd(const std::string &text)
{
    static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    static char *const base = [] {
        void *pages = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        char *first = static_cast<char *>(pages);
        if (pages == MAP_FAILED || mprotect(first + page, page, PROT_NONE) != 0)
            abort();
        return first;
    }();
    char *start = base + page - text.size() - 1;
    memcpy(start, text.c_str(), text.size() + 1);
    return start;
}

// 62 zeros and a 7: the longest text the working copy holds.
const std::string Longest = std::string(62, '0') + "7";
const std::string TooLong = "0" + Longest;

TEST(ParseSizeArgument, ReadsNumbersAndUnits)
{
    const struct { std::string text; LONGLONG expected; } cases[] = {
        {"1024", 1024}, {"512M", 512000000}, {"512Mi", 536870912}, {"1G", 1000000000},
        {"1g", 1000000000}, {"1Gi", 1073741824}, {"1gi", 1073741824}, {"1GI", 1073741824},
        {"0x400", 1024}, {"0x7fffFFFF0", 0x7FFFFFFF0LL}, {"0X400", 0}, {"0x1k", 1}, {"12abc", 12},
        {"abc", 0}, {"k", 0}, {"", 0}, {"-", 0}, {"1.5G", 1000000000}, {"5G12", 5000000000LL},
        {"1KB", 1000}, {"1KiB", 1024}, {"1T", 1000000000000LL}, {"2P", 2000000000000000LL},
        {"1Pi", 1125899906842624LL}, {"-1", -1}, {"-2Ki", -2048},
        {"20000000T", 1553255926290448384LL}, {"1E", 1000000000000000000LL},
        {"1Ei", 1LL << 60}, {"1ei", 1LL << 60}, {"-8Ei", INT64_MIN},
        {"1\xE9k", 1000},   // a byte from 0x80 up is no letter, not even once upper-cased
        {"3x5K", 3},        // only the first letter is examined
        {Longest, 7}, {TooLong, 0}, {std::string(200, '1'), 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ParseSizeArgument(AtPageEnd(c.text)), c.expected) << '"' << c.text << '"';
}

TEST(ParseNumber, FallsBackToThe32BitReaderWhenTheLibraryLacksThe64BitOne)
{
    PosixHideStrToInt64ExA(true); // read everything before any check can fail, then restore
    const LONGLONG read[] = {ParseNumber("-5"), ParseNumber("2147483647"),
                             ParseNumber("3000000000"), ParseNumber("0x10"),
                             ParseSizeArgument("3Gi")};
    PosixHideStrToInt64ExA(false);
    // 32 bits widened with the sign, decimal only; the unit still scales in 64 bits.
    const LONGLONG expected[] = {-5, 2147483647, 3000000000LL - (1LL << 32), 0, 3LL << 30};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(read[i], expected[i]) << "case " << i;
    EXPECT_EQ(ParseNumber("3000000000"), 3000000000LL);
}

TEST(CheckSizeText, AcceptsExactlyTheSizesAUserCanMean)
{
    const struct { std::string text; bool accepted; LONGLONG value; } cases[] = {
        {"9223372036854775807", true, INT64_MAX}, {"9223372036854775808", false, 0},
        {"0x7FFFFFFFFFFFFFFF", true, INT64_MAX}, {"0x8000000000000000", false, 0},
        {"9E", true, 9000000000000000000LL}, {"10E", false, 0}, {"7Ei", true, 7LL << 60},
        {"8Ei", false, 0}, {"8191Pi", true, 8191LL << 50}, {"8192Pi", false, 0},
        {"9223P", true, 9223000000000000000LL}, {"9224P", false, 0}, {"20000000T", false, 0},
        {"-9223372036854775808", true, INT64_MIN}, {"-9223372036854775809", false, 0},
        {"-8Ei", true, INT64_MIN}, {"-9Ei", false, 0}, {"99999999999999999999", false, 0},
        {"0", true, 0}, {"-1", true, -1}, {"1024", true, 1024}, {"0x00aB", true, 171}, {"0xfF", true, 255},
        {"0x1B", true, 27}, {"1B", true, 1}, {"1KB", true, 1000}, {"1kib", true, 1024},
        {"5gI", true, 5LL << 30}, {"-3Tb", true, -3000000000000LL}, {Longest, true, 7},
        {std::string(44, '0') + "9223372036854775807", true, INT64_MAX}, {TooLong, false, 0},
        {"abc", false, 0}, {"k", false, 0}, {"", false, 0}, {"-s", false, 0}, {"1.5G", false, 0},
        {"0X400", false, 0}, {"0x1k", false, 0}, {"12abc", false, 0}, {"5G12", false, 0},
        {"-", false, 0}, {"0x", false, 0}, {" 1", false, 0}, {"+1", false, 0}, {"1 ", false, 0},
        {"1iB", false, 0}, {"1Bi", false, 0}, {"1KiBx", false, 0}, {"-0x1", false, 0},
        {"0x-1", false, 0}, {"1\xE9", false, 0}, {"\xB9", false, 0},
        // Each unit in both cases, decimal and binary: a factor without a row may be off unseen.
        {"3K", true, 3000}, {"3k", true, 3000}, {"3Ki", true, 3LL << 10}, {"3ki", true, 3LL << 10},
        {"3M", true, 3000000}, {"3m", true, 3000000}, {"3Mi", true, 3LL << 20}, {"3mi", true, 3LL << 20},
        {"3G", true, 3000000000}, {"3g", true, 3000000000}, {"3Gi", true, 3LL << 30}, {"3gi", true, 3LL << 30},
        {"3T", true, 3000000000000}, {"3t", true, 3000000000000}, {"3Ti", true, 3LL << 40}, {"3ti", true, 3LL << 40},
        {"3P", true, 3000000000000000}, {"3p", true, 3000000000000000}, {"3Pi", true, 3LL << 50},
        {"3pi", true, 3LL << 50}, {"3E", true, 3000000000000000000}, {"3e", true, 3000000000000000000},
        {"3Ei", true, 3LL << 60}, {"3ei", true, 3LL << 60},
    };
    for (const auto &c : cases) {
        const char *text = AtPageEnd(c.text);
        LONGLONG value = 0;
        EXPECT_EQ(CheckSizeText(text, &value), c.accepted) << '"' << c.text << '"';
        if (c.accepted) {
            EXPECT_EQ(value, c.value) << '"' << c.text << '"';
            EXPECT_EQ(ParseSizeArgument(text), c.value) << '"' << c.text << '"';
        }
    }
}

} // namespace
