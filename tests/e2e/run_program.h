// Runs the tool as a user would, on either build: the Linux binary directly or Varnelt.exe under
// Wine, chosen by the environment that CTest sets (VARNELT_TARGET, VARNELT_PROGRAM).
#pragma once

#include <string>
#include <vector>

struct RunOptions {
    std::string workingDirectory = "."; // the file names in the arguments are relative to it
    int timeoutSeconds = 60;            // a run that takes longer is killed: a hang is a failure
    bool closeStandardOutput = false;   // start with descriptor 1 closed
    bool brokenPipe = false;            // standard output is a pipe whose reader is gone
    long long fileSizeLimit = -1;       // RLIMIT_FSIZE in bytes, or -1 for none
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
// Runs the tool with the arguments that follow the program name.
RunResult RunTool(const std::vector<std::string> &arguments, const RunOptions &options = {});

// A fresh, empty directory under the system's temporary folder, removed by RemoveTree.
std::string MakeTemporaryDirectory();
void RemoveTree(const std::string &path);
