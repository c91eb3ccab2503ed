// The rules a run with one failing call must keep: it ends with 0, 1 or 2, leaves the file as it
// was (times and blocks too) or exactly as asked, and says exactly why; a lost transcript never
// changes what is done to the file.
#include "faults.h"

#include "platform/posix/errors.h"
#include "tests/support/transcripts.h"

#include <errno.h>
#include <string.h>

#include <gtest/gtest.h>

// Each kind's errnos and facts, in PosixCall's order. The program means a refused record lock as
// another's use; a lease refused to a caller who is not the owner (EACCES), or where there are no
// leases (EINVAL), leaves the locks to guard alone; no reservation here (EOPNOTSUPP, ENOSYS): a hole.
constexpr Kind Kinds[] = {
    {PosixCallStat, {EIO, EACCES, ENOENT, ENOMEM, ESTALE, ENOTCONN}, MadeAgain},
    {PosixCallOpen, {EIO, EINTR, EACCES, EPERM, EAGAIN, EMFILE, ENOENT, ENOMEM, ENOKEY, ESTALE}},
    {PosixCallDuplicate, {EIO, EMFILE, ENOMEM}},
    {PosixCallFstat, {EIO, ENOMEM, ESTALE, ENOTCONN}},
    {PosixCallLease, {EIO, EACCES, EPERM, EAGAIN, EMFILE, EINVAL, ENOMEM}, MadeAgain | BusyRetried,
     {{EACCES, 0}, {EINVAL, 0}}},
    {PosixCallFlock, {EIO, EINTR, EACCES, EPERM, EAGAIN, EMFILE, ENOLCK, ENOMEM}},
    {PosixCallRecordLock, {EIO, EINTR, EACCES, EPERM, EAGAIN, EMFILE, ENOLCK, ENOMEM}, 0,
     {{EACCES, ERROR_SHARING_VIOLATION}}},
    {PosixCallStatfs, {EIO, EINTR, EACCES, ENOENT, ENOMEM, ENOSYS, ENOTCONN, ESTALE}},
    {PosixCallFallocate, {EIO, EINTR, ENOSPC, EDQUOT, EFBIG, EOPNOTSUPP, ENOSYS, EUCLEAN, EBADMSG},
     MadeAgain | DoesWork, {{EOPNOTSUPP, 0}, {ENOSYS, 0}}},
    {PosixCallFtruncate, {EIO, EINTR, ENOSPC, EDQUOT, EFBIG, EUCLEAN, ESTALE}, DoesWork},
    {PosixCallClose, {EIO, EINTR, ENOSPC, EDQUOT, ESTALE}, MadeAgain | NotRetried},
    {PosixCallWrite, {EIO, EINTR, ENOSPC, EDQUOT, EPIPE, EAGAIN}, PromptOnly | MadeAgain},
    {PosixCallRead, {EIO, EINTR, EAGAIN}, PromptOnly | MadeAgain},
    {PosixCallIsatty, {EIO}, PromptOnly | MadeAgain},
    {PosixCallTcgetattr, {EIO, ENOTTY}, PromptOnly | MadeAgain},
    {PosixCallTcsetattr, {EIO, EINTR}, PromptOnly | MadeAgain},
    {PosixCallTcflush, {EIO, EINTR}, PromptOnly | MadeAgain},
    {PosixCallGetcwd, {ENOENT, EACCES, ERANGE, ENOMEM}},
    {PosixCallLeaseState, {EIO, EINTR}},
    {PosixCallLeaseBreakTime, {EIO, EACCES, ENOENT, EMFILE}},
    {PosixCallFutimens, {EIO, EPERM, EROFS}, Unheard},       // only a failed step puts the times back
    {PosixCallCapget, {EINVAL, EPERM}},
    {PosixCallFstatfs, {EIO, EINTR, ENOMEM, ENOSYS, ESTALE}},
    {PosixCallFiemap, {EIO, EINTR, EOPNOTSUPP, EBADR, ENOMEM}, Unheard}, // a failed reservation keeps all
    {PosixCallKernelFile, {EIO, EACCES, ENOENT, EMFILE}},
    {PosixCallSignalMask, {EINVAL}, Unheard},
    {PosixCallPendingSignals, {EFAULT}, Unheard}, // unknown: nothing cancels, a request to end still waits
};
static_assert(EachKindInItsPlace(Kinds), "the fault table needs one row per call kind, in PosixCall's order");

namespace {
const std::string AsClean = "(as the clean run)";

std::string TextOf(int error)
{
    const char *text = PosixMessageText(PosixErrorCode(error));
    return text ? text : "unknown error " + std::to_string(PosixErrorCode(error));
}

// The text of the last failure report, or the refusal; empty when there is neither.
std::string Reason(const std::string &output)
{
    const std::string opening = AsPrinted(" failed\r\n(");
    const size_t start = output.rfind(opening);
    const size_t end = output.find(AsPrinted(")\r\n\r\n"), start);
    if (start != std::string::npos && end != std::string::npos)
        return output.substr(start + opening.size(), end - start - opening.size());
    return output.find(NotFound) != std::string::npos ? NotFound : "";
}

// What a run with the fault says where the fault shows: the failed call's own text, or the one the
// program means for it; AsClean where it never shows (the run goes on as the clean one did). Which
// of the kind's calls failed is not asked: where a fault shows is the run's business, what it says
// then is the user's.
std::string Expected(const Row &row, const Fault &fault)
{
    const Kind &kind = Kinds[fault.kind];
    const bool once = fault.how == PosixFault::Once;
    if (kind.facts & Unheard)
        return AsClean;
    for (const Meant &meant : kind.meant)
        if (meant.error != 0 && meant.error == fault.error)
            return meant.code == 0 ? AsClean : PosixMessageText(meant.code);
    if (once && ((fault.error == EINTR && !(kind.facts & NotRetried)) ||
                 (fault.error == EAGAIN && kind.facts & BusyRetried)))
        return AsClean; // asked again
    if (fault.kind == PosixCallStat) { // the existence check: only a missing file is not found
        const DWORD code = PosixErrorCode(fault.error);
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return NotFound;
        if (once) // on any other answer the open looks again
            return row.file == File::Missing ? TextOf(ENOENT) : AsClean;
    }
    return TextOf(fault.error);
}

// A failed step gives back what it took (ext4 may keep a block of its extent tree) and never
// anything the file had before, and puts back the times. Where giving back fails, or a lease or a
// size cannot be asked about, the run's blocks stay: nothing more is changed. With the locks alone
// the times stay new (an overwrite cannot be told from no change). A file that changed keeps its new
// times, even where the step failed afterwards.
void CheckWhatStays(const Outcome &clean, const Outcome &run, const Fault &fault, const std::string &what)
{
    const int kind = fault.kind;
    // The run said what the clean run said, which failed: the fault struck on the way out.
    const bool onTheWayOut = clean.exitCode != 0 && run.output == clean.output && run.exitCode == clean.exitCode;
    const bool givingBack = (kind == PosixCallFallocate || kind == PosixCallFtruncate) && onTheWayOut;
    const bool leaseUnknown = kind == PosixCallLeaseState; // whose the file is now cannot be told
    const bool sizeUnknown = kind == PosixCallFstat && onTheWayOut;
    const bool locksAlone = kind == PosixCallLease && (fault.error == EACCES || fault.error == EINVAL);
    if (S_ISREG(run.before.st_mode) && run.state == State::AsItWas && kind != PosixCallFutimens && !leaseUnknown) {
        EXPECT_TRUE(givingBack || sizeUnknown ||
                    run.after.st_blocks * 512LL <= run.before.st_blocks * 512LL + run.after.st_blksize)
            << "blocks kept beyond the end, " << what;
        EXPECT_TRUE(run.after.st_blocks >= run.before.st_blocks)
            << "blocks reserved before the run were given back, " << what;
        EXPECT_TRUE(sizeUnknown || locksAlone || HasOldTimes(run.after)) << "the failed run, " << what;
    }
    if (run.state == State::AsAsked && run.before.st_size != run.after.st_size) {
        EXPECT_NE(run.after.st_mtim.tv_sec, run.before.st_mtim.tv_sec) << "the times went back over a change, " << what;
    }
}

// A failure of a call that serves only the transcript or the prompt: the run does what the clean
// run did, and its transcript is the clean one with one stretch left out.
void CheckLostTranscript(const Outcome &clean, const Outcome &run, const Fault &fault, const std::string &what)
{
    EXPECT_EQ(run.exitCode, clean.exitCode) << "a lost transcript changed the exit code, " << what;
    EXPECT_EQ(run.state, clean.state) << "a lost transcript changed the file, " << what;
    EXPECT_EQ(run.after.st_blocks > run.before.st_blocks, clean.after.st_blocks > clean.before.st_blocks)
        << "a lost transcript changed the allocation, " << what;
    if (fault.how == PosixFault::AfterTheWork) {
        EXPECT_EQ(run.output, clean.output) << "a short write was not continued, " << what;
    }
    // The clean transcript with one stretch left out: a write's bytes, or all from a write on.
    size_t same = 0;
    while (same < run.output.size() && same < clean.output.size() && run.output[same] == clean.output[same])
        ++same;
    const std::string rest = run.output.substr(same);
    EXPECT_TRUE(clean.output.size() >= same + rest.size() &&
                clean.output.compare(clean.output.size() - rest.size(), rest.size(), rest) == 0)
        << "the transcript says something else, " << what;
}

} // namespace

bool ShowsAtAll(const Row &row, PosixCall kind, int error)
{
    const bool again = Has(kind, MadeAgain) && error != EINTR;
    return Expected(row, {kind, 1, error, PosixFault::Once}) != AsClean ||
           (again && Expected(row, {kind, 1, error, PosixFault::FromThenOn}) != AsClean);
}

bool Check(const Row &row, const Outcome &clean, const Outcome &run, const Fault &fault)
{
    const int kind = fault.kind;
    const char *how[] = {"once", "from then on", "after the work"};
    const std::string what = std::string(PosixCallNames[kind]) + " #" + std::to_string(fault.nth) + " " +
                             strerrorname_np(fault.error) + " " + how[int(fault.how)] + ":\n" + run.output;
    if (run.hung) {
        ADD_FAILURE() << "hung, " << what;
        return true;
    }
    EXPECT_EQ(run.signal, 0) << what;
    EXPECT_TRUE(run.exitCode >= 0 && run.exitCode <= 2) << run.exitCode << ", " << what;
    EXPECT_GE(run.counts[kind], fault.nth) << "the fault was never reached, " << what;
    EXPECT_NE(run.state, State::Damaged) << "the file is damaged, " << what;
    if (run.exitCode == 0) {
        EXPECT_EQ(run.state, State::AsAsked) << "success without the result, " << what;
    }
    // Without the sparse flag an extension is reserved: only the request's own failure allows it.
    const bool prompt = Has(kind, PromptOnly);
    const bool sparseFailed = !prompt && run.output.find("Set sparse flag... failed") != std::string::npos;
    const bool noReservation = kind == PosixCallFallocate && (fault.error == EOPNOTSUPP || fault.error == ENOSYS);
    const bool reserved = row.blocks == Blocks::Reserved && run.exitCode == 0 && !noReservation;
    if (reserved || (row.blocks == Blocks::NoGrowth && !sparseFailed)) {
        EXPECT_TRUE(BlocksAre(row.blocks, run.before, run.after, row.size)) << what;
    }
    CheckWhatStays(clean, run, fault, what);
    if (prompt) {
        CheckLostTranscript(clean, run, fault, what);
        return false;
    }
    const std::string expected = Expected(row, fault);
    const bool asClean = run.output == clean.output && run.exitCode == clean.exitCode && run.state == clean.state;
    if (expected == AsClean) {
        EXPECT_EQ(run.output, clean.output) << what;
        EXPECT_EQ(run.exitCode, clean.exitCode) << what;
        EXPECT_EQ(run.state, clean.state) << what;
    } else if (asClean) {
        // The fault struck where the program meant it to change nothing; the fault table asks that
        // each kind's failure shows somewhere in a run that succeeds.
    } else if (run.exitCode == 0) {
        ADD_FAILURE() << "went on without \"" << expected << "\", " << what;
    } else {
        EXPECT_EQ(Reason(run.output), expected) << what;
        EXPECT_EQ(run.exitCode, expected == NotFound ? 2 : 1) << what;
    }
    // An interrupted call, and a lease refused once for another opener, are asked for again.
    if (fault.how == PosixFault::Once && ((fault.error == EINTR && !Has(kind, NotRetried)) ||
                                          (fault.error == EAGAIN && Has(kind, BusyRetried)))) {
        EXPECT_EQ(run.counts[kind], clean.counts[kind] + 1) << "no retry, " << what;
    }
    return expected != AsClean && !asClean;
}
