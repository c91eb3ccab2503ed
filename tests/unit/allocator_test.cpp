// The static arena the tool's start-up allocates from, under names of its own: the test's own
// allocations go to the C library as usual.
#define malloc ArenaMalloc
#define calloc ArenaCalloc
#define realloc ArenaRealloc
#define free ArenaFree
#include "platform/posix/allocator.cpp"
#undef malloc
#undef calloc
#undef realloc
#undef free

#include <stdint.h>

#include <gtest/gtest.h>

namespace {
// A request that would wrap around, or that the arena cannot hold, fails; nothing given overlaps.
TEST(Arena, RefusesWhatItCannotHold)
{
    for (size_t size : {SIZE_MAX, SIZE_MAX - 7, sizeof arena + 1}) {
        errno = 0;
        EXPECT_EQ(ArenaMalloc(size), nullptr) << size;
        EXPECT_EQ(errno, ENOMEM) << size;
    }
    EXPECT_EQ(ArenaCalloc(SIZE_MAX / 2, 4), nullptr);
    const char *first = static_cast<char *>(ArenaMalloc(10)), *second = static_cast<char *>(ArenaMalloc(1));
    ASSERT_TRUE(first && second);
    EXPECT_GE(second - first, 16);
    // A grown block keeps what it held; a block grown from nothing is a new one.
    char *grown = static_cast<char *>(ArenaRealloc(const_cast<char *>(second), 40));
    ASSERT_TRUE(grown != nullptr);
    EXPECT_EQ(*grown, *second);
    EXPECT_NE(ArenaRealloc(nullptr, 8), nullptr);
}
} // namespace
