// kernel32's file and environment calls.
#include <cstring>

#include "machine.h"
#include "trace_format.h"

using namespace standin;

namespace {

// Why a deletion fails, as NT reports it, or ERROR_SUCCESS when it does not.
DWORD DeleteError(const std::string &name) {
  if (TheMachine().files.count(name) != 0) {
    auto undeletable = TheMachine().undeletableFiles.find(name);
    return undeletable == TheMachine().undeletableFiles.end()
               ? ERROR_SUCCESS
               : undeletable->second;
  }
  const std::size_t slash = name.rfind('\\');
  const bool folderExists =
      slash != std::string::npos &&
      TheMachine().directories.count(name.substr(0, slash));
  return folderExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

}  // namespace

BOOL WINAPI DeleteFileA(LPCSTR path) {
  PlatformCall inside;
  DWORD error = ERROR_PATH_NOT_FOUND;
  if (path != nullptr) {
    TheMachine().deleteAttempts.push_back(path);
    const std::string name = Lower(path);
    error = DeleteError(name);
    if (error == ERROR_SUCCESS) TheMachine().files.erase(name);
  }
  // Success leaves the last error as it was, as on Windows.
  if (error != ERROR_SUCCESS) TheMachine().lastError = error;
  const BOOL deleted = error == ERROR_SUCCESS;
  Record("DeleteFileA(" + Quoted(path) + ") -> " + std::to_string(deleted));
  return deleted;
}

DWORD WINAPI GetLastError(void) {
  PlatformCall inside;
  Record("GetLastError() -> " + std::to_string(TheMachine().lastError));
  return TheMachine().lastError;
}

namespace {

// %NAME% is replaced when NAME is set (case-insensitive); otherwise it stays
// as written, as Windows leaves unknown references.
std::string Expand(const std::string &source) {
  std::string out;
  std::size_t at = 0;
  while (at < source.size()) {
    std::size_t open = source.find('%', at);
    std::size_t close =
        open == std::string::npos ? open : source.find('%', open + 1);
    if (close == std::string::npos) {
      out += source.substr(at);
      break;
    }
    out += source.substr(at, open - at);
    const std::string name = source.substr(open + 1, close - open - 1);
    auto value = TheMachine().environment.find(Lower(name));
    if (value != TheMachine().environment.end() && !name.empty()) {
      out += value->second;
      at = close + 1;
    } else {
      out += '%' + name;
      at = close;  // the closing % may open the next reference
    }
  }
  return out;
}

}  // namespace

DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination,
                                       DWORD size) {
  PlatformCall inside;
  const std::string expanded = Expand(source ? source : "");
  const DWORD needed = (DWORD)expanded.size() + 1;  // with the NUL
  if (destination != nullptr) {
    if (needed <= size)
      std::memcpy(destination, expanded.c_str(), needed);
    else if (size > 0)
      std::memset(destination, 0xbd, size);  // undefined on Windows: poison
  }
  Record("ExpandEnvironmentStringsA(" + Quoted(source) + ", " +
         std::to_string(size) + ") -> " + std::to_string(needed));
  return needed;
}
