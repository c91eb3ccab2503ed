#include "console/console.h"
#include "tests/support/child.h"
#include "tests/support/transcripts.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace {
// Runs the action with standard output on a temporary file and returns what the file received.
std::string CaptureOutput(const std::function<void()> &action)
{
    fflush(stdout);
    FILE *capture = tmpfile();
    const int saved = dup(1);
    dup2(fileno(capture), 1);
    action();
    dup2(saved, 1);
    close(saved);
    std::string bytes(4096, '\0');
    rewind(capture);
    bytes.resize(fread(bytes.data(), 1, bytes.size(), capture));
    fclose(capture);
    return bytes;
}

TEST(ConsolePrintf, WritesExactBytes)
{
    const struct {
        const char *format, *text; // text for a %s directive
        unsigned high, low;        // for %08X directives
        const char *expected;
    } cases[] = {
        {"usage:\n\n", "", 0, 0, "usage:\r\n\r\n"},
        {"a\r\nb\r\n", "", 0, 0, "a\r\nb\r\n"},
        {"\nfile not found\n", "", 0, 0, "\r\nfile not found\r\n"},
        {"OpenFile...", "", 0, 0, "OpenFile..."},
        {" failed\n(%s)\n\n", "Access is denied.", 0, 0, " failed\r\n(Access is denied.)\r\n\r\n"},
        {"%s", "\n\r\r\n\n", 0, 0, "\r\n\r\r\n\r\n"}, // line ends from the argument count too
        {"a\rb", "", 0, 0, "a\rb"},
        {"SetFilePointer(0x%08X)...", "", 0x40000000, 0, "SetFilePointer(0x40000000)..."},
        {"(0x%08X%08X)", "", 1, 0, "(0x0000000100000000)"},
        {"(0x%08X%08X)", "", 0xFFFFFFFF, 0xFFFFFFFF, "(0xFFFFFFFFFFFFFFFF)"},
        {"(0x%08X)", "", 0xB2D05E00, 0, "(0xB2D05E00)"},
        {"", "", 0, 0, ""},
    };
    for (const auto &c : cases) {
        int result = -2;
        const std::string written = CaptureOutput([&] {
            result = strstr(c.format, "%s") ? ConsolePrintf(c.format, c.text)
                                            : ConsolePrintf(c.format, c.high, c.low);
        });
        EXPECT_EQ(written, AsPrinted(c.expected)) << c.format;
        EXPECT_EQ(result, static_cast<int>(strlen(c.expected))) << c.format; // what the program wrote
    }
}

// Linux ends a line with LF alone: a CR LF that two writes split still becomes one LF, a return
// that no line feed follows stays, also the last one before the end.
TEST(WriteFile, LineEndSplitAcrossTwoWrites)
{
    const char *const cases[][2] = {{"\nb", "a\nb"}, {"b", "a\rb"}, {"\r", "a\r\r"}}; // after "a\r"
    for (const auto &[second, expected] : cases) {
        Child child;
        ASSERT_TRUE(child.Start({}, [&] {
            DWORD written = 0;
            for (const char *text : {"a\r", second})
                WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, strlen(text), &written, nullptr);
            ExitProcess(0);
        }));
        child.Read();
        EXPECT_EQ(child.text, expected) << second;
        EXPECT_EQ(child.Wait(), 0);
    }
}

TEST(ConsolePrintf, LongTextIsCut)
{
    const std::string letters(3000, 'x');
    EXPECT_EQ(CaptureOutput([&] { ConsolePrintf("%s", letters.c_str()); }),
              letters.substr(0, ConsoleBufferRoom - 1));
}

TEST(ExpandLineEnds, CutsWhatDoesNotFitAndStaysInsideTheBuffer)
{
    // The buffer sits inside a larger one whose tail must come out untouched.
    char bytes[ConsoleBufferRoom + 256];
    memset(bytes, '#', sizeof bytes);
    memset(bytes, '\n', ConsoleBufferRoom - 1);
    bytes[ConsoleBufferRoom - 1] = '\0';
    ExpandLineEnds(bytes);
    std::string pairs;
    for (int i = 0; i < (ConsoleBufferRoom - 1) / 2; ++i)
        pairs += "\r\n"; // a return is never cut off from its line feed
    EXPECT_EQ(std::string(bytes), pairs);
    EXPECT_EQ(std::string(bytes + ConsoleBufferRoom, 256), std::string(256, '#'));
}
} // namespace
