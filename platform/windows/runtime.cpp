// The Windows executable links no C run-time. The compiler may still emit calls to these for
// block copies and zeroing, so they are provided here, as plain byte loops.
#include <stddef.h>

extern "C" {

// Keep the compiler from turning these loops back into calls to themselves.
#define VARNELT_NO_BUILTIN __attribute__((optimize("no-tree-loop-distribute-patterns")))

VARNELT_NO_BUILTIN void *memset(void *destination, int value, size_t length)
{
    unsigned char *to = static_cast<unsigned char *>(destination);
    for (size_t i = 0; i < length; ++i)
        to[i] = static_cast<unsigned char>(value);
    return destination;
}

VARNELT_NO_BUILTIN void *memcpy(void *destination, const void *source, size_t length)
{
    unsigned char *to = static_cast<unsigned char *>(destination);
    const unsigned char *from = static_cast<const unsigned char *>(source);
    for (size_t i = 0; i < length; ++i)
        to[i] = from[i];
    return destination;
}
}
