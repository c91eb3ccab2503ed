// Size texts of any bytes: no undefined behaviour in the size check or the size reading, and every
// text the check accepts has exactly the value the resize will use.
#include "command/command.h"
#include "tests/support/seams/seams.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The text in a block of its own length, so a read past its terminating zero is caught.
    const size_t length = strnlen(reinterpret_cast<const char *>(data), size);
    char *text = static_cast<char *>(malloc(length + 1));
    memcpy(text, data, length);
    text[length] = '\0';

    LONGLONG checked = 0;
    const bool accepted = CheckSizeText(text, &checked);
    if (accepted && checked != ParseSizeArgument(text))
        abort();
    PosixHideStrToInt64ExA(true); // the 32-bit fallback reader
    ParseSizeArgument(text);
    PosixHideStrToInt64ExA(false);
    free(text);
    return 0;
}
