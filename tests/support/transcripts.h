// What the tool prints, built from its parts, as both builds print it with Windows' texts, in the
// line ends of the build under test.
#pragma once

#include <stdlib.h>

#include <string>

// True when the tool under test is Varnelt.exe under Wine, as CTest says (VARNELT_TARGET).
inline bool TargetIsWine()
{
    const char *target = getenv("VARNELT_TARGET");
    return target != nullptr && std::string(target) == "wine";
}

// A text written with Windows' CR LF as the build under test prints it: unchanged on Windows, on
// Linux with LF alone. Every expected transcript passes through here.
inline std::string AsPrinted(std::string text)
{
    if (TargetIsWine())
        return text;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.erase(at, 1);
    return text;
}

inline const std::string AccessDenied = "Access is denied.";
inline const std::string SharingViolation =
    "The process cannot access the file because it is being used by another process.";
inline const std::string DiskFull = "There is not enough space on the disk.";

inline const std::string NotFound = AsPrinted("\r\nfile not found\r\n");
inline const std::string InvalidSize = AsPrinted("\r\ninvalid size\r\n");
inline const std::string Unexpected =
    AsPrinted("\r\nunexpected argument: quote a name with spaces, write the option as -s\r\n");
inline const std::string SparseOk = AsPrinted("Set sparse flag... ok\r\n");
inline const std::string SparseSet = AsPrinted("Sparse flag already set\r\n");
inline const std::string SparseRefused = AsPrinted("Set sparse flag... failed\r\n(Incorrect function.)\r\n\r\n");

// A step that failed, with the system's text.
inline std::string FailureReport(const std::string &text) { return AsPrinted(" failed\r\n(" + text + ")\r\n\r\n"); }
inline std::string OpenFailed(const std::string &text) { return "OpenFile..." + FailureReport(text); }
// The steps up to the end of the file, the position as printed.
inline std::string UpToTheEnd(const std::string &position, const std::string &sparseLine = "")
{
    return AsPrinted("OpenFile... ok\r\n" + sparseLine + "SetFilePointer(0x" + position + ")... ok\r\nSetEndOfFile...");
}
inline std::string EndFailed(const std::string &position, const std::string &text)
{
    return UpToTheEnd(position) + FailureReport(text);
}
// A resize that succeeds.
inline std::string Steps(const std::string &position, const std::string &sparseLine = "")
{
    return UpToTheEnd(position, sparseLine) + AsPrinted(" ok\r\nCloseFile... ok\r\n");
}
