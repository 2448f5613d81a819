// Test-side control of the host stand-in: seed a machine (registry, files,
// shell folders, environment, the user's answers), then inspect what the
// program did to it. The state models Windows NT's behaviour; it is not a
// list of canned answers.
#ifndef STANDIN_H
#define STANDIN_H

#include <string>
#include <vector>

#include "win32_standin.h"

namespace standin {

// Forgets everything: an empty registry and disk, no folders, no answers.
void Reset();

// Registry. Key names compare case-insensitively, as on Windows; creating a
// key creates its missing parents.
void CreateKey(HKEY root, const std::string &path);
// Stores the bytes exactly as given: pass a trailing "\0" for a terminated
// string, or leave it out to model a value written without one.
void SetValue(HKEY root, const std::string &path, const std::string &name,
              DWORD type, const std::string &bytes);
void SetString(HKEY root, const std::string &path, const std::string &name,
               const std::string &text);  // REG_SZ with its NUL
void RemoveValue(HKEY root, const std::string &path, const std::string &name);
bool KeyExists(HKEY root, const std::string &path);
bool ValueExists(HKEY root, const std::string &path, const std::string &name);

// Files, by full path, case-insensitive. A file's folders exist from then
// on, also once it is gone. A locked file (held open by another program:
// ERROR_SHARING_VIOLATION) or a protected one (read-only, or a program that
// is running: ERROR_ACCESS_DENIED) cannot be deleted until it is released.
void AddFile(const std::string &path);
void LockFile(const std::string &path);
void ProtectFile(const std::string &path);
void ReleaseFile(const std::string &path);
bool FileExists(const std::string &path);

// Shell folders per CSIDL.
void SetFolder(int csidl, const std::string &path);
void SetFolderUnresolvable(int csidl);     // SHGetSpecialFolderLocation fails
void SetFolderWithoutPath(int csidl);      // virtual: no file-system path

void SetEnvironment(const std::string &name, const std::string &value);

// Answers for the next message boxes, in order. A box with no answer left
// returns 0, as MessageBoxA does when it fails, and is counted.
void ScriptAnswers(const std::vector<int> &answers);
struct Dialog {
  HWND owner;
  std::string text;
  std::string caption;
  UINT style;
};
const std::vector<Dialog> &Dialogs();
int UnansweredDialogs();

// The loader: kernel32 is always loaded; System32 (C:\Windows\system32)
// holds every DLL and each exports what it does on Windows 8, until a test
// takes the DLL or one of its functions away.
void RemoveSystemDll(const std::string &name);  // e.g. "shell32.dll"
void RemoveExport(const std::string &dll, const std::string &function);
// Calls to the loader, kept apart from Journal() (the golden traces hold the
// program's other calls), each with the number of those made before it.
struct LoaderCall {
  std::string line;
  std::size_t callsBefore;
};
const std::vector<LoaderCall> &LoaderCalls();

// Every call in order, one line each, in the trace format of trace_format.h.
const std::vector<std::string> &Journal();
std::string JournalText();  // lines joined, each ending in '\n'

// Every path handed to DeleteFileA, byte for byte.
const std::vector<std::string> &DeleteAttempts();

// True while a stand-in Win32 call runs: its own allocations are not the
// program's.
bool InPlatformCall();

// Resources the program still holds, and misuse such as freeing twice.
int OpenKeyCount();
int LiveIdListCount();
int MisuseCount();

}  // namespace standin

// Functions the program reaches only through GetProcAddress; declared here
// for tests, not in win32_standin.h, so the program cannot call them directly.
BOOL WINAPI SetDefaultDllDirectories(DWORD flags);
BOOL WINAPI SetDllDirectoryA(LPCSTR path);
HRESULT WINAPI SHGetSpecialFolderLocation(HWND owner, int folder,
                                          LPITEMIDLIST *idList);
BOOL WINAPI SHGetPathFromIDListA(LPCITEMIDLIST idList, LPSTR path);
void WINAPI ILFree(LPITEMIDLIST idList);

#endif
