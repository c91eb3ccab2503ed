// The one header the program includes for the operating system. On Windows it is the real API;
// elsewhere it declares the same subset, which platform/posix/ implements.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winioctl.h>
#include <shlwapi.h>

#else

#include <stdarg.h>
#include <stdint.h>

#define WINAPI

typedef int BOOL;
typedef unsigned int UINT;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef DWORD *LPDWORD;
typedef LONG *PLONG;
typedef char CHAR;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef char16_t WCHAR;
typedef WCHAR *LPWSTR;
typedef const WCHAR *LPCWSTR;
typedef BOOL *LPBOOL;
typedef void *LPVOID;
typedef void *HANDLE;
typedef void *HLOCAL;
typedef struct PseudoWindow *HWND;
typedef struct PseudoModule *HMODULE;
typedef void (*FARPROC)(void);
typedef struct _SECURITY_ATTRIBUTES *LPSECURITY_ATTRIBUTES;
typedef struct _OVERLAPPED *LPOVERLAPPED;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)

#define GENERIC_WRITE 0x40000000u
#define OPEN_EXISTING 3u
#define FILE_BEGIN 0u
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_ATTRIBUTE_READONLY 0x1u
#define FILE_ATTRIBUTE_DIRECTORY 0x10u
#define FILE_ATTRIBUTE_ARCHIVE 0x20u
#define FILE_ATTRIBUTE_DEVICE 0x40u
#define FILE_ATTRIBUTE_SPARSE_FILE 0x200u
#define FSCTL_SET_SPARSE 0x900C4u
#define FILE_TYPE_UNKNOWN 0x0u
#define FILE_TYPE_DISK 0x1u
#define FILE_TYPE_CHAR 0x2u
#define FILE_TYPE_PIPE 0x3u

#define CP_ACP 0u
#define CP_OEMCP 1u
#define CP_UTF8 65001u

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x200u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x1000u
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))

#define ERROR_SUCCESS 0
#define ERROR_INVALID_FUNCTION 1
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_TOO_MANY_OPEN_FILES 4
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_WRITE_PROTECT 19
#define ERROR_BAD_UNIT 20
#define ERROR_CRC 23
#define ERROR_GEN_FAILURE 31
#define ERROR_SHARING_VIOLATION 32
#define ERROR_WRONG_DISK 34
#define ERROR_NOT_SUPPORTED 50
#define ERROR_DEV_NOT_EXIST 55
#define ERROR_INVALID_PARAMETER 87
#define ERROR_BROKEN_PIPE 109
#define ERROR_DISK_FULL 112
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_INVALID_NAME 123
#define ERROR_NEGATIVE_SEEK 131
#define ERROR_SEEK_ON_DEVICE 132
#define ERROR_LOCK_FAILED 167
#define ERROR_FILENAME_EXCED_RANGE 206
#define ERROR_FILE_TOO_LARGE 223
#define ERROR_OPERATION_ABORTED 995
#define ERROR_NOACCESS 998
#define ERROR_FILE_INVALID 1006
#define ERROR_NO_MEDIA_IN_DRIVE 1112
#define ERROR_IO_DEVICE 1117
#define ERROR_FILE_CORRUPT 1392
#define ERROR_TIMEOUT 1460
#define ERROR_CANT_RESOLVE_FILENAME 1921

#define STIF_DEFAULT 0x0
#define STIF_SUPPORT_HEX 0x1

#define KEY_EVENT 0x0001

typedef struct _KEY_EVENT_RECORD {
    BOOL bKeyDown;
    WORD wRepeatCount;
    WORD wVirtualKeyCode;
    WORD wVirtualScanCode;
    union {
        CHAR AsciiChar;
    } uChar;
    DWORD dwControlKeyState;
} KEY_EVENT_RECORD;

typedef struct _INPUT_RECORD {
    WORD EventType;
    union {
        KEY_EVENT_RECORD KeyEvent;
    } Event;
} INPUT_RECORD, *PINPUT_RECORD;

// KERNEL32
LPSTR GetCommandLineA(void);
LPWSTR GetCommandLineW(void);
[[noreturn]] void ExitProcess(unsigned int exitCode);
DWORD GetLastError(void);
void SetLastError(DWORD code);
int lstrlenA(LPCSTR text);
LPSTR lstrcpyA(LPSTR destination, LPCSTR source);
HANDLE GetStdHandle(DWORD which);
BOOL WriteFile(HANDLE file, const void *bytes, DWORD length, LPDWORD written, LPOVERLAPPED overlapped);
HWND GetConsoleWindow(void);
DWORD GetCurrentProcessId(void);
BOOL FlushConsoleInputBuffer(HANDLE input);
BOOL ReadConsoleInputA(HANDLE input, PINPUT_RECORD records, DWORD length, LPDWORD read);
void Sleep(DWORD milliseconds);
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
DWORD GetFileAttributesA(LPCSTR name);
DWORD GetFileType(HANDLE file);
DWORD GetFullPathNameA(LPCSTR name, DWORD room, LPSTR buffer, LPSTR *filePart);
BOOL DeviceIoControl(HANDLE file, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                     LPDWORD returned, LPOVERLAPPED overlapped);
DWORD SetFilePointer(HANDLE file, LONG distanceLow, PLONG distanceHigh, DWORD origin);
BOOL SetEndOfFile(HANDLE file);
BOOL CloseHandle(HANDLE object);
DWORD FormatMessageA(DWORD flags, const void *source, DWORD code, DWORD language, LPSTR buffer,
                     DWORD size, va_list *arguments);
HLOCAL LocalFree(HLOCAL memory);
HMODULE GetModuleHandleA(LPCSTR name);
UINT GetConsoleOutputCP(void);
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR bytes, int length, LPWSTR wide, int room);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int length, LPSTR bytes, int room,
                        LPCSTR defaultCharacter, LPBOOL usedDefault);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL IsDBCSLeadByte(BYTE byte);

// USER32
int wvsprintfA(LPSTR buffer, LPCSTR format, va_list arguments);
LPSTR CharUpperA(LPSTR text);
DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId);

// SHLWAPI
BOOL StrToInt64ExA(LPCSTR text, DWORD flags, LONGLONG *result);
int StrToIntA(LPCSTR text);

#endif
