// The program's one door to the platform: the real Win32 headers on Windows,
// the host stand-in's declarations of the same calls everywhere else.
#ifndef UNINSTALL_WIN32_H
#define UNINSTALL_WIN32_H

#ifdef _WIN32
#include <windows.h>
#include <shlobj.h>
#else
#include "win32_standin.h"
#endif

// The program runs as administrator from its installation folder, which
// others may be able to write to, and Windows looks for a DLL there first.
// So, before anything can load a DLL by name: DLL search is limited to
// System32, or where Windows cannot do that, the current folder is dropped
// and the DLLs that Windows' own code loads by name later are loaded from
// System32 now. Then shell32 is loaded and bound. It is not imported: the
// loader would bring in its imports, searching this folder, before the
// program's first instruction.
void LoadSystemDlls();

// shell32's calls, as the program makes them, through what LoadSystemDlls()
// bound. Without shell32 or one of these three, no folder can be looked up:
// the lookup fails with E_FAIL and a null list.
namespace shell32 {
HRESULT SHGetSpecialFolderLocation(HWND owner, int folder,
                                   LPITEMIDLIST *idList);
BOOL SHGetPathFromIDListA(LPCITEMIDLIST idList, LPSTR path);
void ILFree(LPITEMIDLIST idList);
}  // namespace shell32

#endif
