// shell32's folder lookup. Each item-ID list handed out is tracked until it
// is freed, so a test can see one that leaks.
#include <cstring>

#include "machine.h"
#include "trace_format.h"

using namespace standin;

HRESULT WINAPI SHGetSpecialFolderLocation(HWND owner, int folder,
                                          LPITEMIDLIST *idList) {
  PlatformCall inside;
  HRESULT result = E_INVALIDARG;
  if (idList != nullptr) {
    *idList = nullptr;
    auto known = TheMachine().folders.find(folder);
    if (known != TheMachine().folders.end() &&
        known->second.kind != FolderUnresolvable) {
      *idList = (LPITEMIDLIST) new char[2]();  // an empty list: two NULs
      TheMachine().idLists[*idList] = folder;
      result = S_OK;
    }
  }
  Record("SHGetSpecialFolderLocation(" +
         std::string(owner ? "hwnd" : "NULL") + ", " + FolderName(folder) +
         ") -> " + Hex((unsigned)result));
  return result;
}

BOOL WINAPI SHGetPathFromIDListA(LPCITEMIDLIST idList, LPSTR path) {
  PlatformCall inside;
  BOOL converted = FALSE;
  auto live = TheMachine().idLists.find(idList);
  if (live == TheMachine().idLists.end()) {
    ++TheMachine().misuse;
  } else if (path != nullptr) {
    const Folder &folder = TheMachine().folders[live->second];
    // Windows empties the buffer when the list has no file-system path.
    path[0] = '\0';
    if (folder.kind == FolderWithPath && folder.path.size() < MAX_PATH) {
      std::memcpy(path, folder.path.c_str(), folder.path.size() + 1);
      converted = TRUE;
    }
  }
  Record("SHGetPathFromIDListA(pidl) -> " + std::to_string(converted));
  return converted;
}

void WINAPI ILFree(LPITEMIDLIST idList) {
  PlatformCall inside;
  Record("ILFree(" + std::string(idList ? "pidl" : "NULL") + ")");
  if (idList == nullptr) return;  // allowed, and does nothing
  if (TheMachine().idLists.erase(idList) == 0) {
    ++TheMachine().misuse;  // freed twice, or never handed out
    return;
  }
  delete[] (char *)idList;
}
