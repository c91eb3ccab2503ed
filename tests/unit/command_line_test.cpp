#include "command/command.h"
#include "platform/posix/posix.h"
#include "tests/support/seams/seams.h"
#include "tests/support/child.h"
#include "tests/support/transcripts.h"
#include "tests/unit/code_pages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {
using Entries = std::vector<std::string>;

// Splits a raw command line into a table larger than the program's, so that a write past its
// room shows as a changed slot instead of a corrupted stack, and an entry past it unquoted as a
// changed text.
bool Split(const std::string &line, int *count, Entries *entries)
{
    PosixSetCommandLine(line.c_str());
    char sentinel[] = "\"s\"";
    LPSTR table[ArgumentTableRoom + 16];
    std::fill(std::begin(table), std::end(table), static_cast<LPSTR>(sentinel));
    const bool accepted = SplitCommandLine(count, table);
    entries->assign(table, table + std::min(*count, ArgumentTableRoom));
    for (int i = ArgumentTableRoom; i < ArgumentTableRoom + 16; ++i)
        EXPECT_EQ(table[i], sentinel) << "slot " << i << " written past the table";
    EXPECT_STREQ(sentinel, "\"s\"") << "a slot past the table was unquoted";
    return accepted;
}

TEST(SplitCommandLine, Table)
{
    const std::pair<const char *, Entries> cases[] = {
        {"prog file.bin 100", {"prog", "file.bin", "100"}},
        {R"("C:\Program Files\x.exe" "my file.bin" 1G -s)",
         {R"(C:\Program Files\x.exe)", "my file.bin", "1G", "-s"}},
        {"prog  file.bin    512M", {"prog", "file.bin", "512M"}},
        {"prog file\t100", {"prog", "file\t100"}},
        {R"(prog ab"c d"e 5)", {"prog", "abc de", "5"}},
        // A quote inside a name costs the name no character.
        {R"(Varnelt "my dir"\report.docx 0)", {"Varnelt", R"(my dir\report.docx)", "0"}},
        {R"(Varnelt my" "file.bin 3)", {"Varnelt", "my file.bin", "3"}},
        {R"(prog "a\"b 1)", {"prog", R"(a\"b)", "1"}},
        {R"(prog a\"b c 5)", {"prog", R"(a\"b c 5)"}},
        {R"(prog "" 1)", {"prog", "", "1"}},
        {R"(prog "C:\My Dir\" 1)", {"prog", R"(C:\My Dir\)", "1"}},
        {R"("prog" "a b" "c" d)", {"prog", "a b", "c", "d"}},
        {R"("" x)", {"", "x"}},
        {"prog", {"prog"}},
        {"", {}},
        // Spaces at the very end start no empty entry.
        {"prog file.bin   ", {"prog", "file.bin"}},
        {"prog file.bin 100 ", {"prog", "file.bin", "100"}},
    };
    for (const auto &[line, expected] : cases) {
        int count = -1;
        Entries entries;
        EXPECT_TRUE(Split(line, &count, &entries)) << line;
        EXPECT_EQ(entries, expected) << line;
        EXPECT_EQ(count, static_cast<int>(expected.size())) << line;
    }
}

// Windows' own splitting ends a word at a tab outside quotes, after the program's name too.
TEST(SplitCommandLine, MeetsATabOutsideQuotes)
{
    const std::pair<const char *, bool> cases[] = {
        {"Varnelt\tDisk 1 500M", true}, {"\tx.bin 5 0", true}, {"\"Varnelt\"\tx.bin 5 0", true},
        {"prog file\t100", true}, {"prog f 5 -s\tb.bin", true}, {"prog  \tf 5", true},
        {"prog \"a\tb\" 5", false}, {"\"pr\tog\" f 5", false}, {"prog a b", false}, {"", false},
    };
    for (const auto &[line, tab] : cases) {
        int count = -1;
        Entries entries;
        Split(line, &count, &entries);
        EXPECT_EQ(SplitMetTab(), tab) << line;
    }
}

// In a double-byte code page a character's second byte may be 0x5C: no backslash, so the quote
// after it is removed like any other (\x95\x5C is a character in 932 and 936, two in UTF-8).
TEST(SplitCommandLine, StepsOverTheSecondByteOfADoubleByteCharacter)
{
    const struct {
        const char *codePage, *line;
        Entries entries;
    } cases[] = {
        {"CP932", "prog \"\x95\x5C\"\\x.bin 13", {"prog", "\x95\x5C\\x.bin", "13"}},
        {"CP936", "prog \"\x95\x5C\"\\x.bin 13", {"prog", "\x95\x5C\\x.bin", "13"}},
        {"CP932", "prog \"\x83\x5C\x83\x5C\" 5", {"prog", "\x83\x5C\x83\x5C", "5"}},
        {"CP932", "\"\x95\x5C\" a\x95\x5C\"b c\" 1", {"\x95\x5C", "a\x95\x5C" "b c", "1"}},
        {"UTF-8", "prog \"\x95\x5C\"\\x.bin 13", {"prog", "\x95\x5C\"\\x.bin", "13"}},
    };
    for (const auto &c : cases) {
        const CodePage codePage(c.codePage);
        int count = -1;
        Entries entries;
        EXPECT_TRUE(Split(c.line, &count, &entries)) << c.line;
        EXPECT_EQ(entries, c.entries) << c.codePage << ": " << c.line;
    }
}

TEST(SplitCommandLine, RefusesALineLongerThanItsCopy)
{
    // 1279 bytes and the terminating zero fill the copy exactly.
    const std::string fits = "prog " + std::string(CommandLineRoom - 1 - 5, 'a');
    int count = -1;
    Entries entries;
    EXPECT_TRUE(Split(fits, &count, &entries));
    EXPECT_EQ(entries, Entries({"prog", fits.substr(5)}));
    EXPECT_FALSE(Split(fits + "b", &count, &entries));
    EXPECT_EQ(count, 0);
}

TEST(SplitCommandLine, EntriesBeyondTheTableAreCountedNotStored)
{
    std::string line = "e0";
    for (int i = 1; i < 40; ++i)
        line += " e" + std::to_string(i);
    int count = -1;
    Entries entries;
    Split(line, &count, &entries);
    EXPECT_EQ(count, 40);
    ASSERT_EQ(entries.size(), 33u);
    EXPECT_EQ(entries[32], "e32");
}

// A composed line longer than the stand-in's room is cut to exactly its 4095 bytes, never past.
TEST(PosixComposeCommandLine, CutsAnOverlongLineToItsRoom)
{
    std::string program = "prog", name(5000, 'x');
    char *argv[] = {program.data(), name.data()};
    ASSERT_TRUE(PosixComposeCommandLine(2, argv));
    EXPECT_EQ(strlen(GetCommandLineA()), 4095u);
}

// A Linux name may hold a tab: the composed line quotes it, so the name reaches the program whole.
TEST(PosixComposeCommandLine, QuotesWhatWouldSplit)
{
    std::string program = "prog", name = "a\tb", size = "5";
    char *argv[] = {program.data(), name.data(), size.data()};
    ASSERT_TRUE(PosixComposeCommandLine(3, argv));
    int count = -1;
    Entries entries;
    Split(GetCommandLineA(), &count, &entries);
    EXPECT_EQ(entries, Entries({"prog", "a\tb", "5"}));
    EXPECT_FALSE(SplitMetTab());
}

// Where the system maps characters of the wide line to look-alikes or replacements in the 8-bit
// one (a code page without them), the two differ, and the line must not be used.
TEST(CommandLineIsExact, TheEightBitLineMustConvertBackToTheWideOne)
{
    const struct {
        const char *line;
        const char16_t *wide; // null: the 8-bit line widened, as when nothing was replaced
        bool exact;
    } cases[] = {
        {"prog a.bin 42", nullptr, true},
        {"prog \xCE\xB1\xCE\xB2.bin 1", nullptr, true},
        {"prog a.bin 42", u"prog \u0101.bin 42", false},
        {"prog A.bin 43", u"prog \uFF21.bin 43", false},
        {"prog \"victim.bin\" 0 \"\" 1Gi", u"prog \"victim.bin\uFF02 0 \uFF02\" 1Gi", false},
        {"prog ?.bin 1", u"prog \U0001F4C1.bin 1", false},
        {"prog a.bin 42", u"prog a.bin 42 ", false},
        {"prog a.bin 42", u"prog a.bin 4", false},
    };
    for (const auto &c : cases) {
        PosixSetCommandLine(c.line);
        PosixSetWideCommandLine(c.wide);
        EXPECT_EQ(CommandLineIsExact(), c.exact) << c.line;
    }
    // The whole program refuses such a line with its own text and exit code 1.
    Child child;
    ASSERT_TRUE(child.Start({}, [] {
        PosixSetCommandLine("prog a.bin 0");
        PosixSetWideCommandLine(u"prog \u0101.bin 0");
        VarneltStart();
    }));
    child.Read();
    PosixSetWideCommandLine(nullptr);
    EXPECT_EQ(child.text, AsPrinted("\r\ncommand line holds characters outside the code page\r\n"));
    EXPECT_EQ(child.Wait(), 1);
}

// A tab refuses the line before the file is looked at; fewer than three entries still get the usage.
TEST(CheckRequest, RefusesATabOutsideQuotes)
{
    const std::pair<const char *, std::string> cases[] = {
        {"Varnelt\tDisk 1 500M", Unexpected}, {"\tx.bin 5 0", Unexpected}, {"Varnelt x\t5", "usage:"},
    };
    for (const auto &[line, shown] : cases) {
        Child child;
        ASSERT_TRUE(child.Start({}, [line = line] {
            PosixSetCommandLine(line);
            VarneltStart();
        }));
        child.Read();
        EXPECT_EQ(child.text.substr(0, shown.size()), shown) << line;
        EXPECT_EQ(child.Wait(), 1) << line;
    }
}

TEST(MoveBytes, OverlapsAndEmpty)
{
    const struct {
        int to, from, length;
        const char *expected;
    } cases[] = {
        {0, 1, 5, "bcdeffghi"}, // down over itself, as unquoting moves
        {1, 0, 5, "aabcdeghi"}, {2, 0, 7, "ababcdefg"}, {0, 3, 6, "defghighi"},
        {4, 4, 3, "abcdefghi"}, {0, 5, 0, "abcdefghi"},
    };
    for (const auto &c : cases) {
        char bytes[] = "abcdefghi";
        EXPECT_EQ(MoveBytes(bytes + c.to, bytes + c.from, c.length), bytes + c.to);
        EXPECT_STREQ(bytes, c.expected) << c.to << " <- " << c.from << " x" << c.length;
    }
}
} // namespace
