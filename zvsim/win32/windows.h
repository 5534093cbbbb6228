// Stand-in for the parts of <windows.h> (and the secure CRT string functions) that the
// Windows transport uses, so that it builds and runs unchanged on Linux against a scripted
// device list and a fake driver. Names, types and constants follow the real headers;
// wchar_t stays the host's (32 bits here), consistently throughout the stand-in.
#ifndef ZVSIM_WIN32_WINDOWS_H
#define ZVSIM_WIN32_WINDOWS_H

#include <cstddef>
#include <cstdint>

#define WINAPI

typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint32_t ULONG;
typedef uintptr_t ULONG_PTR;
typedef size_t SIZE_T;
typedef wchar_t WCHAR;
typedef WCHAR *LPWSTR;
typedef const WCHAR *LPCWSTR, *PCWSTR;
typedef BYTE *PBYTE;
typedef DWORD *PDWORD, *LPDWORD;
typedef void *HANDLE, *LPVOID, *PVOID, *HLOCAL, *HWND;
typedef const void *LPCVOID;
typedef int errno_t;

struct _OVERLAPPED;
typedef struct _OVERLAPPED *LPOVERLAPPED;
struct _SECURITY_ATTRIBUTES;
typedef struct _SECURITY_ATTRIBUTES *LPSECURITY_ATTRIBUTES;

typedef struct _GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} GUID;

#define TRUE 1
#define FALSE 0
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define OPEN_EXISTING 3u
#define MEM_COMMIT 0x00001000u
#define MEM_RELEASE 0x00008000u
#define PAGE_READWRITE 0x04u

// winioctl.h's control codes.
#define FILE_DEVICE_UNKNOWN 0x00000022u
#define METHOD_BUFFERED 0u
#define FILE_ANY_ACCESS 0u
#define CTL_CODE(type, function, method, access) \
  (((type) << 16) | ((access) << 14) | ((function) << 2) | (method))
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u

#define ERROR_SUCCESS 0u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_GEN_FAILURE 31u
#define ERROR_DEV_NOT_EXIST 55u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_SEM_TIMEOUT 121u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_NO_MORE_ITEMS 259u
#define ERROR_NO_SUCH_DEVICE 433u
#define ERROR_DEVICE_NOT_CONNECTED 1167u
#define ERROR_TIMEOUT 1460u
#define ERROR_DEVICE_REMOVED 1617u

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE template_file);
BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD in_size, LPVOID out,
                     DWORD out_size, LPDWORD returned, LPOVERLAPPED overlapped);
BOOL CloseHandle(HANDLE handle);
LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect);
BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD type);
DWORD GetLastError();
void SetLastError(DWORD code);
DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD message, DWORD language, LPWSTR buffer,
                     DWORD size, void *arguments);
HLOCAL LocalFree(HLOCAL memory);

// The secure CRT copies: on a destination too small they fail, empty it and return ERANGE.
errno_t wcscpy_s(wchar_t *dst, size_t capacity, const wchar_t *src);
errno_t wcscat_s(wchar_t *dst, size_t capacity, const wchar_t *src);

#endif
