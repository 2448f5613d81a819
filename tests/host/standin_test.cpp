// The stand-in must behave as Windows NT does where the program depends on
// it, or the whole-run tests prove nothing. Each check here was also seen
// under Wine.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "standin.h"

namespace {

TEST(StandinRegistry, OpenMissingKeyFailsAndNullsTheHandle) {
  standin::Reset();
  HKEY key = (HKEY)0x1;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyA(HKEY_LOCAL_MACHINE, "Nope", &key));
  EXPECT_EQ(nullptr, key);
  EXPECT_EQ(0, standin::OpenKeyCount());
}

TEST(StandinRegistry, QueryTooSmallReportsNeededSizeAndPoisons) {
  standin::Reset();
  standin::SetString(HKEY_CURRENT_USER, "K", "V", "abcdef");  // 7 bytes
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, "k", &key));
  char data[8];
  std::memset(data, 'z', sizeof data);
  DWORD type = REG_NONE, size = 6;
  EXPECT_EQ(ERROR_MORE_DATA,
            RegQueryValueExA(key, "v", nullptr, &type, (LPBYTE)data, &size));
  EXPECT_EQ(7u, size);
  EXPECT_EQ((char)0xbd, data[0]);
  EXPECT_EQ('z', data[6]) << "wrote past the size it was given";
  size = 7;
  EXPECT_EQ(ERROR_SUCCESS,
            RegQueryValueExA(key, "V", nullptr, &type, (LPBYTE)data, &size));
  EXPECT_STREQ("abcdef", data);
  EXPECT_EQ((DWORD)REG_SZ, type);
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
  EXPECT_EQ(0, standin::OpenKeyCount());
}

// NT adds the missing NUL when there is room, as Wine showed; the size stays
// that of the stored bytes. Without room the caller gets no NUL at all.
TEST(StandinRegistry, StringWithoutNulIsTerminatedOnlyWhenThereIsRoom) {
  standin::Reset();
  standin::SetValue(HKEY_CURRENT_USER, "K", "V", REG_EXPAND_SZ, "abc");
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, "K", &key));
  char data[8];
  std::memset(data, 'z', sizeof data);
  DWORD type = REG_SZ, size = sizeof data;
  EXPECT_EQ(ERROR_SUCCESS,
            RegQueryValueExA(key, "V", nullptr, &type, (LPBYTE)data, &size));
  EXPECT_EQ(3u, size);
  EXPECT_EQ('\0', data[3]);
  EXPECT_EQ('z', data[4]);
  EXPECT_EQ((DWORD)REG_EXPAND_SZ, type);

  std::memset(data, 'z', sizeof data);
  size = 3;
  EXPECT_EQ(ERROR_SUCCESS,
            RegQueryValueExA(key, "V", nullptr, &type, (LPBYTE)data, &size));
  EXPECT_EQ('z', data[3]);
  RegCloseKey(key);
}

TEST(StandinRegistry, DeleteRefusesKeysWithSubkeysAndMissingKeys) {
  standin::Reset();
  standin::CreateKey(HKEY_CLASSES_ROOT, "Klasse\\shell\\open");
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_CLASSES_ROOT, "Klasse"));
  EXPECT_TRUE(standin::KeyExists(HKEY_CLASSES_ROOT, "Klasse"));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CLASSES_ROOT, "KLASSE\\Shell\\Open"));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CLASSES_ROOT, "Klasse\\shell"));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CLASSES_ROOT, "Klasse"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(HKEY_CLASSES_ROOT, "Klasse"));
  // A sibling whose name merely starts the same is no subkey.
  standin::CreateKey(HKEY_CLASSES_ROOT, "Klasse2\\x");
  standin::CreateKey(HKEY_CLASSES_ROOT, "Klasse");
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CLASSES_ROOT, "Klasse"));
}

// GetLastError after a failed DeleteFileA, as Wine 8 gives it.
TEST(StandinFiles, DeleteSucceedsOnceAndFailsSayingWhy) {
  standin::Reset();
  standin::AddFile("C:\\A\\x.txt");
  standin::AddFile("C:\\A\\y.txt");
  standin::AddFile("C:\\A\\z.exe");
  standin::LockFile("C:\\A\\y.txt");
  standin::ProtectFile("C:\\A\\z.exe");
  EXPECT_NE(FALSE, DeleteFileA("c:\\a\\X.TXT"));
  const struct {
    const char *path;
    DWORD error;
  } refused[] = {
      {"C:\\A\\x.txt", ERROR_FILE_NOT_FOUND},  // its folder stays
      {"C:\\B\\x.txt", ERROR_PATH_NOT_FOUND},
      {"C:\\A\\y.txt", ERROR_SHARING_VIOLATION},
      {"C:\\A\\z.exe", ERROR_ACCESS_DENIED},
  };
  for (const auto &r : refused) {
    SCOPED_TRACE(r.path);
    EXPECT_EQ(FALSE, DeleteFileA(r.path));
    EXPECT_EQ(r.error, GetLastError());
  }
  EXPECT_TRUE(standin::FileExists("C:\\A\\y.txt"));
  standin::ReleaseFile("C:\\A\\z.exe");
  EXPECT_NE(FALSE, DeleteFileA("C:\\A\\z.exe"));
}

TEST(StandinShell, PathlessFolderEmptiesTheBufferAndListsMustBeFreed) {
  standin::Reset();
  standin::SetFolderWithoutPath(CSIDL_PROGRAMS);
  LPITEMIDLIST list = nullptr;
  ASSERT_EQ(S_OK, SHGetSpecialFolderLocation(nullptr, CSIDL_PROGRAMS, &list));
  EXPECT_EQ(1, standin::LiveIdListCount());
  char path[MAX_PATH] = "stale";
  EXPECT_EQ(FALSE, SHGetPathFromIDListA(list, path));
  EXPECT_STREQ("", path);
  ILFree(list);
  EXPECT_EQ(0, standin::LiveIdListCount());
  ILFree(list);
  EXPECT_EQ(1, standin::MisuseCount());
  EXPECT_TRUE(FAILED(
      SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOPDIRECTORY, &list)));
  EXPECT_EQ(nullptr, list);
}

TEST(StandinEnvironment, ExpandsKnownReferencesAndReportsTheNeededSize) {
  standin::Reset();
  standin::SetEnvironment("ProgramFiles", "C:\\Program Files");
  char out[MAX_PATH];
  EXPECT_EQ(23u, ExpandEnvironmentStringsA("%PROGRAMFILES%\\T\\%x%", out,
                                           sizeof out));
  EXPECT_STREQ("C:\\Program Files\\T\\%x%", out);
  EXPECT_EQ(23u, ExpandEnvironmentStringsA("%ProgramFiles%\\T\\%x%", out, 10));
}

}  // namespace
