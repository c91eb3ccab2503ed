// How the seam makes a call: counted, and failed where a test asked (seams.h). Shared by the
// files that hold the seam's calls.
#pragma once

#include "platform/posix/seams.h"

#include <errno.h>

// How the fault meets a call: not at all, instead of it, or after it did its work.
enum class PosixMeets { Not, Instead, After };

// Counts the call and tells how the fault meets it.
PosixMeets PosixCounted(PosixCall call);
// The errno of the fault a test asked for.
int PosixInjectedError();

// Makes the call as the fault meets it; failed is what the call answers on failure, with errno set.
template <typename Value, typename Call> inline auto Made(PosixMeets meets, Value failed, Call call) -> decltype(call())
{
    if (meets == PosixMeets::Instead) {
        errno = PosixInjectedError();
        return failed;
    }
    const auto result = call();
    if (meets == PosixMeets::After) {
        errno = PosixInjectedError();
        return failed;
    }
    return result;
}

// Runs the call until a signal no longer interrupts it; each try is a call of its own. An injected
// EINTR goes the way of a real one.
template <typename Call> inline auto Retried(PosixCall kind, Call call) -> decltype(call())
{
    for (;;) {
        const auto result = Made(PosixCounted(kind), -1, call);
        if (result >= 0 || errno != EINTR)
            return result;
    }
}
