// The faults and fakes tests ask of the system calls: every entry of the seam's table wrapped, at
// start-up, in one that counts the call, runs a test's action before it and fails it where asked;
// the wrapper calls the real entry, or the fake a test put in its place.
#include "tests/support/seams/seams.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/vfs.h>

#include <tuple>
#include <type_traits>

namespace {
unsigned ownCounts[PosixCallKinds];
unsigned *counts = ownCounts;

struct Fault {
    PosixCall call;
    unsigned at; // the count at which the call fails; 0 for none
    int error;
    PosixFault how;
} fault;
struct {
    PosixCall call;
    unsigned at; // 0 for none
    void (*action)(int);
    int argument;
} before;
long fakeVolumeType;
unsigned leaseLostAt; // the lease-state count from which the lease reads as broken; 0 for never
long long heldFor;    // how long the lease was held when it reads as broken; -1 for ever so long
long long stoppedAt;  // what the stopped clock reads
const char *breakTimeText;

const PosixCallTable real = PosixSystem; // the product's entries, before any wrapper
PosixCallTable inner = PosixSystem;      // what the wrappers call: the real entries or fakes

enum class Meets { Not, Instead, After };

// Counts the call, runs the action due before it, and tells how the fault meets it.
Meets Counted(PosixCall call)
{
    const unsigned count = ++counts[call];
    if (before.at != 0 && before.call == call && count == before.at)
        before.action(before.argument);
    if (fault.at == 0 || fault.call != call || count < fault.at ||
        (count > fault.at && fault.how != PosixFault::FromThenOn))
        return Meets::Not;
    // As on Linux, a failed close has still released the descriptor.
    return fault.how == PosixFault::AfterTheWork || call == PosixCallClose ? Meets::After : Meets::Instead;
}

template <typename Result> Result FailedAnswer(PosixCall kind)
{
    errno = fault.error;
    if constexpr (std::is_pointer_v<Result>)
        return nullptr;
    else
        return static_cast<Result>(kind == PosixCallIsatty ? 0 : -1); // isatty answers 0 on failure
}

template <PosixCall Kind, typename Entry> struct Wrapper;
template <PosixCall Kind, typename Result, typename... Arguments> struct Wrapper<Kind, Result (*)(Arguments...)> {
    static Result Call(Arguments... arguments)
    {
        const auto entry = inner.*PosixEntry<Kind>::member;
        const Meets meets = Counted(Kind);
        if (meets == Meets::Not)
            return entry(arguments...);
        if (meets == Meets::Instead)
            return FailedAnswer<Result>(Kind);
        std::tuple<Arguments...> work{arguments...};
        if constexpr (Kind == PosixCallWrite) {
            // Half of the bytes written, and said so: a pipe that a signal interrupts midway.
            auto &length = std::get<2>(work);
            length = length > 1 ? length / 2 : length;
            return std::apply(entry, work);
        } else {
            if constexpr (Kind == PosixCallFallocate)
                std::get<3>(work) /= 2; // half of the range done, as space that runs out midway
            std::apply(entry, work);
            return FailedAnswer<Result>(Kind);
        }
    }
};

const bool installed = [] {
#define POSIX_CALL_WRAP(kind, ...)                                                                     \
    PosixSystem.kind = Wrapper<PosixCall##kind, decltype(PosixCallTable::kind)>::Call;
    POSIX_CALL_KINDS(POSIX_CALL_WRAP)
#undef POSIX_CALL_WRAP
    return true;
}();

int FakeStatfs(const char *name, struct statfs *info)
{
    const int result = real.Statfs(name, info);
    if (result == 0)
        info->f_type = fakeVolumeType;
    return result;
}

int FakeFstatfs(int descriptor, struct statfs *info)
{
    const int result = real.Fstatfs(descriptor, info);
    if (result == 0)
        info->f_type = fakeVolumeType;
    return result;
}

long long JumpedClock() { return real.Clock() + (1LL << 40); }
long long StoppedClock() { return stoppedAt; }

int LostLeaseState(int descriptor)
{
    const int type = real.LeaseState(descriptor);
    if (type < 0 || counts[PosixCallLeaseState] < leaseLostAt)
        return type;
    if (heldFor < 0)
        PosixSystem.Clock = JumpedClock; // the opener has waited out any break time
    else
        stoppedAt = heldFor; // the clock stood still from the open until now
    return F_UNLCK;
}

ssize_t AnsweredBreakTime(const char *, char *buffer, size_t size)
{
    return snprintf(buffer, size, "%s", breakTimeText);
}
} // namespace

void PosixFailCall(PosixCall call, unsigned nth, int error, PosixFault how)
{
    fault = Fault{call, nth == 0 ? 0 : counts[call] + nth, error, how};
}

void PosixCountCallsInto(unsigned *table) { counts = table ? table : ownCounts; }

void PosixFakeVolumeType(long type, bool openFileOnly)
{
    fakeVolumeType = type;
    inner.Statfs = type != 0 && !openFileOnly ? FakeStatfs : real.Statfs;
    inner.Fstatfs = type != 0 ? FakeFstatfs : real.Fstatfs;
}

void PosixIgnoreResizes(bool ignored)
{
    inner.Fallocate = ignored ? [](int, int, off_t, off_t) { return 0; } : real.Fallocate;
    inner.Ftruncate = ignored ? [](int, off_t) { return 0; } : real.Ftruncate;
}

void PosixLoseLeaseAt(unsigned nth, long long held)
{
    leaseLostAt = nth == 0 ? 0 : counts[PosixCallLeaseState] + nth;
    heldFor = held;
    stoppedAt = 0;
    inner.LeaseState = nth == 0 ? real.LeaseState : LostLeaseState;
    PosixSystem.Clock = nth != 0 && held >= 0 ? StoppedClock : real.Clock;
}

void PosixAnswerBreakTime(const char *text)
{
    breakTimeText = text;
    inner.LeaseBreakTime = text ? AnsweredBreakTime : real.LeaseBreakTime;
}

void PosixRunBefore(PosixCall call, unsigned nth, void (*action)(int), int argument)
{
    before = {call, nth == 0 || action == nullptr ? 0 : counts[call] + nth, action, argument};
}
