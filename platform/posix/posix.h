// What the stand-in's start and end share with its console and process calls.
#pragma once

#include "platform/winapi.h"

// Writes a return that ended the last output and was held to see whether a line feed follows.
void PosixFlushConsole();
// Composes the command line GetCommandLineA returns from an argument vector, entry 0 the program's
// name without its folder (where the tool lies is no part of what the user asked). False when an
// argument holds a double quote, which could not reach the program unchanged.
bool PosixComposeCommandLine(int argc, char **argv);
