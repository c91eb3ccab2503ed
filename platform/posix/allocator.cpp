// The C library's own start-up asks for a few bytes of heap (the program's path), and its first
// allocation would cost a random seed and three calls to grow the heap. The static build gives it
// them from a small static arena instead; the stand-in itself allocates nothing.
#include <errno.h>
#include <stddef.h>
#include <string.h>

namespace {
alignas(16) unsigned char arena[16384];
size_t used;
} // namespace

extern "C" {
void *malloc(size_t size)
{
    const size_t rounded = (size + 15) & ~static_cast<size_t>(15);
    if (rounded < size || rounded > sizeof arena - used) {
        errno = ENOMEM;
        return nullptr;
    }
    void *block = arena + used;
    used += rounded;
    return block;
}

void free(void *) {} // start-up's few blocks live as long as the process

void *calloc(size_t count, size_t size)
{
    if (size != 0 && count > static_cast<size_t>(-1) / size) {
        errno = ENOMEM;
        return nullptr;
    }
    void *block = malloc(count * size);
    if (block)
        memset(block, 0, count * size);
    return block;
}

void *realloc(void *old, size_t size)
{
    void *block = malloc(size);
    if (block && old) {
        // The old block's size is not kept; it ends no later than the arena's used part.
        const size_t available = static_cast<size_t>(arena + sizeof arena - static_cast<unsigned char *>(old));
        memmove(block, old, size < available ? size : available);
    }
    return block;
}
}
