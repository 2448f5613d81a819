// Where DLLs may come from, and shell32 reached through GetProcAddress.
#include <string.h>

#include "win32.h"

namespace {

// GetProcAddress hands back every function as FARPROC; a cast through this
// type tells the compiler that the one it is cast to is meant.
typedef void (*AnyFunction)(void);
typedef BOOL(WINAPI *SetDefaultDllDirectoriesCall)(DWORD flags);
typedef BOOL(WINAPI *SetDllDirectoryCall)(LPCSTR path);
typedef HRESULT(WINAPI *FolderLocationCall)(HWND owner, int folder,
                                            LPITEMIDLIST *idList);
typedef BOOL(WINAPI *PathFromIDListCall)(LPCITEMIDLIST idList, LPSTR path);
typedef void(WINAPI *FreeIDListCall)(LPITEMIDLIST idList);

// Bound all three or none: a lookup whose list cannot be freed or turned
// into a path is not made.
FolderLocationCall folderLocation;
PathFromIDListCall pathFromIDList;
FreeIDListCall freeIDList;

// Where SetDefaultDllDirectories is missing, Windows' own code loading one of
// these by name would look in the program's folder first. Loaded from System32
// now, each is found already in the process then. None is a KnownDLL on every
// version that lacks the call (2000, XP, Vista and 7 without KB2533623); one
// that a version does not have is skipped. The list cannot be complete, which
// is why it is only the fallback.
const char *const PreloadedDlls[] = {
    // The message boxes:
    "uxtheme.dll",  // draws them themed (the manifest asks for comctl32 6)
    "dwmapi.dll",   // Vista, 7: uxtheme's import; their window's composition
    "msimg32.dll",  // the themed drawing's blending (Wine's loader trace)
    "oleacc.dll",   // comctl32 6, when a screen reader asks about a button
    // The two folder lookups:
    "version.dll",    // shell32 reads version resources; Known only up to XP
    "userenv.dll",    // shell32 asks it for the user's profile folder
    "profapi.dll",    // 7: userenv's import
    "propsys.dll",    // Vista, 7: shell32's folder items go through it
    "cryptbase.dll",  // Vista, 7: advapi32's, for random numbers RPC asks for
};

// True when every later load, by name or not, looks in System32 only.
bool LimitDllSearchToSystem32(HMODULE kernel32) {
  // Windows 8 and later; Vista and 7 with KB2533623. Called on Vista too,
  // where others skip it because COM could not create an object (a shell
  // link) after it: this program creates none and never initialises COM, and
  // a folder that could not be looked up would only cost its shortcut.
  SetDefaultDllDirectoriesCall limit = (SetDefaultDllDirectoriesCall)(
      AnyFunction)GetProcAddress(kernel32, "SetDefaultDllDirectories");
  if (limit != NULL && limit(LOAD_LIBRARY_SEARCH_SYSTEM32)) return true;

  // XP SP1 and later: at least the current folder is out of the search.
  SetDllDirectoryCall setDllDirectory = (SetDllDirectoryCall)(
      AnyFunction)GetProcAddress(kernel32, "SetDllDirectoryA");
  if (setDllDirectory != NULL) setDllDirectory("");
  return false;
}

// path holds System32 and a backslash up to length; the name goes behind it.
HMODULE LoadFromSystem32(char *path, size_t length, const char *name,
                         DWORD flags) {
  size_t nameLength = strlen(name);
  if (length + nameLength >= MAX_PATH) return NULL;
  memcpy(path + length, name, nameLength + 1);
  return LoadLibraryExA(path, NULL, flags);
}

}  // namespace

void LoadSystemDlls() {
  folderLocation = NULL;
  pathFromIDList = NULL;
  freeIDList = NULL;

  // Already loaded: looking it up loads nothing.
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  // Without the limit, the flag makes each DLL's own imports, too, come
  // from System32 rather than from the program's folder.
  DWORD flags =
      LimitDllSearchToSystem32(kernel32) ? 0 : LOAD_WITH_ALTERED_SEARCH_PATH;

  char path[MAX_PATH];
  UINT length = GetSystemDirectoryA(path, MAX_PATH);
  // 0 is failure; MAX_PATH or more is the size it would have needed.
  if (length == 0 || length >= MAX_PATH - 1) return;
  path[length++] = '\\';

  if (flags != 0) {
    for (size_t i = 0; i < sizeof PreloadedDlls / sizeof PreloadedDlls[0]; ++i)
      LoadFromSystem32(path, length, PreloadedDlls[i], flags);
  }

  HMODULE shell32 = LoadFromSystem32(path, length, "shell32.dll", flags);
  if (shell32 == NULL) return;
  FolderLocationCall location = (FolderLocationCall)(
      AnyFunction)GetProcAddress(shell32, "SHGetSpecialFolderLocation");
  PathFromIDListCall toPath = (PathFromIDListCall)(
      AnyFunction)GetProcAddress(shell32, "SHGetPathFromIDListA");
  FreeIDListCall release =
      (FreeIDListCall)(AnyFunction)GetProcAddress(shell32, "ILFree");
  if (location == NULL || toPath == NULL || release == NULL) return;
  folderLocation = location;
  pathFromIDList = toPath;
  freeIDList = release;
}

namespace shell32 {

HRESULT SHGetSpecialFolderLocation(HWND owner, int folder,
                                   LPITEMIDLIST *idList) {
  if (folderLocation == NULL) {
    *idList = NULL;
    return E_FAIL;
  }
  return folderLocation(owner, folder, idList);
}

// Only ever given a list that the lookup handed out, so bound then; checked
// all the same, as a null call would end the run.
BOOL SHGetPathFromIDListA(LPCITEMIDLIST idList, LPSTR path) {
  if (pathFromIDList == NULL) {
    path[0] = '\0';
    return FALSE;
  }
  return pathFromIDList(idList, path);
}

void ILFree(LPITEMIDLIST idList) {
  if (freeIDList != NULL) freeIDList(idList);
}

}  // namespace shell32
