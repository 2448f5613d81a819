// Whole runs of the program from its entry function against the stand-in:
// the calls it makes, in order (golden traces shared with the Wine tests),
// the dialogs it shows, and what is left on the machine afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "sample_installation.h"
#include "standin.h"

namespace {

const char ConfirmText[] =
    "M\xf6" "chten Sie TAMbirox 2000 wirklich von diesem PC entfernen?";
const char NotFoundText[] =
    "Es konnte keine TAMbirox 2000 Installation gefunden werden.";
const char AskSettingsText[] =
    "M\xf6" "chten Sie auch die Programm-Einstellungen aus der Registry "
    "l\xf6" "schen?";
const char RemovedText[] = "TAMbirox 2000 wurde erfolgreich entfernt.";
const char PartlyRemovedText[] =
    "Einige Dateien von TAMbirox 2000 konnten nicht entfernt werden, weil sie "
    "noch verwendet werden oder gesch\xfc" "tzt sind. Schlie\xdf" "en Sie "
    "TAMbirox 2000 und starten Sie die Deinstallation erneut.";

// The calls since the first `from` of the journal, one line each.
std::string JournalSince(std::size_t from) {
  std::string calls;
  for (std::size_t i = from; i < standin::Journal().size(); ++i)
    calls += standin::Journal()[i] + "\n";
  return calls;
}

int RunWithAnswers(const std::vector<int> &answers) {
  standin::ScriptAnswers(answers);
  return WinMain(nullptr, nullptr, (LPSTR) "", 1);
}

void ExpectDialogs(const std::vector<std::pair<std::string, UINT>> &expected) {
  const std::vector<standin::Dialog> &shown = standin::Dialogs();
  ASSERT_EQ(expected.size(), shown.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("dialog " + std::to_string(i + 1));
    EXPECT_EQ(nullptr, shown[i].owner);
    EXPECT_EQ(expected[i].first, shown[i].text);
    EXPECT_EQ("Uninstall", shown[i].caption);
    EXPECT_EQ(expected[i].second, shown[i].style);
  }
  EXPECT_EQ(0, standin::UnansweredDialogs());
}

void ExpectNothingLeaked() {
  EXPECT_EQ(0, standin::OpenKeyCount()) << "registry key handles left open";
  EXPECT_EQ(0, standin::LiveIdListCount()) << "item-ID lists not freed";
  EXPECT_EQ(0, standin::MisuseCount()) << "handles closed or freed twice";
}

void ExpectInstallationUntouched() {
  for (const std::string &name : ExpectedFiles)
    EXPECT_TRUE(standin::FileExists(InstallDir + name)) << name;
  EXPECT_TRUE(standin::FileExists(std::string(ProgramsDir) +
                                  "\\TAMbirox2000.lnk"));
  EXPECT_TRUE(standin::FileExists(std::string(DesktopDir) +
                                  "\\TAMbirox2000.lnk"));
  for (const std::string &key : ExpectedFileTypeKeys)
    EXPECT_TRUE(standin::KeyExists(HKEY_CLASSES_ROOT, key)) << key;
  for (const std::string &key : ExpectedSettingsKeys)
    EXPECT_TRUE(standin::KeyExists(HKEY_CURRENT_USER, key)) << key;
}

void ExpectSurvivorsKept() {
  for (const std::string &path : SurvivingFiles)
    EXPECT_TRUE(standin::FileExists(path)) << path;
  EXPECT_TRUE(standin::KeyExists(HKEY_CURRENT_USER, "Software\\ZORV\\Andere"));
  EXPECT_TRUE(standin::KeyExists(HKEY_CURRENT_USER, "Software\\ZORV"));
}

void ExpectProgramFilesRemoved() {
  for (const std::string &name : ExpectedFiles)
    EXPECT_FALSE(standin::FileExists(InstallDir + name)) << name;
  EXPECT_FALSE(standin::FileExists(std::string(ProgramsDir) +
                                   "\\TAMbirox2000.lnk"));
  EXPECT_FALSE(standin::FileExists(std::string(DesktopDir) +
                                   "\\TAMbirox2000.lnk"));
  for (const std::string &key : ExpectedFileTypeKeys)
    EXPECT_FALSE(standin::KeyExists(HKEY_CLASSES_ROOT, key)) << key;
  EXPECT_FALSE(standin::KeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath));
}

class WholeRun : public ::testing::Test {
 protected:
  void SetUp() override { SeedSampleInstallation(); }
};

TEST_F(WholeRun, NoAtTheFirstQuestionChangesNothing) {
  EXPECT_EQ(0, RunWithAnswers({IDNO}));
  EXPECT_EQ(ReadTrace("declined_no"), standin::JournalText());
  ExpectDialogs({{ConfirmText, 0x223}});
  ExpectInstallationUntouched();
  EXPECT_TRUE(standin::KeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath));
}

// Esc and closing the box both answer IDCANCEL, as does the default button.
TEST_F(WholeRun, CancelAtTheFirstQuestionChangesNothing) {
  EXPECT_EQ(0, RunWithAnswers({IDCANCEL}));
  EXPECT_EQ(ReadTrace("declined_cancel"), standin::JournalText());
  ExpectInstallationUntouched();
}

// A failed MessageBoxA (0) is no Yes either.
TEST_F(WholeRun, FailedFirstQuestionChangesNothing) {
  EXPECT_EQ(0, RunWithAnswers({0}));
  ASSERT_EQ(1u, standin::Journal().size());
  ExpectInstallationUntouched();
}

TEST_F(WholeRun, YesYesRemovesEverythingListedAndNothingElse) {
  EXPECT_EQ(0, RunWithAnswers({IDYES, IDYES, IDOK}));
  EXPECT_EQ(ReadTrace("full_run_yes_yes"), standin::JournalText());
  ExpectDialogs({{ConfirmText, 0x223}, {AskSettingsText, 0x124},
                 {RemovedText, 0x40}});
  ExpectProgramFilesRemoved();
  for (const std::string &key : ExpectedSettingsKeys)
    EXPECT_FALSE(standin::KeyExists(HKEY_CURRENT_USER, key)) << key;
  ExpectSurvivorsKept();
  ExpectNothingLeaked();
}

TEST_F(WholeRun, NoAtTheSettingsQuestionKeepsEverySettingsKey) {
  EXPECT_EQ(0, RunWithAnswers({IDYES, IDNO, IDOK}));
  EXPECT_EQ(ReadTrace("full_run_yes_no"), standin::JournalText());
  ExpectDialogs({{ConfirmText, 0x223}, {AskSettingsText, 0x124},
                 {RemovedText, 0x40}});
  ExpectProgramFilesRemoved();
  for (const std::string &key : ExpectedSettingsKeys)
    EXPECT_TRUE(standin::KeyExists(HKEY_CURRENT_USER, key)) << key;
  ExpectSurvivorsKept();
  ExpectNothingLeaked();
}

TEST_F(WholeRun, SecondRunFindsNoInstallation) {
  RunWithAnswers({IDYES, IDYES, IDOK});
  const std::size_t firstRunCalls = standin::Journal().size();
  EXPECT_EQ(0, RunWithAnswers({IDYES, IDOK}));
  EXPECT_EQ(ReadTrace("not_found_no_key"), JournalSince(firstRunCalls));
  EXPECT_EQ(NotFoundText, standin::Dialogs().back().text);
  ExpectSurvivorsKept();
  ExpectNothingLeaked();
}

TEST_F(WholeRun, MissingUninstallKeyIsNotFound) {
  standin::Reset();
  for (const std::string &name : ExpectedFiles)
    standin::AddFile(InstallDir + name);
  EXPECT_EQ(0, RunWithAnswers({IDYES, IDOK}));
  EXPECT_EQ(ReadTrace("not_found_no_key"), standin::JournalText());
  ExpectDialogs({{ConfirmText, 0x223}, {NotFoundText, 0x30}});
  for (const std::string &name : ExpectedFiles)
    EXPECT_TRUE(standin::FileExists(InstallDir + name)) << name;
}

TEST_F(WholeRun, MissingValueIsNotFoundAndKeepsTheKey) {
  standin::RemoveValue(HKEY_LOCAL_MACHINE, UninstallKeyPath, "UninstallString");
  EXPECT_EQ(0, RunWithAnswers({IDYES, IDOK}));
  EXPECT_EQ(ReadTrace("not_found_no_value"), standin::JournalText());
  ExpectDialogs({{ConfirmText, 0x223}, {NotFoundText, 0x30}});
  ExpectInstallationUntouched();
  EXPECT_TRUE(standin::KeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath));
  ExpectNothingLeaked();
}

// 260 characters need 261 bytes with the NUL: the read fails, nothing moves.
TEST_F(WholeRun, ValueTooLongIsNotFoundAndChangesNothing) {
  standin::SetString(HKEY_LOCAL_MACHINE, UninstallKeyPath, "UninstallString",
                     "C:\\" + std::string(243, 'x') + "\\uninstall.exe");
  EXPECT_EQ(0, RunWithAnswers({IDYES, IDOK}));
  EXPECT_EQ(ReadTrace("not_found_value_too_long"), standin::JournalText());
  ExpectDialogs({{ConfirmText, 0x223}, {NotFoundText, 0x30}});
  ExpectInstallationUntouched();
  EXPECT_TRUE(standin::KeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath));
  ExpectNothingLeaked();
}

TEST_F(WholeRun, NoInstalledFilePresentIsNoFailure) {
  standin::Reset();
  standin::SetString(HKEY_LOCAL_MACHINE, UninstallKeyPath, "UninstallString",
                     std::string(InstallDir) + "uninstall.exe");
  standin::SetFolder(CSIDL_PROGRAMS, ProgramsDir);
  standin::SetFolder(CSIDL_DESKTOPDIRECTORY, DesktopDir);
  standin::AddFile(std::string(InstallDir) + "uninstall.exe");  // the folder
  EXPECT_EQ(0, RunWithAnswers({IDYES, IDYES, IDOK}));
  EXPECT_EQ(ReadTrace("no_files_present"), standin::JournalText());
  ExpectDialogs({{ConfirmText, 0x223}, {AskSettingsText, 0x124},
                 {RemovedText, 0x40}});
  ExpectNothingLeaked();
}

// Values that are read but not trusted: the same calls as any refusal, and
// nothing is touched.
TEST_F(WholeRun, UntrustedValuesAreNotFoundAndChangeNothing) {
  const std::string Nul(1, '\0');
  const struct {
    const char *what;
    DWORD type;
    std::string bytes;
  } cases[] = {
      {"no backslash", REG_SZ, "uninstall.exe" + Nul},
      {"relative", REG_SZ, "TAMbirox 2000\\uninstall.exe" + Nul},
      {"unmatched quote", REG_SZ, "\"C:\\Program Files\\TAMbirox 2000\\uninstall.exe" + Nul},
      {"REG_DWORD", REG_DWORD, std::string("\x01\x00\x00\x00", 4)},
      {"260 characters without NUL", REG_SZ,
       "C:\\" + std::string(243, 'x') + "\\uninstall.exe"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    SeedSampleInstallation();
    standin::SetValue(HKEY_LOCAL_MACHINE, UninstallKeyPath, "UninstallString",
                      c.type, c.bytes);
    EXPECT_EQ(0, RunWithAnswers({IDYES, IDOK}));
    EXPECT_EQ(ReadTrace("not_found_value_refused"), standin::JournalText());
    ExpectInstallationUntouched();
    ExpectNothingLeaked();
  }
}

TEST_F(WholeRun, ExpandableValueIsExpandedBeforeUse) {
  standin::SetValue(HKEY_LOCAL_MACHINE, UninstallKeyPath, "UninstallString",
                    REG_EXPAND_SZ,
                    std::string("%ProgramFiles%\\TAMbirox 2000\\uninstall.exe") +
                        std::string(1, '\0'));
  EXPECT_EQ(0, RunWithAnswers({IDYES, IDYES, IDOK}));
  EXPECT_EQ(ReadTrace("full_run_expand_sz"), standin::JournalText());
  ExpectProgramFilesRemoved();
  ExpectSurvivorsKept();
}

TEST_F(WholeRun, ExpansionThatDoesNotFitOrStaysRelativeIsNotFound) {
  const struct {
    const char *trace;
    std::string value;
  } cases[] = {
      {"not_found_expanded_too_long",
       "%ProgramFiles%\\" + std::string(229, 'x') + "\\uninstall.exe"},
      {"not_found_expanded_relative", "%TAMBIROX_UNBEKANNT%\\uninstall.exe"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.trace);
    SeedSampleInstallation();
    standin::SetValue(HKEY_LOCAL_MACHINE, UninstallKeyPath, "UninstallString",
                      REG_EXPAND_SZ, c.value + std::string(1, '\0'));
    EXPECT_EQ(0, RunWithAnswers({IDYES, IDOK}));
    EXPECT_EQ(ReadTrace(c.trace), standin::JournalText());
    ExpectInstallationUntouched();
  }
}

// A file that cannot go (the program still running) stays, the rest goes,
// and the registration is kept for a second run, which finishes the job.
TEST_F(WholeRun, FileLeftBehindKeepsTheRegistrationForASecondRun) {
  const std::string program = std::string(InstallDir) + "tambirox.exe";
  const std::string help = std::string(InstallDir) + "tambirox.hlp";
  standin::ProtectFile(program);
  EXPECT_EQ(0, RunWithAnswers({IDYES, IDYES, IDOK}));
  EXPECT_EQ(ReadTrace("file_left_yes_yes"), standin::JournalText());
  ExpectDialogs({{ConfirmText, 0x223}, {AskSettingsText, 0x124},
                 {PartlyRemovedText, 0x30}});
  EXPECT_TRUE(standin::FileExists(program));
  EXPECT_FALSE(standin::FileExists(help));
  EXPECT_TRUE(standin::KeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath));
  for (const std::string &key : ExpectedSettingsKeys)
    EXPECT_FALSE(standin::KeyExists(HKEY_CURRENT_USER, key)) << key;

  // Held open by another program rather than running: the same.
  standin::LockFile(program);
  RunWithAnswers({IDYES, IDYES, IDOK});
  EXPECT_EQ(PartlyRemovedText, standin::Dialogs().back().text);
  EXPECT_TRUE(standin::KeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath));

  standin::ReleaseFile(program);
  const std::size_t before = standin::Journal().size();
  EXPECT_EQ(0, RunWithAnswers({IDYES, IDYES, IDOK}));
  EXPECT_EQ(ReadTrace("finish_after_file_left"), JournalSince(before));
  EXPECT_EQ(RemovedText, standin::Dialogs().back().text);
  ExpectProgramFilesRemoved();
  ExpectSurvivorsKept();
  ExpectNothingLeaked();
}

// A settings key with a subkey of its own cannot go on NT; its parent stays
// too, but every other listed key is still attempted.
TEST_F(WholeRun, SettingsKeyWithUnlistedSubkeyStaysWithItsParent) {
  standin::CreateKey(HKEY_CURRENT_USER,
                     "Software\\ZORV\\TAMbirox\\Recent File List\\Alt");
  RunWithAnswers({IDYES, IDYES, IDOK});
  EXPECT_TRUE(standin::KeyExists(HKEY_CURRENT_USER,
                                 "Software\\ZORV\\TAMbirox\\Recent File List"));
  EXPECT_TRUE(standin::KeyExists(HKEY_CURRENT_USER, "Software\\ZORV\\TAMbirox"));
  EXPECT_FALSE(
      standin::KeyExists(HKEY_CURRENT_USER, "Software\\ZORV\\TAMbirox\\Tip"));
  EXPECT_FALSE(standin::KeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath));
}

// A folder that cannot be resolved must not make the run delete the other
// folder's shortcut again, or "\TAMbirox2000.lnk" at a drive's root.
TEST_F(WholeRun, UnresolvableFolderSkipsOnlyItsOwnShortcut) {
  struct Case {
    const char *what;
    void (*breakFolder)(int csidl);
  } cases[] = {
      {"unresolvable", standin::SetFolderUnresolvable},
      {"no file-system path", standin::SetFolderWithoutPath},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    SeedSampleInstallation();
    c.breakFolder(CSIDL_DESKTOPDIRECTORY);
    standin::AddFile("C:\\TAMbirox2000.lnk");
    RunWithAnswers({IDYES, IDYES, IDOK});
    int shortcutDeletions = 0;
    for (const std::string &line : standin::Journal())
      if (line.find("TAMbirox2000.lnk") != std::string::npos)
        ++shortcutDeletions;
    EXPECT_EQ(1, shortcutDeletions);
    EXPECT_FALSE(standin::FileExists(std::string(ProgramsDir) +
                                     "\\TAMbirox2000.lnk"));
    EXPECT_TRUE(standin::FileExists("C:\\TAMbirox2000.lnk"));
    EXPECT_EQ(RemovedText, standin::Dialogs().back().text);
    ExpectNothingLeaked();
  }
}

// DLL search. Every loader call comes before the first box (callsBefore 0).
// With SetDefaultDllDirectories, nothing is loaded before it, and shell32
// only after it.
TEST_F(WholeRun, DllSearchIsLimitedToSystem32BeforeAnythingIsLoaded) {
  EXPECT_EQ(0, RunWithAnswers({IDYES, IDYES, IDOK}));
  EXPECT_EQ(ReadTrace("full_run_yes_yes"), standin::JournalText());
  const std::vector<std::string> expected = {
      "GetModuleHandleA(\"kernel32.dll\") -> kernel32.dll",
      "GetProcAddress(kernel32.dll, \"SetDefaultDllDirectories\") -> function",
      "SetDefaultDllDirectories(0x800) -> 1",
      "GetSystemDirectoryA(260) -> 19",
      "LoadLibraryExA(\"C:\\\\Windows\\\\system32\\\\shell32.dll\", NULL, 0x0)"
      " -> shell32.dll",
      "GetProcAddress(shell32.dll, \"SHGetSpecialFolderLocation\") -> function",
      "GetProcAddress(shell32.dll, \"SHGetPathFromIDListA\") -> function",
      "GetProcAddress(shell32.dll, \"ILFree\") -> function",
  };
  std::vector<std::string> calls;
  for (const standin::LoaderCall &call : standin::LoaderCalls()) {
    calls.push_back(call.line);
    EXPECT_EQ(0u, call.callsBefore) << call.line;
  }
  EXPECT_EQ(expected, calls);
}

// Without it (Windows 2000, XP, Vista or 7 without KB2533623): the current
// folder goes where SetDllDirectoryA exists, then the DLLs that Windows' box
// and shell code load by name come from System32, each with its own imports,
// all before the first box. A DLL that the version lacks is skipped.
TEST_F(WholeRun, WithoutTheLimitSystemDllsAreLoadedByFullPathFirst) {
  const std::vector<std::string> loadedByName = {
      "uxtheme.dll", "dwmapi.dll", "version.dll", "userenv.dll",
      "propsys.dll", "cryptbase.dll", "shell32.dll"};
  const struct {
    const char *what;
    bool hasSetDllDirectory;
    std::vector<std::string> missing;
  } cases[] = {
      {"Windows 7 without the update", true, {}},
      {"XP", true, {"dwmapi.dll", "propsys.dll", "cryptbase.dll", "profapi.dll"}},
      {"2000", false, {"dwmapi.dll", "propsys.dll", "cryptbase.dll", "profapi.dll"}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    SeedSampleInstallation();
    standin::RemoveExport("kernel32.dll", "SetDefaultDllDirectories");
    if (!c.hasSetDllDirectory)
      standin::RemoveExport("kernel32.dll", "SetDllDirectoryA");
    for (const std::string &dll : c.missing) standin::RemoveSystemDll(dll);
    EXPECT_EQ(0, RunWithAnswers({IDYES, IDYES, IDOK}));
    EXPECT_EQ(ReadTrace("full_run_yes_yes"), standin::JournalText());

    const std::string load = "LoadLibraryExA(\"C:\\\\Windows\\\\system32\\\\";
    bool dropped = false, loadedBeforeDropping = false;
    std::vector<std::string> loaded;
    for (const standin::LoaderCall &call : standin::LoaderCalls()) {
      EXPECT_EQ(0u, call.callsBefore) << call.line;
      EXPECT_EQ(std::string::npos, call.line.find("SetDefaultDllDirectories("));
      if (call.line == "SetDllDirectoryA(\"\") -> 1") dropped = true;
      if (call.line.find("LoadLibraryExA(") != 0) continue;
      loadedBeforeDropping |= !dropped;
      ASSERT_EQ(0u, call.line.find(load)) << "not by full path: " << call.line;
      EXPECT_NE(std::string::npos, call.line.find(", NULL, 0x8) -> "))
          << "its imports would be searched for in the program's folder: "
          << call.line;
      const std::size_t end = call.line.find('"', load.size());
      loaded.push_back(call.line.substr(load.size(), end - load.size()));
      const bool failed = call.line.find(" -> NULL") != std::string::npos;
      const bool isMissing = std::find(c.missing.begin(), c.missing.end(),
                                       loaded.back()) != c.missing.end();
      EXPECT_EQ(isMissing, failed) << call.line;
    }
    EXPECT_EQ(c.hasSetDllDirectory, dropped);
    EXPECT_FALSE(c.hasSetDllDirectory && loadedBeforeDropping);
    for (const std::string &dll : loadedByName)
      EXPECT_NE(loaded.end(), std::find(loaded.begin(), loaded.end(), dll))
          << dll << " not loaded from System32";
    ExpectProgramFilesRemoved();
    ExpectNothingLeaked();
  }
}

// shell32, or one of its three functions, missing: both shortcuts stay, no
// other shortcut path is tried, and the rest of the run is what it always is.
TEST_F(WholeRun, MissingShell32OrAFunctionOfItSkipsOnlyTheShortcuts) {
  std::string withoutShortcuts;
  std::istringstream golden(ReadTrace("full_run_yes_yes"));
  for (std::string line; std::getline(golden, line);) {
    if (line.find("SHGet") == 0 || line.find("ILFree") == 0 ||
        line.find("TAMbirox2000.lnk") != std::string::npos)
      continue;
    withoutShortcuts += line + "\n";
  }
  const struct {
    const char *dll;
    const char *function;  // null: the whole DLL
  } cases[] = {
      {"shell32.dll", nullptr},
      {"shell32.dll", "SHGetSpecialFolderLocation"},
      {"shell32.dll", "SHGetPathFromIDListA"},
      {"shell32.dll", "ILFree"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.function ? c.function : c.dll);
    SeedSampleInstallation();
    standin::AddFile("C:\\TAMbirox2000.lnk");
    if (c.function)
      standin::RemoveExport(c.dll, c.function);
    else
      standin::RemoveSystemDll(c.dll);
    EXPECT_EQ(0, RunWithAnswers({IDYES, IDYES, IDOK}));
    EXPECT_EQ(withoutShortcuts, standin::JournalText());
    EXPECT_TRUE(standin::FileExists(std::string(ProgramsDir) +
                                    "\\TAMbirox2000.lnk"));
    EXPECT_TRUE(standin::FileExists(std::string(DesktopDir) +
                                    "\\TAMbirox2000.lnk"));
    EXPECT_TRUE(standin::FileExists("C:\\TAMbirox2000.lnk"));
    for (const std::string &name : ExpectedFiles)
      EXPECT_FALSE(standin::FileExists(InstallDir + name)) << name;
    EXPECT_FALSE(standin::KeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath));
    EXPECT_EQ(RemovedText, standin::Dialogs().back().text);
    ExpectNothingLeaked();
  }
}

}  // namespace
