// Raw command lines of any bytes and length: nothing is read or written out of bounds, a line the
// copy cannot hold is refused, the count is true, every stored entry is a text inside the copy and
// keeps every byte of its argument but quotes.
#include "command/command.h"
#include "tests/support/seams/seams.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// The entries by the splitting rules, as typed (quotes and all), without editing any text.
static std::vector<std::string> ReferenceEntries(const std::string &line)
{
    std::vector<std::string> entries;
    if (line.empty())
        return entries;
    entries.emplace_back(1, line[0]);
    bool quoted = line[0] == '"';
    bool inSpaces = false;
    for (size_t i = 1; i < line.size(); ++i) {
        if (quoted) {
            quoted = line[i] != '"';
        } else if (line[i] == ' ') {
            inSpaces = true;
            continue;
        } else {
            if (inSpaces) // a run of spaces ends here; one at the very end starts nothing
                entries.emplace_back();
            inSpaces = false;
            quoted = line[i] == '"';
        }
        entries.back() += line[i];
    }
    return entries;
}

static std::string WithoutQuotes(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
    return text;
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
    const std::vector<std::string> entries = ReferenceEntries(line);
    if (!accepted || count != static_cast<int>(entries.size()))
        abort();
    const char *const end = CommandLineCopy + CommandLineRoom;
    const int stored = count < ArgumentTableRoom ? count : ArgumentTableRoom;
    for (int e = 0; e < stored; ++e)
        if (table[e] < CommandLineCopy || table[e] >= end || !memchr(table[e], 0, end - table[e]))
            abort();

    // Unquoting removes quotes only: every other byte of an entry stays, in its order.
    for (int e = 0; e < stored; ++e)
        if (WithoutQuotes(table[e]) != WithoutQuotes(entries[e]))
            abort();
    return 0;
}
