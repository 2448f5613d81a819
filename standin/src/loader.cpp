// kernel32's loader calls, and the two that limit where DLLs are searched.
// A module handle is the address of its lower-cased name, kept in a set that
// outlives Reset(), so that a handle names its DLL in the loader's journal.
#include <cstring>

#include "machine.h"
#include "trace_format.h"

using namespace standin;

namespace {

const char SystemDirectory[] = "C:\\Windows\\system32";

typedef void (*AnyFunction)(void);

struct Export {
  const char *dll;
  const char *function;
  AnyFunction address;
};

const Export Exports[] = {
    {"kernel32.dll", "SetDefaultDllDirectories", (AnyFunction)SetDefaultDllDirectories},
    {"kernel32.dll", "SetDllDirectoryA", (AnyFunction)SetDllDirectoryA},
    {"shell32.dll", "SHGetSpecialFolderLocation", (AnyFunction)SHGetSpecialFolderLocation},
    {"shell32.dll", "SHGetPathFromIDListA", (AnyFunction)SHGetPathFromIDListA},
    {"shell32.dll", "ILFree", (AnyFunction)ILFree},
};

void RecordLoader(const std::string &line) {
  TheMachine().loaderCalls.push_back({line, TheMachine().journal.size()});
}

// One handle per name, stable across Reset(), never null.
HMODULE Handle(const std::string &name) {
  static std::set<std::string> names;
  return (HMODULE)&*names.insert(name).first;
}

std::string NameOf(HMODULE module) {
  return module == nullptr ? "NULL" : *(const std::string *)module;
}

std::string BaseName(const std::string &path) {
  std::size_t slash = path.rfind('\\');
  std::string name = Lower(slash == std::string::npos ? path : path.substr(slash + 1));
  if (name.find('.') == std::string::npos) name += ".dll";  // as Windows adds it
  return name;
}

}  // namespace

namespace standin {

void RemoveSystemDll(const std::string &name) {
  TheMachine().removedDlls.insert(Lower(name));
}

void RemoveExport(const std::string &dll, const std::string &function) {
  TheMachine().removedExports.insert(Lower(dll) + "!" + function);
}

const std::vector<LoaderCall> &LoaderCalls() { return TheMachine().loaderCalls; }

}  // namespace standin

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
  PlatformCall inside;
  HMODULE module = nullptr;
  if (name != nullptr && TheMachine().loadedDlls.count(BaseName(name)) != 0)
    module = Handle(BaseName(name));
  RecordLoader("GetModuleHandleA(" + Quoted(name) + ") -> " + NameOf(module));
  return module;
}

// Function names compare exactly, as on Windows.
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
  PlatformCall inside;
  AnyFunction found = nullptr;
  if (module != nullptr && name != nullptr) {
    const std::string dll = NameOf(module);
    for (const Export &e : Exports) {
      if (dll == e.dll && std::strcmp(name, e.function) == 0 &&
          TheMachine().removedExports.count(dll + "!" + name) == 0)
        found = e.address;
    }
  }
  RecordLoader("GetProcAddress(" + NameOf(module) + ", " + Quoted(name) +
               ") -> " + (found ? "function" : "NULL"));
  return (FARPROC)found;
}

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size) {
  PlatformCall inside;
  const UINT length = sizeof SystemDirectory - 1;
  UINT result = length + 1;  // too small: the size needed, with the NUL
  if (buffer != nullptr && size > length) {
    std::memcpy(buffer, SystemDirectory, sizeof SystemDirectory);
    result = length;
  }
  RecordLoader("GetSystemDirectoryA(" + std::to_string(size) + ") -> " +
               std::to_string(result));
  return result;
}

// Only System32 holds DLLs here. A bare name is found there too; whether
// Windows would have looked elsewhere first is for the tests to judge from
// the journal.
HMODULE WINAPI LoadLibraryExA(LPCSTR path, HANDLE file, DWORD flags) {
  PlatformCall inside;
  HMODULE module = nullptr;
  if (path != nullptr && file == nullptr) {
    const std::string text = path;
    const std::size_t slash = text.rfind('\\');
    const bool inSystem32 =
        slash == std::string::npos ||
        Lower(text.substr(0, slash)) == Lower(SystemDirectory);
    const std::string name = BaseName(text);
    if (inSystem32 && TheMachine().removedDlls.count(name) == 0) {
      TheMachine().loadedDlls.insert(name);
      module = Handle(name);
    }
  }
  RecordLoader("LoadLibraryExA(" + Quoted(path) + ", " +
               (file ? "file" : "NULL") + ", " + Hex(flags) + ") -> " +
               NameOf(module));
  return module;
}

// Any combination of the LOAD_LIBRARY_SEARCH_* directory flags, none other.
BOOL WINAPI SetDefaultDllDirectories(DWORD flags) {
  PlatformCall inside;
  const BOOL set = flags != 0 && (flags & ~0x1f00u) == 0;
  RecordLoader("SetDefaultDllDirectories(" + Hex(flags) + ") -> " +
               std::to_string(set));
  return set;
}

BOOL WINAPI SetDllDirectoryA(LPCSTR path) {
  PlatformCall inside;
  RecordLoader("SetDllDirectoryA(" + Quoted(path) + ") -> 1");
  return TRUE;
}
