// Raw command lines of any bytes and length: nothing is read or written out of bounds, a line the
// copy cannot hold is refused, the count is true and every stored entry is a text inside the copy.
#include "command/command.h"
#include "platform/posix/posix.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// The entry count by the splitting rules, without editing any text.
static int ReferenceCount(const std::string &line)
{
    if (line.empty())
        return 0;
    int count = 1;
    bool quoted = line[0] == '"';
    bool inSpaces = false;
    for (size_t i = 1; i < line.size(); ++i) {
        if (quoted) {
            quoted = line[i] != '"';
        } else if (line[i] == ' ') {
            inSpaces = true;
        } else {
            count += inSpaces; // a run of spaces ends here; one at the very end starts nothing
            inSpaces = false;
            quoted = line[i] == '"';
        }
    }
    return count;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 8192)
        return 0;
    const char *bytes = reinterpret_cast<const char *>(data);
    const std::string line(bytes, strnlen(bytes, size));
    PosixSetCommandLine(line.c_str());
    // A heap block of exactly the table's room, so a store past it is caught.
    std::vector<LPSTR> table(ArgumentTableRoom);
    int count = -1;
    const bool accepted = SplitCommandLine(&count, table.data());
    if (line.size() >= CommandLineRoom) {
        if (accepted || count != 0)
            abort();
        return 0;
    }
    if (!accepted || count != ReferenceCount(line))
        abort();
    const char *const end = CommandLineCopy + CommandLineRoom;
    const int stored = count < ArgumentTableRoom ? count : ArgumentTableRoom;
    for (int e = 0; e < stored; ++e)
        if (table[e] < CommandLineCopy || table[e] >= end || !memchr(table[e], 0, end - table[e]))
            abort();

    // Without quotes, entry 0 runs to the first space after the first byte and the others are
    // the words between runs of spaces.
    if (line.find('"') != std::string::npos)
        return 0;
    std::vector<std::string> words;
    for (size_t i = 1, start = 0; i <= line.size(); ++i) {
        if (i < line.size() && line[i] != ' ')
            continue;
        if (i > start)
            words.push_back(line.substr(start, i - start));
        start = i + 1;
    }
    if (words.size() != static_cast<size_t>(count))
        abort();
    for (int e = 0; e < stored; ++e)
        if (words[e] != table[e])
            abort();
    return 0;
}
