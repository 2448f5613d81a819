// advapi32's registry calls, modelled as Windows NT behaves: case-insensitive
// key names, values handed back byte for byte, and no deletion of a key that
// still has subkeys.
#include <cstring>

#include "machine.h"
#include "trace_format.h"

using namespace standin;

namespace {

bool HasSubkeys(const std::string &identity) {
  const std::string below = identity + "\\";
  auto next = TheMachine().keys.lower_bound(below);
  return next != TheMachine().keys.end() &&
         next->first.compare(0, below.size(), below) == 0;
}

LONG Open(HKEY root, LPCSTR subKey, PHKEY result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  const std::string identity = KeyIdentity(root, subKey);
  if (identity.empty()) return ERROR_INVALID_HANDLE;
  // An empty subkey opens the root itself, which is never closed for real.
  if (subKey == nullptr || *subKey == '\0') {
    *result = root;
    return ERROR_SUCCESS;
  }
  if (TheMachine().keys.count(identity) == 0) return ERROR_FILE_NOT_FOUND;
  HKEY handle = (HKEY)TheMachine().nextKeyHandle;
  TheMachine().nextKeyHandle += 4;
  TheMachine().openKeys[handle] = identity;
  *result = handle;
  return ERROR_SUCCESS;
}

LONG Query(HKEY key, LPCSTR valueName, LPDWORD type, LPBYTE data,
           LPDWORD dataSize) {
  auto open = TheMachine().openKeys.find(key);
  if (open == TheMachine().openKeys.end()) return ERROR_INVALID_HANDLE;
  const Key &stored = TheMachine().keys[open->second];
  auto value = stored.values.find(Lower(valueName ? valueName : ""));
  if (value == stored.values.end()) return ERROR_FILE_NOT_FOUND;

  const std::string &bytes = value->second.bytes;
  if (type != nullptr) *type = value->second.type;
  if (data != nullptr && dataSize == nullptr) return ERROR_INVALID_PARAMETER;
  if (data == nullptr) {
    if (dataSize != nullptr) *dataSize = (DWORD)bytes.size();
    return ERROR_SUCCESS;
  }
  if (*dataSize < bytes.size()) {
    // Windows leaves the buffer's contents undefined here; poison them so a
    // caller that uses them anyway shows up.
    std::memset(data, 0xbd, *dataSize);
    *dataSize = (DWORD)bytes.size();
    return ERROR_MORE_DATA;
  }
  std::memcpy(data, bytes.data(), bytes.size());
  // NT (and Wine) terminate a string stored without its NUL when the buffer
  // has room, without counting the NUL in the size; a full buffer stays
  // unterminated.
  const DWORD storedType = value->second.type;
  const bool isString =
      storedType == REG_SZ || storedType == REG_EXPAND_SZ || storedType == REG_MULTI_SZ;
  if (isString && !bytes.empty() && bytes.back() != '\0' &&
      bytes.size() < *dataSize)
    data[bytes.size()] = 0;
  *dataSize = (DWORD)bytes.size();
  return ERROR_SUCCESS;
}

LONG Close(HKEY key) {
  if (key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER ||
      key == HKEY_LOCAL_MACHINE)
    return ERROR_SUCCESS;
  if (TheMachine().openKeys.erase(key) == 0) {
    ++TheMachine().misuse;
    return ERROR_INVALID_HANDLE;
  }
  return ERROR_SUCCESS;
}

LONG Delete(HKEY root, LPCSTR subKey) {
  if (subKey == nullptr) return ERROR_INVALID_PARAMETER;
  const std::string identity = KeyIdentity(root, subKey);
  if (identity.empty()) return ERROR_INVALID_HANDLE;
  if (TheMachine().keys.count(identity) == 0) return ERROR_FILE_NOT_FOUND;
  if (HasSubkeys(identity)) return ERROR_ACCESS_DENIED;
  TheMachine().keys.erase(identity);
  return ERROR_SUCCESS;
}

}  // namespace

LONG WINAPI RegOpenKeyA(HKEY root, LPCSTR subKey, PHKEY result) {
  PlatformCall inside;
  LONG status = Open(root, subKey, result);
  Record("RegOpenKeyA(" + RootName(root) + ", " + Quoted(subKey) + ") -> " +
         std::to_string(status));
  return status;
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved,
                             LPDWORD type, LPBYTE data, LPDWORD dataSize) {
  PlatformCall inside;
  LONG status = reserved != nullptr
                    ? ERROR_INVALID_PARAMETER
                    : Query(key, valueName, type, data, dataSize);
  Record("RegQueryValueExA(" + RootName(key) + ", " + Quoted(valueName) +
         ") -> " + std::to_string(status));
  return status;
}

LONG WINAPI RegCloseKey(HKEY key) {
  PlatformCall inside;
  LONG status = Close(key);
  Record("RegCloseKey(" + RootName(key) + ") -> " + std::to_string(status));
  return status;
}

LONG WINAPI RegDeleteKeyA(HKEY root, LPCSTR subKey) {
  PlatformCall inside;
  LONG status = Delete(root, subKey);
  Record("RegDeleteKeyA(" + RootName(root) + ", " + Quoted(subKey) +
         ") -> " + std::to_string(status));
  return status;
}
