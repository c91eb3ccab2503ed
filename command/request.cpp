// Every refusal before the file is touched, in the order a user meets them.
#include "command/command.h"
#include "console/console.h"

// A literal, not an array: the linker keeps one copy, unaligned.
#define UNEXPECTED_ARGUMENT "\nunexpected argument: quote a name with spaces, write the option as -s\n"

static int Refuse(LPCSTR text, int exitCode)
{
    ConsolePrintf(text);
    return exitCode;
}

// Exactly a name and a size, or a name, a size and the option: a word after the size that is no
// option is the second word of a name left unquoted (Disk 1 500M, "disk 1 - Copy.img"), an option
// typed as -S, --sparse or /s, or a request after the option; taken or ignored, it would hit
// another file or drop what was asked. The option is -s with ASCII letters only (-sparse): Windows'
// own splitting takes a tab as a separator, so -s<TAB>b.bin is to the user an option and a file,
// and -s.img the last word of a name left unquoted.
static bool ArgumentsAreExact(int count, LPSTR table[ArgumentTableRoom])
{
    if (count != 4)
        return count == 3;
    LPCSTR option = table[3];
    if (option[0] != '-' || option[1] != 's')
        return false;
    while (*++option)
        if (static_cast<unsigned char>((*option | 0x20) - 'a') > 'z' - 'a') // no ASCII letter
            return false;
    return true;
}

int CheckRequest(Request *request)
{
    LPSTR table[ArgumentTableRoom];
    int count;
    // A line that does not fit its copy, or whose characters were replaced on the way to the
    // process's code page, could name another file: refused whole.
    if (!SplitCommandLine(&count, table))
        return Refuse("\ncommand line too long\n", 1);
    if (!CommandLineIsExact())
        return Refuse("\ncommand line holds characters outside the code page\n", 1);
    if (count < 3)
        return AnswerWithoutFile(count, table);
    // Windows' own splitting ends a word at a tab, after the program's name too: the words the user
    // sees are not the tool's, and taken as they stand they would name another file or size.
    if (SplitMetTab())
        return Refuse(UNEXPECTED_ARGUMENT, 1);

    // A size the reading would misread must not reach the file: it would cut it to 0 or worse.
    request->size = ParseSizeArgument(table[2]);
    LONGLONG checked;
    if (!CheckSizeText(table[2], &checked) || checked != request->size)
        return Refuse("\ninvalid size\n", 1);
    if (!ArgumentsAreExact(count, table))
        return Refuse(UNEXPECTED_ARGUMENT, 1);
    request->sparse = count == 4;

    // Refused before anything opens it, as a directory is at the open: even a look at a device's
    // attributes opens it, and opening a serial port changes its lines.
    request->name = table[1];
    request->nameRefusal = NameRefusal(request->name);
    if (request->nameRefusal != ERROR_SUCCESS)
        return RequestAccepted; // the open step reports it
    request->nameRefusal = LookAtName(request->name);
    if (request->nameRefusal == ERROR_FILE_NOT_FOUND)
        return Refuse("\nfile not found\n", 2);
    return RequestAccepted;
}
