// The slice of <windows.h> and <shlobj.h> that the uninstaller uses, for
// building it natively on a non-Windows host against the stand-in in
// standin/src. Only what the program calls is declared here, so a new Win32
// call in the program fails to compile until the stand-in models it.
#ifndef WIN32_STANDIN_H
#define WIN32_STANDIN_H

#include <cstddef>  // NULL, as <windows.h> brings it
#include <cstdint>

#define WINAPI
#define MAX_PATH 260

typedef std::uint8_t BYTE;
typedef BYTE *LPBYTE;
typedef std::uint32_t DWORD;  // 32 bits, as on Windows, not unsigned long
typedef DWORD *LPDWORD;
typedef std::int32_t LONG;
typedef unsigned int UINT;
typedef int BOOL;
typedef std::int32_t HRESULT;
typedef char *LPSTR;
typedef const char *LPCSTR;

typedef std::intptr_t INT_PTR;
typedef void *HANDLE;

typedef struct HWND__ *HWND;
typedef struct HINSTANCE__ *HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HKEY__ *HKEY;
typedef HKEY *PHKEY;

#define FALSE 0
#define TRUE 1

// Predefined keys: fixed handle values, as Windows defines them.
#define HKEY_CLASSES_ROOT ((HKEY)(std::uintptr_t)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(std::uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(std::uintptr_t)0x80000002u)

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_MORE_DATA 234L

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7

#define MB_OK 0x00000000u
#define MB_YESNOCANCEL 0x00000003u
#define MB_YESNO 0x00000004u
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONWARNING 0x00000030u
#define MB_ICONINFORMATION 0x00000040u
#define MB_DEFBUTTON2 0x00000100u
#define MB_DEFBUTTON3 0x00000200u

#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008u
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800u

#define CSIDL_PROGRAMS 0x0002
#define CSIDL_DESKTOPDIRECTORY 0x0010

#define S_OK ((HRESULT)0)
#define E_FAIL ((HRESULT)0x80004005u)
#define E_INVALIDARG ((HRESULT)0x80070057u)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

typedef struct ITEMIDLIST ITEMIDLIST;
typedef ITEMIDLIST *LPITEMIDLIST;
typedef const ITEMIDLIST *LPCITEMIDLIST;

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style);

LONG WINAPI RegOpenKeyA(HKEY root, LPCSTR subKey, PHKEY result);
LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved,
                             LPDWORD type, LPBYTE data, LPDWORD dataSize);
LONG WINAPI RegCloseKey(HKEY key);
LONG WINAPI RegDeleteKeyA(HKEY root, LPCSTR subKey);

BOOL WINAPI DeleteFileA(LPCSTR path);
DWORD WINAPI GetLastError(void);
DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination,
                                       DWORD size);

// The loader. SetDefaultDllDirectories, SetDllDirectoryA and shell32's
// functions are declared in standin.h, for tests only: the program reaches
// them through GetProcAddress, as it must where they are missing.
typedef INT_PTR(WINAPI *FARPROC)();
HMODULE WINAPI GetModuleHandleA(LPCSTR name);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size);
HMODULE WINAPI LoadLibraryExA(LPCSTR path, HANDLE file, DWORD flags);

// Defined by the program, called by the platform's start-up (here: tests).
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine,
                   int show);

#endif
