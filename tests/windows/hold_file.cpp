// Opens a file without sharing, prints "held", and keeps it open until standard input ends.
#include <windows.h>

#include <stdio.h>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    printf("held\n");
    fflush(stdout);
    char line[16];
    while (fgets(line, sizeof line, stdin)) {
    }
    CloseHandle(file);
    return 0;
}
