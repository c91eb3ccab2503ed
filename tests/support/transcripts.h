// What the tool prints, built from its parts, as both builds print it with Windows' texts.
#pragma once

#include <string>

inline const std::string AccessDenied = "Access is denied.";
inline const std::string SharingViolation =
    "The process cannot access the file because it is being used by another process.";
inline const std::string DiskFull = "There is not enough space on the disk.";

inline const std::string NotFound = "\r\nfile not found\r\n";
inline const std::string InvalidSize = "\r\ninvalid size\r\n";
inline const std::string Unexpected =
    "\r\nunexpected argument: quote a name with spaces, write the option as -s\r\n";
inline const std::string SparseOk = "Set sparse flag... ok\r\n";
inline const std::string SparseSet = "Sparse flag already set\r\n";
inline const std::string SparseRefused = "Set sparse flag... failed\r\n(Incorrect function.)\r\n\r\n";

// A step that failed, with the system's text.
inline std::string Failed(const std::string &text) { return " failed\r\n(" + text + ")\r\n\r\n"; }
inline std::string OpenFailed(const std::string &text) { return "OpenFile..." + Failed(text); }
// The steps up to the end of the file, the position as printed.
inline std::string UpToTheEnd(const std::string &position, const std::string &sparseLine = "")
{
    return "OpenFile... ok\r\n" + sparseLine + "SetFilePointer(0x" + position + ")... ok\r\nSetEndOfFile...";
}
inline std::string EndFailed(const std::string &position, const std::string &text)
{
    return UpToTheEnd(position) + Failed(text);
}
// A resize that succeeds.
inline std::string Steps(const std::string &position, const std::string &sparseLine = "")
{
    return UpToTheEnd(position, sparseLine) + " ok\r\nCloseFile... ok\r\n";
}
