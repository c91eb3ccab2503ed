// The close prompt's wait against a console of the test's own making: a Windows console delivers
// mouse, focus, menu and window-size events besides keys, which no terminal of the stand-in can.
// Linked with the prompt alone; the calls it makes are answered here.
#include "console/console.h"

#include <gtest/gtest.h>

#include <deque>

namespace {
// The event types of a Windows console that are no key.
constexpr WORD MouseEvent = 0x2, WindowSizeEvent = 0x4, MenuEvent = 0x8, FocusEvent = 0x10;
constexpr WORD NoRecord = 0; // a read that succeeds and delivers nothing
std::deque<WORD> console;    // what the console delivers, in order
} // namespace

HWND GetConsoleWindow(void) { return reinterpret_cast<HWND>(1); }
DWORD GetWindowThreadProcessId(HWND, LPDWORD owner)
{
    *owner = GetCurrentProcessId(); // the window is the tool's own: the prompt waits
    return 1;
}
DWORD GetCurrentProcessId(void) { return 42; }
HANDLE GetStdHandle(DWORD) { return &console; }
BOOL FlushConsoleInputBuffer(HANDLE) { return TRUE; }
void Sleep(DWORD) {}
int ConsolePrintf(LPCSTR, ...) { return 0; }
BOOL ReadConsoleInputA(HANDLE, PINPUT_RECORD record, DWORD, LPDWORD read)
{
    if (console.empty())
        return FALSE; // nothing more will come: the wait ends as on a failed read
    *record = INPUT_RECORD{};
    // A read that delivers nothing leaves the record as it was: here it holds a key's type.
    record->EventType = console.front() == NoRecord ? KEY_EVENT : console.front();
    *read = console.front() == NoRecord ? 0 : 1;
    console.pop_front();
    return TRUE;
}

namespace {
TEST(ClosePrompt, OnlyAKeyEndsTheWait)
{
    for (WORD event : {MouseEvent, WindowSizeEvent, MenuEvent, FocusEvent, NoRecord}) {
        console = {event, event, KEY_EVENT, KEY_EVENT};
        WaitForKeyIfOwnConsole();
        EXPECT_EQ(console.size(), 1u) << "event type " << event << ": the wait did not end at the first key";
    }
}
} // namespace
