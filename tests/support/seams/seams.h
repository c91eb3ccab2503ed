// What tests make the system answer instead (the command line, a message, a missing function, a
// failing or ignored call, a volume's type), and the call counts: each by replacing entries of the
// seam's table (calls.h) and putting them back. Linked into test programs only.
#pragma once

#include "platform/posix/calls.h"

// Sets the raw command line directly.
void PosixSetCommandLine(LPCSTR line);
// Makes GetCommandLineW give this line instead of the 8-bit one widened, as a system that mapped
// characters to look-alikes on the way to the 8-bit line does; null undoes it.
void PosixSetWideCommandLine(LPCWSTR line);
// Makes FormatMessageA give exactly this text for the code, line ends and all; null gives the
// table's text again. The text must outlive its use.
void PosixSetMessageText(DWORD code, LPCSTR text);
// Makes GetConsoleWindow answer as on Windows, where a console window may be the tool's own: the
// terminal on standard input, owned by its session's leader. Without it the Linux build has none.
void PosixShowConsoleWindow(bool shown);
// Makes GetProcAddress miss StrToInt64ExA, as on a system whose library lacks it.
void PosixHideStrToInt64ExA(bool hidden);
// A process code page as a test describes it (from the system's own tables, say): which bytes lead
// a double-byte character, and the conversion MultiByteToWideChar makes, under its rules on length
// and room.
struct PosixCodePage {
    bool (*leadsTwoBytes)(BYTE byte);
    int (*widen)(LPCSTR bytes, int length, LPWSTR wide, int room);
};
// Makes CP_ACP this code page for MultiByteToWideChar (and so GetCommandLineW) and IsDBCSLeadByte,
// as a legacy ANSI code page of Windows; null gives the stand-in's own back, where each byte is the
// character of its number and none leads another.
void PosixSetCodePage(const PosixCodePage *page);

// How an injected fault meets the call.
enum class PosixFault {
    Once,         // the nth call fails without being made
    FromThenOn,   // the nth and every later call of the kind fail without being made (never EINTR)
    AfterTheWork, // the nth call is made, then reports the error: a fallocate after half its range
};
// Makes the nth call of this kind from now on (1 for the next) fail with the errno; nth 0 clears
// the fault. An injected EINTR takes the way a real one takes. One fault at a time.
void PosixFailCall(PosixCall call, unsigned nth, int error, PosixFault how = PosixFault::Once);
// Counts the calls of each kind into this table of PosixCallKinds entries from now on, for
// example in memory shared with the process that started a run; null counts into the test
// library's own table again. The counts start from what the table holds.
void PosixCountCallsInto(unsigned *counts);
// Makes statfs report this file-system type (f_type) from now on, as on a volume of that kind;
// 0 reports the real one again. Only for the open file (fstatfs): as when the name led elsewhere
// a moment before the open.
void PosixFakeVolumeType(long type, bool openFileOnly = false);
// Makes ftruncate and fallocate answer success without doing anything, as a file system that
// ignores a resize does.
void PosixIgnoreResizes(bool ignored);
// From the nth lease-state query on (1 for the next), the lease reads as broken by an opener that
// has waited out the break time, as when another process opens the file during a long call; 0
// undoes it. With held 0 or more the clock stands still from now until then, and the lease has been
// held that many milliseconds when it reads as broken: the opener may still be waiting.
void PosixLoseLeaseAt(unsigned nth, long long held = -1);
// Makes the lease-break-time file read as this text; null reads the real one again.
void PosixAnswerBreakTime(const char *text);
// Runs the action with the argument right before the nth call of the kind from now on (1 for the
// next), as another process or a signal would come in during the run: a user's Ctrl+C, a writer
// that ignores the locks; nth 0 undoes it. One action at a time.
void PosixRunBefore(PosixCall call, unsigned nth, void (*action)(int), int argument);
