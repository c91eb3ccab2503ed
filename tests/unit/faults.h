// The fault table's parts: its rows, one run of the tool in a child process with one call of the
// stand-in failing, and the rules every such run must keep.
#pragma once

#include "tests/support/seams/seams.h"
#include "tests/support/files.h"

#include <signal.h>
#include <sys/stat.h>

#include <initializer_list>
#include <string>

// The errnos a kind of call can really answer; EIO can come from any of them. A fixed room, so that
// the table is a constant the compiler can check; a longer list does not compile.
struct Errnos {
    int values[12] = {};
    int count = 0;
    constexpr Errnos(std::initializer_list<int> list)
    {
        for (int error : list)
            values[count++] = error;
    }
    const int *begin() const { return values; }
    const int *end() const { return values + count; }
};
// What a user sees of a kind's failure, and how the fault table tries it.
enum Facts : unsigned {
    PromptOnly = 1,  // made only to show the transcript or to wait at the prompt: its failure must not
                     // change the exit code or the file
    MadeAgain = 2,   // made again in one run: a failure from then on tells more than one failure
    DoesWork = 4,    // changes the file: it may fail after doing its work
    Unheard = 8,     // its failure changes nothing a user sees
    BusyRetried = 16, // refused once for another opener (EAGAIN), it is asked again
    NotRetried = 32, // interrupted (EINTR), it is not made again: a close, whose descriptor is gone
                     // either way; every other kind that can be interrupted is asked again
};
// An errno whose failure the program means to show otherwise: another code's text, or nothing (0).
struct Meant {
    int error = 0;
    DWORD code = 0;
};
// A row of the fault table: the kind it fails, which must be its place in PosixCall's list; the
// errnos it can really answer; its facts; the errnos the program answers otherwise.
struct Kind {
    PosixCall kind;
    Errnos errnos;
    unsigned facts = 0;
    Meant meant[2] = {};
};
extern const Kind Kinds[PosixCallKinds];

// Whether every kind has its row, in the list's order; a kind left out reads as a row for kind 0.
constexpr bool EachKindInItsPlace(const Kind (&kinds)[PosixCallKinds])
{
    for (int i = 0; i < PosixCallKinds; ++i)
        if (kinds[i].kind != i)
            return false;
    return true;
}

// Whether the kind has the fact.
inline bool Has(int kind, Facts fact) { return (Kinds[kind].facts & fact) != 0; }

// Reserved: the small file with 2 MiB reserved beyond its end before the run.
enum class File { Mebibyte, Small, Holes, Missing, Directory, Reserved };
// How the run starts, and what the stand-in meets besides the file.
enum Flags : unsigned {
    OnTerminal = 1,      // input and output on a terminal whose session the tool leads
    NoInput = 2,         // descriptor 0 closed: the open lands there and must move off
    NoError = 4,         // the same with descriptor 2
    SizeLimit = 8,       // a file-size limit of half a mebibyte: a reservation really fails
    FatVolume = 16,      // statfs reports FAT, which keeps no holes
    ResizesIgnored = 32, // ftruncate and fallocate do nothing, as some file systems do
    AsNobody = 64,       // run as nobody on a 0666 file of root's: no lease, the locks guard alone
    ReaderHidden = 128,  // the library lacks the 64-bit number reader
    LeaseLost = 256,     // another opener waits out the lease during the reservation
    Interrupted = 512,   // a request to end comes right before the reservation
    ProcOpened = 1024,   // the name looked like a file, the file opened lies on proc
    ReadOnly = 2048,     // the file has no write bit: refused before anything opens it
    ProcVolume = 4096,   // statfs reports proc for the name too: refused before the open
    OwnConsole = 8192,   // the stand-in shows the terminal as a window, as Windows would: it prompts
    NoLease = 16384,     // no leases here (EINVAL): the locks alone guard the file
    Appended = 32768,    // a writer that ignores the locks appends zeros right before the reservation
    Overwritten = 65536, // one that writes the first bytes again, the same, right before it
    Cancelled = 131072,  // a request to end comes right before the size step, before any change
    BeyondEarlier = 262144, // the reservation reaches past what was reserved before: on a file system
                            // that cannot punch beyond the end (ext4), the run's own blocks stay
    Ignored = 524288,    // the signal a Cancelled row sends is ignored, as under nohup: nothing ends
    AppendedAtOpen = 1048576, // the writer appends right after the open, before the locks are taken
};
// What an Appended writer adds.
constexpr long long AppendedBytes = 170;

struct Row {
    const char *name;
    File file;
    const char *command;
    long long size; // asked for
    Blocks blocks;
    std::string output; // of the clean run
    int exitCode;
    unsigned flags = 0;
    int signal = SIGTERM; // the request to end that an Interrupted or Cancelled row sends
    unsigned leaseLostAt = 2; // the lease-state query from which a LeaseLost row's lease reads as broken
    long long heldFor = -1;   // how long a LeaseLost row's lease was held then; -1 for as long as any break time
    const char *breakTime = nullptr; // what the lease-break-time file reads, where the row sets it
};

struct Fault {
    PosixCall kind;
    unsigned nth; // 0 for none
    int error;
    PosixFault how;
};

enum class State { AsItWas, AsAsked, Damaged };

struct Outcome {
    std::string output;
    int exitCode = -1;
    int signal = 0;
    bool hung = false;
    unsigned counts[PosixCallKinds] = {};
    State state = State::Damaged;
    struct stat before = {}, after = {}; // the file's
};

// Runs the tool once with the fault, in a fresh directory below base.
Outcome RunOnce(const Row &row, const std::string &base, const Fault &fault);
// Whether a failure of the kind with the errno is meant to show at all, once or from then on.
bool ShowsAtAll(const Row &row, PosixCall kind, int error);
// Checks a run with the fault against the rules and against the clean run; true where the fault
// showed (the run failed with its text).
bool Check(const Row &row, const Outcome &clean, const Outcome &run, const Fault &fault);
