// Starts a child process and talks to it: the one way the tests run the tool or a helper. Its
// standard input and output are pipes or a pseudo-terminal of its own; every wait is bounded, and a
// child that hangs is killed with its whole group.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

struct ChildSetup {
    bool terminal = false;     // input and output on a new pseudo-terminal, whose session it leads
    bool echoing = false;      // which echoes the keys typed, as a user's terminal does
    std::string input;         // what its standard input (a pipe) holds before the end
    bool inputOpen = false;    // the end comes only when the Child goes, which then waits for it
    bool closedInput = false;
    bool closedOutput = false; // else a pipe, or the terminal, that Read reads
    bool brokenOutput = false; // a pipe whose reader is gone
    bool closedError = false;
    int outputRoom = -1;       // 0 or more: a one-page output pipe, filled in advance but for these bytes
    std::string directory;     // its working directory, where not empty
    std::string user;          // run as this user with its group and no others (needs root)
    bool keepCapabilities = false; // the user keeps root's capabilities permitted, none in effect
    long long fileSizeLimit = -1; // RLIMIT_FSIZE in bytes
};

class Child {
public:
    Child() = default;
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;
    ~Child(); // one still running is killed with its group

    // Runs body, which must end in exec or _exit, in a new session; false when it cannot start.
    bool Start(const ChildSetup &setup, const std::function<void()> &body);
    // Reads the output into text until text ends with the marker, the output ends, the child ended
    // or the milliseconds are up; whether it ends with the marker. Types the key every 50 ms meanwhile.
    bool Read(const std::string &marker = "", int milliseconds = 10000, const char *key = nullptr);
    // The exit code, or -1 when a signal ended it or it did not end in time (then it is killed).
    int Wait(int milliseconds = 10000);
    // Waits until it sleeps in the system call (SYS_read, ...), where asked with its output pipe
    // full; false when it ended first or the time ran out.
    bool WaitUntilAsleepIn(long call, int milliseconds = 10000, bool outputFull = false);

    pid_t pid = -1;
    int output = -1;  // the reading end of its output; on a terminal the master, where keys are typed
    std::string text; // what it wrote, without the filler
    int signal = 0;   // the signal that ended it
    bool hung = false;

private:
    bool Ended();
    void Kill();
    int status = 0;
    bool reaped = false;
    int input = -1;     // the writing end of its input, where kept open
    int capacity = 0;   // of a one-page output pipe
    size_t filler = 0;  // bytes of filler still ahead of the child's own output
};
