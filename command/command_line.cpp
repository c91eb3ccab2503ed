#include "command/command.h"
#include "console/console.h"

char CommandLineCopy[CommandLineRoom];

void *MoveBytes(void *destination, const void *source, int length)
{
    char *to = static_cast<char *>(destination);
    const char *from = static_cast<const char *>(source);
    if (from < to && to < from + length) {
        // The ranges overlap with the destination above: copy downwards so nothing is read
        // after it was overwritten.
        for (int i = length - 1; i >= 0; --i)
            to[i] = from[i];
    } else {
        for (int i = 0; i < length; ++i)
            to[i] = from[i];
    }
    return destination;
}

static void AddEntry(int *count, LPSTR table[ArgumentTableRoom], char *entry)
{
    if (*count < ArgumentTableRoom)
        table[*count] = entry;
    ++*count; // beyond the room the count stays true, nothing is stored
}

// The first byte of a double-byte character in the process's code page (932, 936, 949, 950). Such
// bytes are never ASCII; a second byte may be 0x5C, but never a space, a tab or a quote.
static bool LeadsTwoBytes(char c)
{
    return static_cast<unsigned char>(c) >= 0x80 && IsDBCSLeadByte(static_cast<BYTE>(c));
}

// Whether the byte at k is the second byte of a double-byte character, read from the entry's start.
static bool IsSecondByte(const char *entry, int k)
{
    int i = 0;
    while (i < k)
        i += LeadsTwoBytes(entry[i]) ? 2 : 1;
    return i > k;
}

static void UnquoteEntry(char *entry)
{
    const int length = lstrlenA(entry);
    for (int k = 0; k < length; ++k) {
        if (entry[k] != '"')
            continue;
        // A backslash that is the second byte of a character (表 is 95 5C in 932) escapes nothing.
        if (k > 0 && entry[k - 1] == '\\' && !IsSecondByte(entry, k - 1))
            continue;
        MoveBytes(entry + k, entry + k + 1, length - k);
        // Cuts the closing quote of a quoted argument, even one behind a backslash; any other
        // character there is part of the name and stays.
        if (length >= 2 && entry[length - 2] == '"')
            entry[length - 2] = '\0';
    }
}

static bool tabOutsideQuotes;

bool SplitMetTab(void) { return tabOutsideQuotes; }

bool SplitCommandLine(int *count, LPSTR table[ArgumentTableRoom])
{
    *count = 0;
    tabOutsideQuotes = false;
    LPCSTR raw = GetCommandLineA();
    const int length = lstrlenA(raw);
    if (length >= CommandLineRoom) {
        CommandLineCopy[0] = '\0';
        return false; // refused whole: a cut line could name another file or size
    }
    lstrcpyA(CommandLineCopy, raw);
    if (length == 0)
        return true;

    char *const line = CommandLineCopy;
    AddEntry(count, table, line);
    bool quoted = line[0] == '"';
    tabOutsideQuotes = line[0] == '\t';
    for (int i = 1; i < length; ++i) {
        if (quoted) {
            if (line[i] == '"')
                quoted = false;
            continue;
        }
        if (line[i] == ' ') {
            line[i] = '\0';
            do
                ++i;
            while (i < length && line[i] == ' ');
            // Spaces at the very end start no empty entry.
            if (i < length)
                AddEntry(count, table, line + i);
        }
        if (line[i] == '"')
            quoted = true;
        else if (line[i] == '\t')
            tabOutsideQuotes = true;
    }

    const int stored = *count < ArgumentTableRoom ? *count : ArgumentTableRoom;
    for (int e = 0; e < stored; ++e)
        UnquoteEntry(table[e]);
    return true;
}

bool CommandLineIsExact(void)
{
    WCHAR converted[CommandLineRoom];
    const int length = MultiByteToWideChar(CP_ACP, 0, GetCommandLineA(), -1, converted, CommandLineRoom);
    LPCWSTR wide = GetCommandLineW();
    // A shorter wide line ends in a difference: its zero meets a character, never read past.
    for (int i = 0; i < length; ++i)
        if (converted[i] != wide[i])
            return false;
    return length > 0;
}

// The name the usage and the version line give the tool: the one a user types on each system.
#ifdef _WIN32
#define VARNELT_NAME "Varnelt"
#else
#define VARNELT_NAME "varnelt"
#endif

// Whether all of it was written.
static bool PrintUsage(void)
{
    bool written = ConsolePrintf("usage:\n\n") >= 0;
    written &= ConsolePrintf(VARNELT_NAME " filename newsize [-s]\n") >= 0;
    written &= ConsolePrintf("-s set the sparse file flag\n\n") >= 0;
    written &= ConsolePrintf("samples:\n") >= 0;
    written &= ConsolePrintf(VARNELT_NAME " test.bin 1024\n") >= 0;
    written &= ConsolePrintf(VARNELT_NAME " test.bin 512M\n") >= 0;
    written &= ConsolePrintf(VARNELT_NAME " test.bin 1G\n") >= 0;
    written &= ConsolePrintf(VARNELT_NAME " test.bin 0x400\n\n") >= 0;
    written &= ConsolePrintf("Units:\nKi 1024\nMi 1024*1024\nGi 1024*1024*1024\nTi 1024*1024*1024*1024\n\n"
                             "K  1000\nM  1000*1000\nG  1000*1000*1000\nT  1000*1000*1000*1000\n") >= 0;
    return written;
}

static bool SameText(LPCSTR text, LPCSTR other)
{
    while (*text != '\0' && *text == *other) {
        ++text;
        ++other;
    }
    return *text == *other;
}

// Asked for as the sole argument only: with a file name beside it, such a word is a name.
static bool AsksForHelp(LPCSTR entry)
{
#ifdef _WIN32
    if (SameText(entry, "/?"))
        return true; // Windows' own spelling; on Linux it is a path like any other
#endif
    return SameText(entry, "--help");
}

// The help and the version line succeed only where their text was written (to a full disk or a
// closed output it was not), as the platform's own tools answer.
int AnswerWithoutFile(int count, LPSTR table[ArgumentTableRoom])
{
    if (count == 2 && SameText(table[1], "--version"))
        return ConsolePrintf(VARNELT_NAME " " VARNELT_VERSION "\n") >= 0 ? 0 : 1;
    const bool written = PrintUsage();
    return count == 2 && AsksForHelp(table[1]) && written ? 0 : 1;
}
