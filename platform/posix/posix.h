// What the POSIX stand-in offers beyond the Windows calls: the errno translation it shares between
// all calls, and seams for tests.
#pragma once

#include "platform/winapi.h"

// The Win32 code for an errno value.
DWORD PosixErrorCode(int error);
// The Windows message for a Win32 code, without its line end, or null when there is none.
LPCSTR PosixMessageText(DWORD code);

// Composes the command line GetCommandLineA returns from an argument vector. False when an
// argument holds a double quote, which could not reach the program unchanged.
bool PosixComposeCommandLine(int argc, char **argv);
// Sets the raw command line directly (tests).
void PosixSetCommandLine(LPCSTR line);
// Makes FormatMessageA give exactly this text for the code, line ends and all; null gives the
// table's text again. The text must outlive its use (tests).
void PosixSetMessageText(DWORD code, LPCSTR text);
// Makes GetProcAddress miss StrToInt64ExA, as on a system whose library lacks it (tests).
void PosixHideStrToInt64ExA(bool hidden);
