// Starts the program named by its argument with the command line read from standard input (UTF-8),
// exactly as typed: no argument vector in between that would quote or escape it. Passes the
// standard handles on and ends with the program's exit code.
#include <windows.h>

#include <string>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 120;
    std::string typed;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), chunk, sizeof chunk, &read, nullptr) && read > 0)
        typed.append(chunk, read);
    std::wstring line(typed.size() + 1, L'\0');
    line.resize(static_cast<size_t>(
        MultiByteToWideChar(CP_UTF8, 0, typed.data(), static_cast<int>(typed.size()), line.data(),
                            static_cast<int>(line.size()))));
    std::wstring program(MAX_PATH, L'\0');
    program.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, program.data(), MAX_PATH)));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process))
        return 121;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 122;
    GetExitCodeProcess(process.hProcess, &code);
    return static_cast<int>(code);
}
