#include "command/command.h"

// The unit letters and what each stands for, binary (Ki) and decimal (K).
static const char UnitLetters[] = "KMGTPE";

static const LONGLONG BinaryFactors[6] = {
    0x400LL, 0x100000LL, 0x40000000LL, 0x10000000000LL, 0x4000000000000LL, 0x1000000000000000LL,
};

static const LONGLONG DecimalFactors[6] = {
    1000LL, 1000000LL, 1000000000LL, 1000000000000LL, 1000000000000000LL, 1000000000000000000LL,
};

typedef BOOL(WINAPI *StrToInt64ExAFunction)(LPCSTR, DWORD, LONGLONG *);

LONGLONG ParseNumber(LPCSTR text)
{
    // Looked up on every call: the library may lack the 64-bit reader.
    HMODULE library = GetModuleHandleA("shlwapi.dll");
    FARPROC found = library ? GetProcAddress(library, "StrToInt64ExA") : nullptr;
    if (found) {
        StrToInt64ExAFunction read = reinterpret_cast<StrToInt64ExAFunction>(
            reinterpret_cast<void *>(found));
        LONGLONG result = 0;
        const DWORD flags = text[0] == '0' && text[1] == 'x' ? STIF_SUPPORT_HEX : STIF_DEFAULT;
        read(text, flags, &result);
        return result;
    }
    return StrToIntA(text);
}

static int UnitPosition(char letter)
{
    for (int j = 0; UnitLetters[j]; ++j)
        if (UnitLetters[j] == letter)
            return j;
    return -1;
}

// Reads the size as the command line always has, quirks included: 0x1k is 1 (the x is the first
// letter, and no unit), 1.5G is 10^9, a text of 64 bytes or more is 0. They are kept on purpose, so
// that every size reads as it always did; CheckSizeText, not this, refuses the texts they misread.
LONGLONG ParseSizeArgument(LPCSTR text)
{
    const int length = lstrlenA(text);
    if (length > SizeTextRoom - 1)
        return 0;
    char copy[SizeTextRoom];
    lstrcpyA(copy, text);
    const LONGLONG value = ParseNumber(copy);
    CharUpperA(copy);

    int letter = 0;
    while (letter < length && !(copy[letter] >= 'A' && copy[letter] <= 'Z'))
        ++letter;
    if (letter == length)
        return value;
    const int j = UnitPosition(copy[letter]);
    if (j < 0)
        return value;
    const LONGLONG factor = copy[letter + 1] == 'I' ? BinaryFactors[j] : DecimalFactors[j];
    // Wraps around modulo 2^64, without the undefined behaviour of a signed overflow.
    return static_cast<LONGLONG>(static_cast<ULONGLONG>(factor) * static_cast<ULONGLONG>(value));
}

static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

static int HexDigitValue(char c)
{
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

static const ULONGLONG PositiveLimit = 0x7FFFFFFFFFFFFFFFull;

// 0x and hexadecimal digits, nothing after, within 63 bits.
static bool CheckHexText(LPCSTR text, LONGLONG *value)
{
    ULONGLONG number = 0;
    int p = 2;
    int digit;
    while ((digit = HexDigitValue(text[p])) >= 0) {
        if (number > (PositiveLimit >> 4))
            return false;
        number = number << 4 | static_cast<ULONGLONG>(digit);
        ++p;
    }
    if (p == 2 || text[p] != '\0')
        return false;
    *value = static_cast<LONGLONG>(number);
    return true;
}

bool CheckSizeText(LPCSTR text, LONGLONG *value)
{
    const ULONGLONG positiveLimit = PositiveLimit;
    int i = 0;
    while (i < SizeTextRoom && text[i])
        ++i;
    if (i == SizeTextRoom)
        return false; // the working copy could not hold it
    if (text[0] == '0' && text[1] == 'x')
        return CheckHexText(text, value);

    int p = 0;
    const bool negative = text[0] == '-';
    if (negative)
        ++p;
    const ULONGLONG limit = negative ? positiveLimit + 1 : positiveLimit;
    const int firstDigit = p;
    ULONGLONG magnitude = 0;
    while (IsDigit(text[p])) {
        const ULONGLONG digit = static_cast<ULONGLONG>(text[p] - '0');
        if (magnitude > (limit - digit) / 10)
            return false;
        magnitude = magnitude * 10 + digit;
        ++p;
    }
    if (p == firstDigit)
        return false;

    ULONGLONG factor = 1;
    const int j = text[p] ? UnitPosition(UpperCaseLetter(text[p])) : -1;
    if (j >= 0) {
        ++p;
        const bool binary = UpperCaseLetter(text[p]) == 'I';
        if (binary)
            ++p;
        factor = static_cast<ULONGLONG>(binary ? BinaryFactors[j] : DecimalFactors[j]);
    }
    if (UpperCaseLetter(text[p]) == 'B')
        ++p;
    if (text[p] != '\0')
        return false;
    if (magnitude > limit / factor)
        return false;

    const ULONGLONG product = magnitude * factor;
    *value = static_cast<LONGLONG>(negative ? 0 - product : product);
    return true;
}
