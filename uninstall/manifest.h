// Everything the uninstaller removes, as constant tables. The order of each
// list is the order of removal.
#ifndef UNINSTALL_MANIFEST_H
#define UNINSTALL_MANIFEST_H

#include "win32.h"

struct RegistryValue {
  HKEY root;
  const char *keyPath;
  const char *valueName;
};

// Read to find the installation, and deleted as the very last removal.
extern const RegistryValue UninstallKey;

enum { InstalledFileCount = 19 };
extern const char *const InstalledFiles[InstalledFileCount];

// Brings its own separator: it is appended directly to a shell folder's path.
extern const char ShortcutName[];

enum { ShortcutFolderCount = 2 };
extern const int ShortcutFolders[ShortcutFolderCount];

// Under HKEY_CLASSES_ROOT. Windows NT deletes only keys without subkeys, so
// every key stands after the listed keys beneath it.
enum { FileTypeKeyCount = 6 };
extern const char *const FileTypeKeys[FileTypeKeyCount];

// Under HKEY_CURRENT_USER; the product's settings key itself comes last.
enum { SettingsKeyCount = 25 };
extern const char *const SettingsKeys[SettingsKeyCount];

#endif
