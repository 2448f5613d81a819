#include "install_paths.h"

#include <string.h>

#include "manifest.h"

namespace {

// The value may have been written without its terminating NUL, and Windows
// hands the bytes back as stored. Anything after an embedded NUL is ignored.
bool TerminateValue(char *value, DWORD size) {
  if (size < MAX_PATH) {
    value[size] = '\0';
    return true;
  }
  return memchr(value, '\0', MAX_PATH) != NULL;
}

// REG_EXPAND_SZ: "%ProgramFiles%\..." must be expanded before it means a path.
bool ExpandInPlace(char *value) {
  char expanded[MAX_PATH];
  DWORD needed = ExpandEnvironmentStringsA(value, expanded, MAX_PATH);
  if (needed == 0 || needed > MAX_PATH) return false;
  expanded[MAX_PATH - 1] = '\0';
  strcpy(value, expanded);
  return true;
}

// "C:\Program Files\X\uninstall.exe" /S -> C:\Program Files\X\uninstall.exe.
// An unmatched opening quote means the value is damaged.
bool StripQuotes(char *value) {
  if (value[0] != '"') return true;
  const char *closing = strchr(value + 1, '"');
  if (closing == NULL) return false;
  size_t length = (size_t)(closing - (value + 1));
  memmove(value, value + 1, length);
  value[length] = '\0';
  return true;
}

bool IsDriveLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Skips one non-empty path component; returns the backslash behind it.
const char *SkipComponent(const char *p) {
  const char *start = p;
  while (*p != '\0' && *p != '\\') ++p;
  return (p != start && *p == '\\') ? p : NULL;
}

// Only "X:\..." or "\\server\share\..." may be cut into a directory: a
// relative value would make us delete next to the current directory. The
// device namespaces "\\.\" and "\\?\" are not installation paths.
bool IsAbsolutePath(const char *value) {
  if (IsDriveLetter(value[0]) && value[1] == ':' && value[2] == '\\')
    return true;
  if (value[0] != '\\' || value[1] != '\\') return false;
  const char *server = value + 2;
  if (strncmp(server, ".\\", 2) == 0 || strncmp(server, "?\\", 2) == 0)
    return false;
  const char *share = SkipComponent(server);
  return share != NULL && SkipComponent(share + 1) != NULL;
}

// Keeps everything up to and including the last backslash.
void CutAfterLastBackslash(char *value) {
  char *last = strrchr(value, '\\');
  if (last != NULL) last[1] = '\0';
}

}  // namespace

bool FindInstallDirectory(char *prefix) {
  HKEY key = NULL;
  if (RegOpenKeyA(UninstallKey.root, UninstallKey.keyPath, &key) !=
      ERROR_SUCCESS)
    return false;

  DWORD type = REG_SZ;
  DWORD size = MAX_PATH;
  LONG read = RegQueryValueExA(key, UninstallKey.valueName, NULL, &type,
                               (LPBYTE)prefix, &size);
  RegCloseKey(key);
  if (read != ERROR_SUCCESS) return false;

  if (!TerminateValue(prefix, size)) return false;
  if (type == REG_EXPAND_SZ) {
    if (!ExpandInPlace(prefix)) return false;
  } else if (type != REG_SZ) {
    return false;
  }
  if (!StripQuotes(prefix) || !IsAbsolutePath(prefix)) return false;

  CutAfterLastBackslash(prefix);
  return true;
}

bool RemoveFile(const char *path) {
  if (DeleteFileA(path)) return true;
  // Asked only after a failure: success need not clear the last error.
  DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool DeleteInstallFile(const char *prefix, const char *name) {
  size_t prefixLength = strlen(prefix);
  size_t nameLength = strlen(name);
  // Truncating would delete a different file; skipping deletes nothing wrong.
  if (prefixLength + nameLength >= MAX_PATH) return true;

  char path[MAX_PATH];
  memcpy(path, prefix, prefixLength);
  memcpy(path + prefixLength, name, nameLength + 1);
  return RemoveFile(path);
}

bool BuildShortcutPath(int folder, char *path) {
  // Never leave the previous folder's path behind for the caller to delete.
  path[0] = '\0';

  LPITEMIDLIST idList = NULL;
  HRESULT located =
      shell32::SHGetSpecialFolderLocation(NULL, folder, &idList);
  if (FAILED(located) || idList == NULL) return false;
  BOOL converted = shell32::SHGetPathFromIDListA(idList, path);
  shell32::ILFree(idList);

  // An empty path would turn the shortcut into "\TAMbirox2000.lnk" at the
  // root of the current drive.
  if (!converted || path[0] == '\0') {
    path[0] = '\0';
    return false;
  }
  size_t folderLength = strlen(path);
  size_t nameLength = strlen(ShortcutName);
  if (folderLength + nameLength >= MAX_PATH) {
    path[0] = '\0';
    return false;
  }
  memcpy(path + folderLength, ShortcutName, nameLength + 1);
  return true;
}
