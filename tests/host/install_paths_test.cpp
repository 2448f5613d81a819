// The installation lookup and path composition, one table per function.
// Output buffers are poisoned with 0xbd and guarded past MAX_PATH, so a
// stray write or a missing terminator shows in the printed result.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "install_paths.h"
#include "standin.h"

namespace {

const char KeyPath[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TAMbirox 2000";
const std::string Nul(1, '\0');
const int Guard = 16;

struct PoisonedPath {
  char bytes[MAX_PATH + Guard];
  PoisonedPath() { std::memset(bytes, 0xbd, sizeof bytes); }
  bool GuardIntact() const {
    for (int i = MAX_PATH; i < MAX_PATH + Guard; ++i)
      if ((unsigned char)bytes[i] != 0xbd) return false;
    return true;
  }
};

struct LookupCase {
  const char *what;
  DWORD type;
  std::string stored;    // bytes as the registry holds them
  std::string expected;  // the prefix, or NotFound
};

const char NotFound[] = "(not found)";

const std::string Long259 = "C:\\" + std::string(242, 'd') + "\\uninstall.exe";

const LookupCase LookupCases[] = {
    {"plain path", REG_SZ, "C:\\A\\B\\uninstall.exe" + Nul, "C:\\A\\B\\"},
    {"drive root", REG_SZ, "D:\\uninstall.exe" + Nul, "D:\\"},
    {"UNC path", REG_SZ, "\\\\server\\share\\T\\uninstall.exe" + Nul,
     "\\\\server\\share\\T\\"},
    // Quoted values: the path is what stands between the quotes.
    {"quoted", REG_SZ, "\"C:\\Program Files\\T\\uninstall.exe\"" + Nul,
     "C:\\Program Files\\T\\"},
    {"quoted with arguments", REG_SZ,
     "\"C:\\Program Files\\T\\uninstall.exe\" /S /LOG=\"D:\\x\\y.log\"" + Nul,
     "C:\\Program Files\\T\\"},
    {"opening quote only", REG_SZ, "\"C:\\A\\B\\uninstall.exe" + Nul, NotFound},
    {"empty quotes", REG_SZ, "\"\" C:\\A\\uninstall.exe" + Nul, NotFound},
    // Unquoted arguments are cut at the last backslash, arguments included.
    {"unquoted with arguments", REG_SZ,
     "C:\\A\\uninstall.exe /log=C:\\Temp\\u.log" + Nul,
     "C:\\A\\uninstall.exe /log=C:\\Temp\\"},
    // Nothing that could resolve against the current directory or drive.
    {"empty", REG_SZ, Nul, NotFound},
    {"empty without NUL", REG_SZ, "", NotFound},
    {"no backslash", REG_SZ, "uninstall.exe" + Nul, NotFound},
    {"relative", REG_SZ, "A\\B\\uninstall.exe" + Nul, NotFound},
    {"root of current drive", REG_SZ, "\\A\\uninstall.exe" + Nul, NotFound},
    {"drive-relative", REG_SZ, "C:A\\uninstall.exe" + Nul, NotFound},
    {"forward slashes", REG_SZ, "C:/A/uninstall.exe" + Nul, NotFound},
    {"UNC without share", REG_SZ, "\\\\server\\uninstall.exe" + Nul, NotFound},
    {"UNC empty server", REG_SZ, "\\\\\\share\\uninstall.exe" + Nul, NotFound},
    {"device namespace", REG_SZ, "\\\\.\\C:\\A\\uninstall.exe" + Nul, NotFound},
    {"long-path namespace", REG_SZ, "\\\\?\\C:\\A\\uninstall.exe" + Nul,
     NotFound},
    // Termination: bytes come back exactly as stored.
    {"without NUL", REG_SZ, "C:\\A\\uninstall.exe", "C:\\A\\"},
    {"embedded NUL ends it", REG_SZ,
     "C:\\A\\uninstall.exe" + Nul + "D:\\Other\\x" + Nul, "C:\\A\\"},
    {"259 characters fit", REG_SZ, Long259 + Nul,
     "C:\\" + std::string(242, 'd') + "\\"},
    {"260 bytes without NUL", REG_SZ, Long259 + "x", NotFound},
    {"260 characters", REG_SZ, Long259 + "x" + Nul, NotFound},
    // Types: only strings name a path.
    {"REG_DWORD", REG_DWORD, std::string("\x01\x00\x00\x00", 4), NotFound},
    {"REG_BINARY holding a path", REG_BINARY, "C:\\A\\uninstall.exe" + Nul,
     NotFound},
    {"REG_MULTI_SZ", REG_MULTI_SZ, "C:\\A\\uninstall.exe" + Nul + Nul, NotFound},
    {"unexpanded reference in REG_SZ", REG_SZ,
     "%ProgramFiles%\\T\\uninstall.exe" + Nul, NotFound},
    {"REG_EXPAND_SZ", REG_EXPAND_SZ, "%ProgramFiles%\\T\\uninstall.exe" + Nul,
     "C:\\Program Files\\T\\"},
    {"REG_EXPAND_SZ quoted", REG_EXPAND_SZ,
     "\"%ProgramFiles%\\T\\uninstall.exe\" /S" + Nul, "C:\\Program Files\\T\\"},
    {"REG_EXPAND_SZ unknown reference", REG_EXPAND_SZ,
     "%Nirgends%\\T\\uninstall.exe" + Nul, NotFound},
    {"REG_EXPAND_SZ too long once expanded", REG_EXPAND_SZ,
     "%ProgramFiles%\\" + std::string(230, 'e') + "\\uninstall.exe" + Nul,
     NotFound},
};

TEST(FindInstallDirectory, CutsTrustworthyValuesAndRefusesTheRest) {
  for (const LookupCase &c : LookupCases) {
    SCOPED_TRACE(c.what);
    standin::Reset();
    standin::SetEnvironment("ProgramFiles", "C:\\Program Files");
    standin::SetValue(HKEY_LOCAL_MACHINE, KeyPath, "UninstallString", c.type,
                      c.stored);
    PoisonedPath prefix;
    bool found = FindInstallDirectory(prefix.bytes);
    EXPECT_EQ(c.expected != NotFound, found);
    if (found && c.expected != NotFound) {
      ASSERT_NE(nullptr, std::memchr(prefix.bytes, '\0', MAX_PATH));
      EXPECT_EQ(c.expected, std::string(prefix.bytes));
    }
    EXPECT_TRUE(prefix.GuardIntact());
    EXPECT_EQ(0, standin::OpenKeyCount());
    EXPECT_EQ(0, standin::MisuseCount());
  }
}

TEST(FindInstallDirectory, MissingKeyIsNotFoundWithoutAClose) {
  standin::Reset();
  PoisonedPath prefix;
  EXPECT_FALSE(FindInstallDirectory(prefix.bytes));
  ASSERT_EQ(1u, standin::Journal().size());
  EXPECT_EQ(0u, standin::Journal()[0].find("RegOpenKeyA(HKEY_LOCAL_MACHINE, "))
      << standin::Journal()[0];
  EXPECT_TRUE(prefix.GuardIntact());
}

TEST(FindInstallDirectory, KeyNameMatchesWhateverCaseTheInstallerUsed) {
  standin::Reset();
  standin::SetString(HKEY_LOCAL_MACHINE,
                     "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                     "tambirox 2000",
                     "UNINSTALLSTRING", "C:\\A\\uninstall.exe");
  PoisonedPath prefix;
  ASSERT_TRUE(FindInstallDirectory(prefix.bytes));
  EXPECT_STREQ("C:\\A\\", prefix.bytes);
}

std::string Deleted(const char *prefix, const char *name) {
  standin::Reset();
  DeleteInstallFile(prefix, name);
  std::string calls;
  for (const std::string &line : standin::Journal()) calls += line;
  return calls;
}

// Only a file that is still there counts as not removed.
TEST(DeleteInstallFile, JoinsPrefixAndNameAndFailsOnlyOnAFileThatStays) {
  standin::Reset();
  standin::AddFile("C:\\A\\B\\tambirox.exe");
  EXPECT_TRUE(DeleteInstallFile("C:\\A\\B\\", "tambirox.exe"));
  EXPECT_FALSE(standin::FileExists("C:\\A\\B\\tambirox.exe"));
  EXPECT_TRUE(DeleteInstallFile("C:\\A\\B\\", "tambirox.exe"));  // gone
  EXPECT_TRUE(DeleteInstallFile("C:\\A\\C\\", "tambirox.exe"));  // no folder
  standin::AddFile("C:\\A\\B\\tambirox.hlp");
  standin::LockFile("C:\\A\\B\\tambirox.hlp");
  EXPECT_FALSE(DeleteInstallFile("C:\\A\\B\\", "tambirox.hlp"));
  // Asked why only after the failure.
  EXPECT_EQ("DeleteFileA(\"C:\\\\A\\\\B\\\\tambirox.hlp\") -> 0",
            standin::Journal().end()[-2]);
  EXPECT_EQ("GetLastError() -> 32", standin::Journal().back());
}

// A path that does not fit is skipped, never cut into another file's name.
TEST(DeleteInstallFile, SkipsPathsLongerThan259Characters) {
  const std::string prefix247 = "C:\\" + std::string(243, 'p') + "\\";
  ASSERT_EQ(247u, prefix247.size());
  EXPECT_EQ("DeleteFileA(\"C:\\\\" + std::string(243, 'p') +
                "\\\\tambirox.exe\") -> 0" + "GetLastError() -> 3",
            Deleted(prefix247.c_str(), "tambirox.exe"));  // 259: fits
  EXPECT_EQ("", Deleted((prefix247 + "q").c_str(), "tambirox.exe"));  // 260
  EXPECT_EQ("", Deleted(prefix247.c_str(), "DHTML Export Template.htm"));
}

struct ShortcutCase {
  const char *what;
  int folderState;  // 0 path, 1 unresolvable, 2 no file-system path
  std::string folderPath;
  std::string expected;  // empty: skipped
};

const std::string Folder242 = "D:\\" + std::string(239, 'f');

const ShortcutCase ShortcutCases[] = {
    {"desktop directory", 0, "D:\\Users\\X\\Desktop",
     "D:\\Users\\X\\Desktop\\TAMbirox2000.lnk"},
    {"unresolvable", 1, "", ""},
    {"no file-system path", 2, "", ""},
    {"empty path", 0, "", ""},
    {"242 + 17 = 259 characters", 0, Folder242,
     "D:\\" + std::string(239, 'f') + "\\TAMbirox2000.lnk"},
    {"243 + 17 characters", 0, Folder242 + "g", ""},
};

TEST(BuildShortcutPath, AppendsTheShortcutOrReportsNothingToDelete) {
  for (const ShortcutCase &c : ShortcutCases) {
    SCOPED_TRACE(c.what);
    standin::Reset();
    LoadSystemDlls();  // binds shell32, as WinMain does first
    if (c.folderState == 0) standin::SetFolder(CSIDL_DESKTOPDIRECTORY, c.folderPath);
    if (c.folderState == 1) standin::SetFolderUnresolvable(CSIDL_DESKTOPDIRECTORY);
    if (c.folderState == 2) standin::SetFolderWithoutPath(CSIDL_DESKTOPDIRECTORY);
    PoisonedPath path;
    std::strcpy(path.bytes, "C:\\Previous\\TAMbirox2000.lnk");
    bool built = BuildShortcutPath(CSIDL_DESKTOPDIRECTORY, path.bytes);
    EXPECT_EQ(!c.expected.empty(), built);
    EXPECT_EQ(c.expected, std::string(path.bytes));
    EXPECT_TRUE(path.GuardIntact());
    EXPECT_EQ(0, standin::LiveIdListCount());
    EXPECT_EQ(0, standin::MisuseCount());
  }
}

}  // namespace
