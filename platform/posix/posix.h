// What the POSIX stand-in shares between its calls beyond the Windows ones: the errno translation,
// the clock and the process's start. The calls to the system go through calls.h's table.
#pragma once

#include "platform/winapi.h"

// The Win32 code for an errno value.
DWORD PosixErrorCode(int error);
// The Windows message for a Win32 code, without its line end, or null when there is none.
LPCSTR PosixMessageText(DWORD code);
// Sets the last-error code to the Win32 code of the current errno.
void PosixSetErrorFromErrno();

// Milliseconds of the monotonic clock, which costs no system call; Sleep waits on the same clock.
long long PosixMilliseconds();

// Blocks the signals that would end the process midway through a resize: a closed pipe and a
// file-size limit then show as failed calls, another opener's break of the lease waits for the
// close, and every other signal whose default action ends the process (but the faults it raises
// itself) waits until the size step is done or undone. Blocked, not ignored: one call for all.
void PosixBlockSignals();
// Writes a return that ended the last output and was held to see whether a line feed follows.
void PosixFlushConsole();
// Lets the requests to end in, once: one that came while they were blocked ends the process by
// that signal now, as the shell expects. Called after the size step, before a wait for a key, and
// at the exit.
void PosixLetSignalsIn();
// Composes the command line GetCommandLineA returns from an argument vector, entry 0 the program's
// name without its folder (where the tool lies is no part of what the user asked). False when an
// argument holds a double quote, which could not reach the program unchanged.
bool PosixComposeCommandLine(int argc, char **argv);
