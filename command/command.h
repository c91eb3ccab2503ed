// The program's own flow: entry point, command line, size argument and resize sequence.
#pragma once

#include "platform/winapi.h"

// Room of the raw command line's copy, terminating zero included.
constexpr int CommandLineRoom = 1280;
// Room of the argument table; further entries are counted, not stored.
constexpr int ArgumentTableRoom = 33;
// Room of the size text's working copy, terminating zero included.
constexpr int SizeTextRoom = 64;

extern char CommandLineCopy[CommandLineRoom];

extern "C" void VarneltStart(void);

// Copies the raw command line and splits it in place. False (and count 0) when it does not fit.
bool SplitCommandLine(int *count, LPSTR table[ArgumentTableRoom]);
// True when the 8-bit command line converts back exactly to the system's wide one: no character
// was replaced or mapped to a look-alike. Only for a line that fits the copy.
bool CommandLineIsExact(void);
void *MoveBytes(void *destination, const void *source, int length);
int RunCommand(int count, LPSTR table[ArgumentTableRoom]);

extern const char UnitLetters[];
extern const LONGLONG BinaryFactors[6];
extern const LONGLONG DecimalFactors[6];

LONGLONG ParseSizeArgument(LPCSTR text);
LONGLONG ParseNumber(LPCSTR text);
// True when the text is a size a user can mean, with its value (exactly ParseSizeArgument's).
bool CheckSizeText(LPCSTR text, LONGLONG *value);

int RunResize(int count, LPSTR table[ArgumentTableRoom]);
bool FileExists(LPCSTR name);
// True when the name leads to a device instead of a file: a reserved name (nul, COM1.txt) or a
// device path (\\.\COM1, \\?\C:).
bool NameLeadsToDevice(LPCSTR name);
