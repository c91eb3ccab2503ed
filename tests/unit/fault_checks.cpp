// The rules a run with one failing call must keep: it ends with 0, 1 or 2, leaves the file as it
// was (times and blocks too) or exactly as asked, and says exactly why; a lost transcript never
// changes what is done to the file.
#include "faults.h"

#include "platform/posix/posix.h"
#include "tests/support/transcripts.h"

#include <errno.h>
#include <string.h>

#include <gtest/gtest.h>

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

// What a run with the fault must say: the failed call's own text, or where the program meant
// otherwise, a refusal, another text, or nothing new (it goes on as the clean run did).
std::string Expected(const Row &row, const Outcome &clean, const Fault &fault)
{
    const bool once = fault.how == PosixFault::Once;
    const int error = fault.error;
    const int kind = fault.kind;
    switch (fault.kind) {
    case PosixCallStat: // the existence check; a later look at the open file counts it as not sparse
        if (fault.nth > 1)
            return AsClean;
        if (PosixErrorCode(error) == ERROR_FILE_NOT_FOUND || PosixErrorCode(error) == ERROR_PATH_NOT_FOUND)
            return NotFound;
        if (once) // only a missing file is not found: on any other answer the open looks again
            return row.file == File::Missing ? TextOf(ENOENT) : AsClean;
        break;
    case PosixCallFstat: // the last of a failed step only asks whether the times may go back
        if (row.exitCode != 0 && fault.nth == clean.counts[kind] && fault.nth > 1)
            return AsClean;
        break;
    case PosixCallLeaseState: // before the change (and in a reservation's run, before its size), then
        // on the way out of a failed step, where its failure keeps what there is and the step's text
        if (row.exitCode != 0 && fault.nth > (row.flags & SizeLimit ? 2u : 1u))
            return AsClean;
        break;
    case PosixCallLease: // not the owner, no leases here: the locks guard alone; a racing run: asked again
        if (error == EACCES || error == EINVAL || (error == EAGAIN && once))
            return AsClean;
        break;
    case PosixCallRecordLock:
        if (error == EACCES)
            return SharingViolation;
        break;
    case PosixCallFallocate: // no reservation here: a hole; the second call gives a failed one back
        if (error == EOPNOTSUPP || error == ENOSYS || fault.nth > 1)
            return AsClean;
        break;
    case PosixCallFtruncate: // the second gives a failed reservation back
        if (fault.nth > 1)
            return AsClean;
        break;
    case PosixCallClose: // the first closes the descriptor moved off a standard one, or that of a
        // refused open, whose failure the refusal's text outweighs; never retried
        if (row.flags & ProcOpened)
            return AsClean;
        return fault.nth == 1 && once && row.flags & (NoInput | NoError) ? AsClean : TextOf(error);
    case PosixCallPendingSignals: // unknown: nothing cancels, a request to end still waits
    case PosixCallFutimens: // only a failed step puts the times back
    case PosixCallFiemap:   // unknown beyond the end: a failed reservation would leave all there
    case PosixCallSignalMask:
        return AsClean;
    default:
        break;
    }
    return error == EINTR ? AsClean : TextOf(error);
}

// A failed step gives back what it took (ext4 may keep a block of its extent tree) and never
// anything the file had before, and puts back the times. Where giving back fails, or a lease or a
// size cannot be asked about, the run's blocks stay: nothing more is changed. With the locks alone
// the times stay new (an overwrite cannot be told from no change). A file that changed keeps its new
// times, even where the step failed afterwards.
void CheckWhatStays(const Outcome &run, const Fault &fault, const std::string &what)
{
    const int kind = fault.kind;
    const bool givingBack = (kind == PosixCallFallocate || kind == PosixCallFtruncate) && fault.nth > 1;
    const bool leaseUnknown = kind == PosixCallLeaseState && fault.nth > 1;
    const bool sizeUnknown = kind == PosixCallFstat && fault.nth > 1;
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

} // namespace

void Check(const Row &row, const Outcome &clean, const Outcome &run, const Fault &fault)
{
    const int kind = fault.kind;
    const char *how[] = {"once", "from then on", "after the work"};
    const std::string what = std::string(PosixCallNames[kind]) + " #" + std::to_string(fault.nth) + " " +
                             strerrorname_np(fault.error) + " " + how[int(fault.how)] + ":\n" + run.output;
    ASSERT_FALSE(run.hung) << "hung, " << what;
    EXPECT_EQ(run.signal, 0) << what;
    EXPECT_TRUE(run.exitCode >= 0 && run.exitCode <= 2) << run.exitCode << ", " << what;
    EXPECT_GE(run.counts[kind], fault.nth) << "the fault was never reached, " << what;
    EXPECT_NE(run.state, State::Damaged) << "the file is damaged, " << what;
    if (run.exitCode == 0) {
        EXPECT_EQ(run.state, State::AsAsked) << "success without the result, " << what;
    }
    // Without the sparse flag an extension is reserved: only the request's own failure allows it.
    const bool prompt = PromptKinds & 1u << kind;
    const bool sparseFailed = !prompt && run.output.find("Set sparse flag... failed") != std::string::npos;
    const bool noReservation = kind == PosixCallFallocate && (fault.error == EOPNOTSUPP || fault.error == ENOSYS);
    const bool reserved = row.blocks == Blocks::Reserved && run.exitCode == 0 && !noReservation;
    if (reserved || (row.blocks == Blocks::NoGrowth && !sparseFailed)) {
        EXPECT_TRUE(BlocksAre(row.blocks, run.before, run.after, row.size)) << what;
    }
    CheckWhatStays(run, fault, what);
    if (prompt) {
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
        return;
    }
    const std::string expected = Expected(row, clean, fault);
    if (expected == AsClean) {
        EXPECT_EQ(run.output, clean.output) << what;
        EXPECT_EQ(run.exitCode, clean.exitCode) << what;
        EXPECT_EQ(run.state, clean.state) << what;
    } else if (run.exitCode == 0) {
        ADD_FAILURE() << "went on without \"" << expected << "\", " << what;
    } else {
        EXPECT_EQ(Reason(run.output), expected) << what;
        EXPECT_EQ(run.exitCode, expected == NotFound ? 2 : 1) << what;
    }
    // An interrupted call, and a lease refused once for another opener, are asked for again.
    if (fault.how == PosixFault::Once && ((fault.error == EINTR && kind != PosixCallClose) ||
                                          (kind == PosixCallLease && fault.error == EAGAIN))) {
        EXPECT_EQ(run.counts[kind], clean.counts[kind] + 1) << "no retry, " << what;
    }
}
