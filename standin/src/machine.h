// The stand-in's state: one simulated machine, shared by the Win32 entry
// points in this folder and the test-side controls in control.cpp.
#ifndef STANDIN_MACHINE_H
#define STANDIN_MACHINE_H

#include <map>
#include <set>
#include <string>
#include <vector>

#include "standin.h"

namespace standin {

struct Value {
  DWORD type;
  std::string bytes;
};

struct Key {
  std::map<std::string, Value> values;  // by lower-cased name
};

enum FolderKind { FolderWithPath, FolderUnresolvable, FolderWithoutPath };
struct Folder {
  FolderKind kind;
  std::string path;
};

struct Machine {
  // Key identity: the root's name + '\' + the lower-cased path.
  std::map<std::string, Key> keys;
  std::set<std::string> files;        // lower-cased full paths
  // Files that cannot be deleted, and why: lower-cased full path -> error.
  std::map<std::string, DWORD> undeletableFiles;
  std::set<std::string> directories;  // lower-cased, without trailing '\'
  DWORD lastError = 0;                // the one thread's GetLastError()
  std::map<int, Folder> folders;
  std::map<std::string, std::string> environment;  // by lower-cased name
  std::vector<int> answers;
  std::size_t nextAnswer = 0;
  std::vector<Dialog> dialogs;
  int unansweredDialogs = 0;
  std::vector<std::string> journal;
  std::map<HKEY, std::string> openKeys;   // handle -> key identity
  std::uintptr_t nextKeyHandle = 0x1000;
  std::map<const ITEMIDLIST *, int> idLists;  // live list -> CSIDL
  int misuse = 0;
  std::vector<std::string> deleteAttempts;  // DeleteFileA paths, raw
  std::set<std::string> loadedDlls = {"kernel32.dll"};  // lower-cased names
  std::set<std::string> removedDlls;                    // lower-cased names
  std::set<std::string> removedExports;                 // "dll!Function"
  std::vector<LoaderCall> loaderCalls;
};

Machine &TheMachine();

// Marks the time spent inside a stand-in Win32 call, so that an allocation
// counter can tell the program's own allocations from the stand-in's.
struct PlatformCall {
  PlatformCall();
  ~PlatformCall();
};
void Record(const std::string &line);

std::string Lower(const std::string &text);
// Key identity for a root (predefined or open handle) and a subkey path;
// empty when the root handle is not valid.
std::string KeyIdentity(HKEY root, const char *subKey);

}  // namespace standin

#endif
