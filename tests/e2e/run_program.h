// Runs the tool as a user would, on either build: the Linux binary directly or Varnelt.exe under
// Wine, chosen by the environment that CTest sets (VARNELT_TARGET, VARNELT_PROGRAM).
#pragma once

#include "tests/support/files.h"
#include "tests/support/transcripts.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

struct RunOptions {
    std::string workingDirectory = "."; // the file names in the arguments are relative to it
    int timeoutSeconds = 60;            // a run that takes longer is killed: a hang is a failure
    bool closeStandardOutput = false;   // start with descriptor 1 closed
    bool brokenPipe = false;            // standard output is a pipe whose reader is gone
    long long fileSizeLimit = -1;       // RLIMIT_FSIZE in bytes, or -1 for none
    std::string user;                   // run as this user, with its group and no others (needs root)
    // Under Wine: the command line exactly as typed at a Windows prompt, program name included,
    // handed over by CreateProcessW instead of built from the arguments. Ignored on Linux.
    std::string rawCommandLine;
    // With whileBlocked set, standard output is a one-page pipe filled in advance so that only
    // outputRoom bytes fit. Once the tool has filled it and sleeps in its next write, whileBlocked
    // runs; then the pipe is read as usual. The filler is not part of RunResult::output. If the
    // tool never blocks, whileBlocked is not called.
    int outputRoom = 0;
    std::function<void()> whileBlocked;
};

struct RunResult {
    int exitCode = -1;      // the process's exit code, or -1 when it did not exit normally
    int signal = 0;         // the signal that ended it, if any
    bool timedOut = false;
    std::string output;     // every byte written to standard output
};

// True when the tool under test is Varnelt.exe under Wine.
bool TargetIsWine();
// "linux" or "wine", for messages.
const char *TargetName();
// A transcript with Windows' texts as the target shows it: Wine's own texts are shorter.
std::string AsShown(std::string transcript);
// Runs the tool with the arguments that follow the program name.
RunResult RunTool(const std::vector<std::string> &arguments, const RunOptions &options = {});

// The Windows name Wine gives a Linux path: Z: and backslashes.
std::string WindowsPath(std::string path);
