// The stand-in's errors: errno values as Win32 codes, and the system's texts for those.
#pragma once

#include "platform/winapi.h"

// The Win32 code for an errno value.
DWORD PosixErrorCode(int error);
// The Windows message for a Win32 code, without its line end, or null when there is none.
LPCSTR PosixMessageText(DWORD code);
// Sets the last-error code to the Win32 code of the current errno.
void PosixSetErrorFromErrno();
