// Runs the tool as a user would, on either build: the Linux binary directly or Varnelt.exe under
// Wine, chosen by the environment that CTest sets (VARNELT_TARGET, VARNELT_PROGRAM).
#pragma once

#include "tests/support/child.h"
#include "tests/support/files.h"
#include "tests/support/transcripts.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// The child's set-up (working directory, output, file-size limit, user), and:
struct RunOptions : ChildSetup {
    int timeoutSeconds = 60; // a run that takes longer is killed: a hang is a failure
    // Under Wine: the command line exactly as typed at a Windows prompt, program name included,
    // handed over by CreateProcessW instead of built from the arguments. Ignored on Linux.
    std::string rawCommandLine;
    // Under Wine: the language and country ("ja_JP", "ko_KR", "pl_PL") whose legacy ANSI code page
    // the run has (932, 949, 1250), through a copy of Varnelt.exe whose manifest names no code
    // page, as Windows before UTF-8 runs it; its texts stay English. Ignored on Linux.
    std::string legacyCodePage;
    // Runs once the tool sleeps in a write to its output, a one-page pipe with room for outputRoom
    // bytes (none where not set); not at all if it never does. The filler is not in the output.
    std::function<void()> whileBlocked;
};

struct RunResult {
    int exitCode = -1;      // the process's exit code, or -1 when it did not exit normally
    int signal = 0;         // the signal that ended it, if any
    bool timedOut = false;
    std::string output;     // every byte written to standard output
    std::string error;      // and to standard error, which the tool never writes to
};

// A transcript with Windows' texts as the target shows it: Wine's own texts are shorter, and
// Linux ends its lines with LF.
std::string AsShown(std::string transcript);
// Runs the tool with the arguments that follow the program name. A run that prints nothing says
// its exit status and standard error in the test's log. A start that Wine itself refused (its own
// words on standard error, the program never ran) is tried once more, and a second refusal fails
// the test as such.
RunResult RunTool(const std::vector<std::string> &arguments, RunOptions options = {});

// Runs the shell command line: true when it succeeded; what it printed is added to said.
bool Shell(const std::string &command, std::string *said = nullptr, int seconds = 60);

// The Windows name Wine gives a Linux path: Z: and backslashes.
std::string WindowsPath(std::string path);
