// Windows' ANSI code pages for the stand-in, read from the C library's own tables (iconv): a test
// runs the program in 932, 949 or 1250 as a system before UTF-8 does.
#pragma once

#include "tests/support/seams/seams.h"

#include <errno.h>
#include <iconv.h>
#include <string.h>

#include <string>

namespace code_pages {
// The code page in use, as iconv names it ("CP932", "UTF-8").
inline std::string current;

// Widens one character at the start of the bytes; how many bytes it took, 0 for an incomplete one.
inline size_t WidenOne(const char *bytes, size_t length, char16_t *character)
{
    const iconv_t convert = iconv_open("UTF-16LE", current.c_str());
    for (size_t taken = 1; taken <= length && taken <= 4; ++taken) {
        char *in = const_cast<char *>(bytes);
        size_t inLeft = taken, outLeft = 2;
        char *out = reinterpret_cast<char *>(character);
        iconv(convert, nullptr, nullptr, nullptr, nullptr);
        if (iconv(convert, &in, &inLeft, &out, &outLeft) != size_t(-1) || errno == E2BIG) {
            iconv_close(convert);
            return taken;
        }
        if (errno == EILSEQ)
            break;
    }
    iconv_close(convert);
    *character = 0xFFFD; // as the system replaces a byte it cannot read
    return length == 0 ? 0 : 1;
}

// MultiByteToWideChar's rules on length and room; characters outside UTF-16's first plane do not
// occur in these tests.
inline int Widen(LPCSTR bytes, int length, LPWSTR wide, int room)
{
    const size_t total = length < 0 ? strlen(bytes) + 1 : static_cast<size_t>(length);
    std::u16string converted;
    for (size_t at = 0; at < total;) {
        char16_t character;
        at += WidenOne(bytes + at, total - at, &character);
        converted += character;
    }
    const int needed = static_cast<int>(converted.size());
    if (total == 0 || room < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (room == 0)
        return needed;
    if (room < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    converted.copy(wide, converted.size());
    return needed;
}

// A byte that iconv cannot read alone for want of a second one. UTF-8 has no lead bytes in this
// sense, as Windows answers for it.
inline bool LeadsTwoBytes(BYTE byte)
{
    if (current == "UTF-8")
        return false;
    const iconv_t convert = iconv_open("UTF-16LE", current.c_str());
    char bytes[] = {static_cast<char>(byte)}, converted[4];
    char *in = bytes, *out = converted;
    size_t inLeft = 1, outLeft = sizeof converted;
    const bool incomplete = iconv(convert, &in, &inLeft, &out, &outLeft) == size_t(-1) && errno == EINVAL;
    iconv_close(convert);
    return incomplete;
}

inline const PosixCodePage Page = {LeadsTwoBytes, Widen};
} // namespace code_pages

// Runs the stand-in in the code page while it lives: "CP932", "CP949", "CP1250", "UTF-8".
class CodePage {
public:
    explicit CodePage(const char *name)
    {
        code_pages::current = name;
        PosixSetCodePage(&code_pages::Page);
    }
    ~CodePage() { PosixSetCodePage(nullptr); }
    CodePage(const CodePage &) = delete;
    CodePage &operator=(const CodePage &) = delete;
};
