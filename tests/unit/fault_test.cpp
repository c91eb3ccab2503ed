// Every operating-system call of the stand-in fails in turn, with each errno it can really return.
// Whatever fails, the program ends with 0, 1 or 2, leaves the file as it was or exactly as asked,
// and says why; a lost transcript never changes what is done to the file.
#include "command/command.h"
#include "platform/posix/posix.h"
#include "platform/posix/seams.h"

#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {
constexpr long long Mi = 1 << 20;

struct Kind {
    const char *name;
    std::vector<int> errnos; // what the call can really answer; EIO can come from any of them
};
const Kind Kinds[] = {
    {"stat", {EIO, EACCES, ENOENT, ENOMEM, ESTALE, ENOTCONN}},
    {"open", {EIO, EINTR, EACCES, EPERM, EAGAIN, EMFILE, ENOENT, ENOMEM, ENOKEY, ESTALE}},
    {"duplicate", {EIO, EMFILE, ENOMEM}},
    {"fstat", {EIO, ENOMEM, ESTALE, ENOTCONN}},
    {"lease", {EIO, EACCES, EPERM, EAGAIN, EMFILE, EINVAL, ENOMEM}},
    {"flock", {EIO, EINTR, EACCES, EPERM, EAGAIN, EMFILE, ENOLCK, ENOMEM}},
    {"record lock", {EIO, EINTR, EACCES, EPERM, EAGAIN, EMFILE, ENOLCK, ENOMEM}},
    {"statfs", {EIO, EINTR, EACCES, ENOENT, ENOMEM, ENOSYS, ENOTCONN, ESTALE}},
    {"fallocate", {EIO, EINTR, ENOSPC, EDQUOT, EFBIG, EOPNOTSUPP, EUCLEAN, EBADMSG}},
    {"ftruncate", {EIO, EINTR, ENOSPC, EDQUOT, EFBIG, EUCLEAN, ESTALE}},
    {"close", {EIO, EINTR, ENOSPC, EDQUOT, ESTALE}},
    {"write", {EIO, EINTR, ENOSPC, EDQUOT, EPIPE, EAGAIN}},
    {"read", {EIO, EINTR, EAGAIN}},
    {"isatty", {EIO}},
    {"tcgetattr", {EIO, ENOTTY}},
    {"tcsetattr", {EIO, EINTR}},
    {"tcflush", {EIO, EINTR}},
    {"session leader", {EIO, ENOTTY, EPERM}},
    {"getcwd", {ENOENT, EACCES, ERANGE, ENOMEM}},
    {"lease state", {EIO, EINTR}},
    {"lease break time", {EIO, EACCES, ENOENT, EMFILE}},
    {"futimens", {EIO, EPERM, EROFS}},
    {"capget", {EINVAL, EPERM}},
};
static_assert(sizeof Kinds / sizeof Kinds[0] == PosixCallKinds, "a kind of call without its errnos");

enum class File { Random, Small, Holes, Missing, Directory };
enum class Blocks { Any, Reserved, NoGrowth };
enum class Start { Plain, NoInput, Terminal }; // standard input: /dev/null, closed, a terminal
constexpr unsigned AllKinds = (1u << PosixCallKinds) - 1;
// Calls made only to show the transcript or to wait at the prompt: their failure must not change
// the exit code or the file.
constexpr unsigned PromptKinds = 1u << PosixCallWrite | 1u << PosixCallRead | 1u << PosixCallIsatty |
                                 1u << PosixCallTcgetattr | 1u << PosixCallTcsetattr |
                                 1u << PosixCallTcflush | 1u << PosixCallSessionLeader;

std::string Steps(const std::string &position, const std::string &sparseLine = "")
{
    return "OpenFile... ok\r\n" + sparseLine + "SetFilePointer(0x" + position +
           ")... ok\r\nSetEndOfFile... ok\r\nCloseFile... ok\r\n";
}

const std::string Prompt = "Press a key to close";

struct Row {
    const char *name;
    File file;
    const char *command;
    long long size; // asked for
    Blocks blocks;
    std::string output; // of the clean run
    int exitCode;
    Start start = Start::Plain;
    unsigned kinds = AllKinds; // the kinds failed in turn
    long long sizeLimit = 0;   // RLIMIT_FSIZE, so that a reservation really fails
    long volumeType = 0;       // what statfs reports as the file system, where not 0
    bool resizesIgnored = false; // ftruncate and fallocate do nothing, as on some file systems
    bool asNobody = false;       // on a 0666 file of root's: no lease, the locks guard alone
};

void PrintTo(const Row &row, std::ostream *out) { *out << row.name; }

const Row Rows[] = {
    {"cut", File::Random, "varnelt f 1000", 1000, Blocks::Any, Steps("000003E8"), 0},
    {"extend", File::Small, "varnelt f 1Mi", Mi, Blocks::Reserved, Steps("00100000"), 0},
    {"extend_sparse", File::Small, "varnelt f 1Mi -s", Mi, Blocks::NoGrowth,
     Steps("00100000", "Set sparse flag... ok\r\n"), 0},
    {"holes", File::Holes, "varnelt f 1Mi", Mi, Blocks::NoGrowth, Steps("00100000"), 0},
    {"holes_sparse", File::Holes, "varnelt f 1Mi -s", Mi, Blocks::NoGrowth,
     Steps("00100000", "Sparse flag already set\r\n"), 0},
    {"missing", File::Missing, "varnelt f 1000", 1000, Blocks::Any, "\r\nfile not found\r\n", 2},
    {"directory", File::Directory, "varnelt f 1000", 1000, Blocks::Any,
     "OpenFile... failed\r\n(Access is denied.)\r\n\r\n", 1},
    // A file-size limit refuses the reservation for real; putting the size back may fail as well.
    {"reservation_refused", File::Small, "varnelt f 1Mi", Mi, Blocks::Reserved,
     "OpenFile... ok\r\nSetFilePointer(0x00100000)... ok\r\nSetEndOfFile... failed\r\n(The file size "
     "exceeds the limit allowed and cannot be saved.)\r\n\r\n",
     1, Start::Plain, AllKinds, Mi / 2},
    // The open lands on descriptor 0 and is moved off it.
    {"closed_input", File::Small, "varnelt f 1Mi", Mi, Blocks::Reserved, Steps("00100000"), 0,
     Start::NoInput},
    // FAT keeps no holes: the request fails as on Windows, and the extension is reserved instead.
    {"fat_sparse", File::Small, "varnelt f 1Mi -s", Mi, Blocks::Reserved,
     Steps("00100000", "Set sparse flag... failed\r\n(Incorrect function.)\r\n\r\n"), 0, Start::Plain,
     AllKinds, 0, 0x4d44},
    {"prompt", File::Small, "varnelt f 100", 100, Blocks::Any, Steps("00000064") + Prompt, 0,
     Start::Terminal, PromptKinds},
    // A resize answered without being made fails the step: the size must not be claimed.
    {"resize_ignored", File::Random, "varnelt f 1000", 1000, Blocks::Any,
     "OpenFile... ok\r\nSetFilePointer(0x000003E8)... ok\r\nSetEndOfFile... failed\r\n(The request is "
     "not supported.)\r\n\r\n",
     1, Start::Plain, AllKinds, 0, 0, true},
    {"not_owner", File::Random, "varnelt f 1000", 1000, Blocks::Any, Steps("000003E8"), 0, Start::Plain,
     AllKinds, 0, 0, false, true},
};

enum class State { AsItWas, AsAsked, Damaged };

struct Outcome {
    std::string output;
    int exitCode = -1;
    int signal = 0;
    bool hung = false;
    unsigned counts[PosixCallKinds] = {};
    State state = State::Damaged;
    blkcnt_t blocksBefore = 0, blocksAfter = 0;
};

const std::string &RandomBytes()
{
    static const std::string bytes = [] {
        std::mt19937 generator(20240611);
        std::string made(Mi, '\0');
        for (char &c : made)
            c = static_cast<char>(generator());
        return made;
    }();
    return bytes;
}

std::string Contents(const std::string &path)
{
    std::string bytes;
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    char chunk[65536];
    for (ssize_t n; descriptor >= 0 && (n = read(descriptor, chunk, sizeof chunk)) > 0;)
        bytes.append(chunk, static_cast<size_t>(n));
    if (descriptor >= 0)
        close(descriptor);
    return bytes;
}

class Faults : public testing::TestWithParam<Row> {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/varnelt-fault-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        base = name;
        counts = static_cast<unsigned *>(mmap(nullptr, sizeof(unsigned) * PosixCallKinds,
                                              PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
        ASSERT_NE(counts, MAP_FAILED);
        const Row &row = GetParam();
        const std::string &random = RandomBytes();
        before = row.file == File::Random ? random : random.substr(0, 1000);
        if (row.file == File::Holes)
            before.resize(64 * 1024, '\0');
        asked = before.substr(0, static_cast<size_t>(std::min<long long>(row.size, 1000)));
        asked.resize(static_cast<size_t>(row.size), '\0');
    }
    void TearDown() override
    {
        munmap(counts, sizeof(unsigned) * PosixCallKinds);
        nftw(base.c_str(), [](const char *path, const struct stat *, int, FTW *) { return remove(path); }, 8,
             FTW_DEPTH | FTW_PHYS);
    }

    // Runs the tool once in a fresh directory with the nth call of the kind failing (none for nth 0).
    Outcome RunOnce(PosixCall kind, unsigned nth, int error);
    State Look(const std::string &path, blkcnt_t *blocks) const;

    std::string base, before, asked;
    unsigned *counts = nullptr;
    int runNumber = 0;
};

[[noreturn]] void Child(const Row &row, const std::string &directory, int output, PosixCall kind,
                        unsigned nth, int error, unsigned *counts)
{
    PosixBlockSignals(); // as the tool's own start-up does
    const rlimit limit = {static_cast<rlim_t>(row.sizeLimit), static_cast<rlim_t>(row.sizeLimit)};
    if ((row.sizeLimit && setrlimit(RLIMIT_FSIZE, &limit) != 0) || chdir(directory.c_str()) != 0)
        _exit(97);
    const passwd *nobody = row.asNobody ? getpwnam("nobody") : nullptr;
    if (row.asNobody && (!nobody || setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 ||
                         setuid(nobody->pw_uid) != 0))
        _exit(97);
    if (row.start != Start::Terminal) {
        dup2(output, 1);
        close(output);
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        close(null);
        if (row.start == Start::NoInput)
            close(0);
    }
    PosixCountCallsInto(counts);
    PosixSetCommandLine(row.command);
    PosixFakeVolumeType(row.volumeType);
    PosixIgnoreResizes(row.resizesIgnored);
    if (nth)
        PosixFailCall(kind, nth, error);
    VarneltStart();
    _exit(98);
}

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

Outcome Faults::RunOnce(PosixCall kind, unsigned nth, int error)
{
    const Row &row = GetParam();
    const std::string directory = base + "/" + std::to_string(++runNumber), path = directory + "/f";
    Outcome run;
    if (mkdir(directory.c_str(), 0755) != 0)
        return run;
    if (row.file == File::Directory) {
        mkdir(path.c_str(), 0755);
    } else if (row.file != File::Missing) {
        // The file with holes has its 1000 bytes written and the rest left out.
        const size_t written = row.file == File::Holes ? 1000 : before.size();
        const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (write(file, before.data(), written) != static_cast<ssize_t>(written) ||
            ftruncate(file, static_cast<off_t>(before.size())) != 0 ||
            (row.asNobody && fchmod(file, 0666) != 0)) {
            ADD_FAILURE() << "cannot make the file";
        }
        close(file);
    }
    Look(path, &run.blocksBefore);

    memset(counts, 0, sizeof(unsigned) * PosixCallKinds);
    fflush(nullptr); // nothing buffered may reach the child's output
    int from = -1;
    pid_t child;
    if (row.start == Start::Terminal) {
        // Input line by line and without echo, as a terminal starts; output passed unchanged.
        termios settings{};
        cfmakeraw(&settings);
        settings.c_lflag |= ICANON;
        settings.c_cflag |= CREAD;
        settings.c_cc[VMIN] = 1;
        cfsetspeed(&settings, B38400);
        child = forkpty(&from, nullptr, &settings, nullptr);
        if (child == 0)
            Child(row, directory, -1, kind, nth, error, counts);
    } else {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0)
            return run;
        child = fork();
        if (child == 0)
            Child(row, directory, ends[1], kind, nth, error, counts);
        close(ends[1]);
        from = ends[0];
    }
    if (child < 0)
        return run;
    // Keys keep coming while the run lasts: whatever the prompt flushes, one after it ends the wait.
    const double deadline = Now() + 5;
    double lastKey = 0;
    for (char chunk[4096]; Now() < deadline;) {
        if (row.start == Start::Terminal && Now() - lastKey > 0.05) {
            lastKey = Now();
            if (write(from, "k", 1) != 1)
                break;
        }
        pollfd ready = {from, POLLIN, 0};
        if (poll(&ready, 1, 20) <= 0)
            continue;
        const ssize_t n = read(from, chunk, sizeof chunk);
        if (n <= 0)
            break; // end of output, or EIO once the terminal's last user is gone
        run.output.append(chunk, static_cast<size_t>(n));
    }
    close(from);
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (Now() >= deadline) {
            run.hung = true;
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            break;
        }
        usleep(1000);
    }
    if (!run.hung) {
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    memcpy(run.counts, counts, sizeof run.counts);
    run.state = Look(path, &run.blocksAfter);
    unlink(path.c_str()); // each 1 MiB file goes at once; the rest when the row ends
    return run;
}

State Faults::Look(const std::string &path, blkcnt_t *blocks) const
{
    const File file = GetParam().file;
    struct stat info = {};
    const bool exists = lstat(path.c_str(), &info) == 0;
    *blocks = info.st_blocks;
    if (file == File::Missing || file == File::Directory)
        return exists == (file == File::Directory) && (!exists || S_ISDIR(info.st_mode)) ? State::AsItWas
                                                                                         : State::Damaged;
    if (!exists || !S_ISREG(info.st_mode))
        return State::Damaged;
    const std::string bytes = Contents(path);
    return bytes == before ? State::AsItWas : bytes == asked ? State::AsAsked : State::Damaged;
}

// The text of the last failure report, or of a refusal; empty when there is neither.
std::string Reason(const std::string &output)
{
    const size_t start = output.rfind(" failed\r\n(");
    const size_t end = output.find(")\r\n\r\n", start);
    if (start != std::string::npos && end != std::string::npos && end > start + 10)
        return output.substr(start + 10, end - start - 10);
    for (const char *refusal : {"\r\nfile not found\r\n", "\r\ninvalid size\r\n"})
        if (output.find(refusal) != std::string::npos)
            return refusal;
    return "";
}

std::string TextOf(DWORD code)
{
    const char *text = PosixMessageText(code);
    return text ? text : "unknown error " + std::to_string(code);
}

// Whether the reason a failed run gives fits the call that failed: its errno's text, a lock that
// says another process has the file, what the clean run said, or a refusal.
bool Explains(const std::string &reason, int kind, int error, const Row &row, const std::string &clean)
{
    const bool lock = kind == PosixCallLease || kind == PosixCallFlock || kind == PosixCallRecordLock;
    return reason == TextOf(PosixErrorCode(error)) ||
           (lock && (error == EACCES || error == EAGAIN) && reason == TextOf(ERROR_SHARING_VIOLATION)) ||
           (row.file == File::Missing && reason == TextOf(ERROR_FILE_NOT_FOUND)) ||
           (!reason.empty() && (reason[0] == '\r' || clean.find(reason) != std::string::npos));
}

// One run with the nth call of the kind failing, against the rules and against the clean run.
void Check(const Row &row, const Outcome &clean, const Outcome &run, int kind, unsigned nth, int error)
{
    const bool prompt = PromptKinds & 1u << kind;
    const std::string what = std::string(Kinds[kind].name) + " #" + std::to_string(nth) + " " +
                             strerrorname_np(error) + ":\n" + run.output;
    ASSERT_FALSE(run.hung) << "hung, " << what;
    EXPECT_EQ(run.signal, 0) << what;
    EXPECT_TRUE(run.exitCode >= 0 && run.exitCode <= 2) << run.exitCode << ", " << what;
    EXPECT_GE(run.counts[kind], nth) << "the fault was never reached, " << what;
    EXPECT_NE(run.state, State::Damaged) << "the file is damaged, " << what;
    if (run.exitCode == 0) {
        EXPECT_EQ(run.state, State::AsAsked) << "success without the result, " << what;
    }
    // Without the sparse flag an extension is reserved: only the request's own failure allows it.
    const bool sparseFailed = !prompt && run.output.find("Set sparse flag... failed") != std::string::npos;
    const bool noReservation = kind == PosixCallFallocate && error == EOPNOTSUPP;
    if (row.blocks == Blocks::Reserved && run.exitCode == 0 && !noReservation) {
        EXPECT_GE(run.blocksAfter * 512LL, row.size) << "not reserved, " << what;
    }
    if (row.blocks == Blocks::NoGrowth && !sparseFailed) {
        EXPECT_LE(run.blocksAfter, run.blocksBefore) << "blocks allocated, " << what;
    }
    if (prompt) {
        EXPECT_EQ(run.exitCode, clean.exitCode) << "a lost transcript changed the exit code, " << what;
        EXPECT_EQ(run.state, clean.state) << "a lost transcript changed the file, " << what;
        EXPECT_EQ(run.blocksAfter > run.blocksBefore, clean.blocksAfter > clean.blocksBefore)
            << "a lost transcript changed the allocation, " << what;
        // One write's bytes, or the prompt, are missing; nothing else differs.
        size_t same = 0;
        while (same < run.output.size() && same < clean.output.size() && run.output[same] == clean.output[same])
            ++same;
        const std::string rest = run.output.substr(same);
        EXPECT_TRUE(clean.output.size() >= same + rest.size() &&
                    clean.output.compare(clean.output.size() - rest.size(), rest.size(), rest) == 0)
            << "the transcript says something else, " << what;
    } else if (run.exitCode == 0) {
        // Only a failed sparse request lets the sequence go on.
        const size_t failed = run.output.find(" failed");
        EXPECT_TRUE(failed == std::string::npos || (sparseFailed && run.output.rfind(" failed") == failed))
            << what;
        EXPECT_NE(run.output.find("CloseFile... ok\r\n"), std::string::npos) << what;
    } else {
        EXPECT_TRUE(Explains(Reason(run.output), kind, error, row, clean.output))
            << "no report with the system's text, " << what;
    }
    // EAGAIN from the open or a lock means that another process has the file: no sharing.
    const bool lock = kind == PosixCallFlock || kind == PosixCallRecordLock;
    if ((lock || kind == PosixCallOpen) && error == EAGAIN) {
        EXPECT_EQ(Reason(run.output), TextOf(ERROR_SHARING_VIOLATION)) << "went on, " << what;
        EXPECT_EQ(run.state, State::AsItWas) << what;
    }
    // A lease refused once for another opener is asked for again: a racing run closes at once.
    if ((error == EINTR && kind != PosixCallClose) || (kind == PosixCallLease && error == EAGAIN)) {
        EXPECT_EQ(run.output, clean.output) << "an interrupted call was not retried, " << what;
        EXPECT_EQ(run.exitCode, clean.exitCode) << what;
        EXPECT_EQ(run.state, clean.state) << what;
        EXPECT_EQ(run.counts[kind], clean.counts[kind] + 1) << "no retry, " << what;
    }
}

TEST_P(Faults, EveryCallFailsInTurn)
{
    const Row &row = GetParam();
    if (row.asNobody && geteuid() != 0) {
        GTEST_SKIP() << "running the tool as nobody on root's file needs root";
    }
    if (row.asNobody) {
        ASSERT_EQ(chmod(base.c_str(), 0711), 0); // nobody reaches its run directories
    }
    const double started = Now();
    const Outcome clean = RunOnce(PosixCallKinds, 0, 0);
    ASSERT_FALSE(clean.hung);
    ASSERT_EQ(clean.output, row.output);
    ASSERT_EQ(clean.exitCode, row.exitCode);
    ASSERT_EQ(clean.state, row.exitCode == 0 ? State::AsAsked : State::AsItWas);
    ASSERT_GE(clean.counts[PosixCallStat], 1u) << "the calls are not counted";
    ASSERT_GE(clean.counts[PosixCallWrite], 1u) << "the calls are not counted";
    if (row.asNobody) {
        ASSERT_EQ(clean.counts[PosixCallRecordLock], 1u) << "without the lease the locks must guard the file";
    }

    std::string summary;
    int runs = 0;
    for (int kind = 0; kind < PosixCallKinds; ++kind) {
        if (!(row.kinds & 1u << kind) || clean.counts[kind] == 0)
            continue;
        summary += std::string(" ") + Kinds[kind].name + "×" + std::to_string(clean.counts[kind]) + " {";
        for (int error : Kinds[kind].errnos)
            summary += std::string(strerrorname_np(error)) + (error == Kinds[kind].errnos.back() ? "}" : ",");
        for (unsigned nth = 1; nth <= clean.counts[kind]; ++nth) {
            for (int error : Kinds[kind].errnos) {
                ++runs;
                Check(row, clean, RunOnce(static_cast<PosixCall>(kind), nth, error), kind, nth, error);
            }
        }
    }
    printf("%s: %d runs in %.1f s:%s\n", row.name, runs, Now() - started, summary.c_str());
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Faults, testing::ValuesIn(Rows),
                         [](const testing::TestParamInfo<Row> &row) { return std::string(row.param.name); });
} // namespace
