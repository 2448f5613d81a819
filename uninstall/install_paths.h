// Finding the installation directory and composing the paths to delete.
// Every buffer passed in is MAX_PATH bytes.
#ifndef UNINSTALL_INSTALL_PATHS_H
#define UNINSTALL_INSTALL_PATHS_H

#include "win32.h"

// Fills prefix with the installation directory, ending in a backslash, taken
// from the registered uninstall command. False when there is no installation
// or its registration does not name an absolute path we can trust.
bool FindInstallDirectory(char *prefix);

// Deletes one file. False when it is still there: in use, read-only or
// otherwise protected. A file that was not there counts as removed.
bool RemoveFile(const char *path);

// Removes prefix + name with RemoveFile. A path that would not fit MAX_PATH
// is skipped and counts as removed: no installed file can have that name.
bool DeleteInstallFile(const char *prefix, const char *name);

// Fills path with the shell folder's path + ShortcutName. False when the
// folder has no file-system path or the result would not fit MAX_PATH; path
// is then empty.
bool BuildShortcutPath(int folder, char *path);

#endif
