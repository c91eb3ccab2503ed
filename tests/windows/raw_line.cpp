// Starts the program named by its argument with the command line read from standard input (UTF-8)
// exactly as typed, with no argument vector in between to quote it; ends with its exit code, or
// with 120 and a line on standard error when it cannot start it.
#include <windows.h>

#include <stdio.h>

#include <string>

int main(int argc, char **argv)
{
    std::string typed;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), chunk, sizeof chunk, &read, nullptr) && read > 0)
        typed.append(chunk, read);
    std::wstring line(typed.size() + 1, L'\0'), program(MAX_PATH, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, typed.c_str(), -1, line.data(), static_cast<int>(line.size()));
    MultiByteToWideChar(CP_UTF8, 0, argc == 2 ? argv[1] : "", -1, program.data(), MAX_PATH);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    DWORD code = 120;
    if (CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &code);
    } else {
        // Said on standard error, where the program itself never writes: a start that failed.
        fprintf(stderr, "RawLine: cannot start %s: error %lu\n", argc == 2 ? argv[1] : "", GetLastError());
    }
    return static_cast<int>(code);
}
