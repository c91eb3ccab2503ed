// The program's own flow: entry point, command line, the request's checks, size argument and
// resize sequence.
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
// Whether the last split met a tab outside quotes: Windows' own splitting ends a word there, so
// the words the user sees are not the entries.
bool SplitMetTab(void);
// True when the 8-bit command line converts back exactly to the system's wide one: no character
// was replaced or mapped to a look-alike. Only for a line that fits the copy.
bool CommandLineIsExact(void);
void *MoveBytes(void *destination, const void *source, int length);
// The usage, the help or the version, for a command line that names no file and size; the exit
// code it ends with.
int AnswerWithoutFile(int count, LPSTR table[ArgumentTableRoom]);

// What the command line asks for, once nothing before the file is touched refuses it.
struct Request {
    LPCSTR name;
    LONGLONG size;
    bool sparse;       // the option was given
    DWORD nameRefusal; // ERROR_SUCCESS, or the code the open is refused with (see NameRefusal)
};
// Returned by CheckRequest when the resize may go on.
constexpr int RequestAccepted = -1;
// Reads the command line and refuses whatever must not reach the file, in the order a user meets
// it. RequestAccepted with the request filled in; otherwise the exit code, its refusal (or the
// usage, help or version) printed.
int CheckRequest(Request *request);

LONGLONG ParseSizeArgument(LPCSTR text);
LONGLONG ParseNumber(LPCSTR text);
// True when the text is a size a user can mean, with its value (exactly ParseSizeArgument's).
bool CheckSizeText(LPCSTR text, LONGLONG *value);

int RunResize(const Request &request);
// The one look at the name before the open: ERROR_FILE_NOT_FOUND only for a missing file or
// folder (and an empty name); ERROR_ACCESS_DENIED when it answers a device instead of a file or a
// folder (the device attribute, or the errors a device's look gives); otherwise ERROR_SUCCESS, any
// other failed look being left for the open to report.
DWORD LookAtName(LPCSTR name);
// True when the path as it stands leads to a device instead of a file: \\.\COM1, \\?\C:,
// \\server\pipe\x (and every spelling Windows may take for that share). Reserved names (nul,
// COM1.txt) show only in their full path.
bool IsDevicePath(LPCSTR path);
// True when the path's last component is COM or LPT with a superscript digit 1 to 3 as the
// process's code page reads it, alone or before an extension or a colon: reserved device names
// on Windows.
bool IsSuperscriptDeviceName(LPCSTR path);
#ifdef _WIN32
constexpr bool NamesMayBeReserved = true;
#else
constexpr bool NamesMayBeReserved = false; // Linux has no reserved names: COM¹ is a file
#endif
// 0 when the name may be looked at and opened; otherwise the code its open is refused with:
// ERROR_ACCESS_DENIED for a name that leads to a device, as for a directory,
// ERROR_FILENAME_EXCED_RANGE for a full path longer than the system makes, or the error of the
// full path's lookup when that failed.
DWORD NameRefusal(LPCSTR name);

// The one case folding of the program: ASCII letters only, as the size's unit letters need.
inline char UpperCaseLetter(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
