// Everything the user sees and presses: output, close prompt, system error text.
#pragma once

#include "platform/winapi.h"

// Room of one formatted output and of an error text, terminating zero included.
constexpr int ConsoleBufferRoom = 1024;

int ConsolePrintf(LPCSTR format, ...);
void ExpandLineEnds(char buffer[ConsoleBufferRoom]);
void WaitForKeyIfOwnConsole(void);
void GetSystemErrorText(char buffer[ConsoleBufferRoom]);
