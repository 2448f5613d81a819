#include "sample_installation.h"

#include <fstream>

#include "standin.h"

const char InstallDir[] = "C:\\Program Files\\TAMbirox 2000\\";
const char ProgramsDir[] =
    "C:\\users\\tester\\AppData\\Roaming\\Microsoft\\Windows\\Start "
    "Menu\\Programs";
const char DesktopDir[] = "C:\\users\\tester\\Desktop";
const char UninstallKeyPath[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TAMbirox 2000";

const std::vector<std::string> ExpectedFiles = {
    "tambirox.exe",  "branch.gif",   "branch_last.gif",
    "category_collapsed.gif", "category_expanded.gif", "entry.gif",
    "line.gif",      "minus.gif",    "minus_last.gif",
    "plus.gif",      "plus_last.gif", "space.gif",
    "tambirox.cnt",  "tambirox.hlp", "DHTML Export Template.htm",
    "loading.htm",   "noscript.htm", "welcome.htm",
    "tipps.txt",
};

const std::vector<std::string> ExpectedFileTypeKeys = {
    ".tam",
    "TAMbirox.Datenbank\\shell\\open\\command",
    "TAMbirox.Datenbank\\shell\\open",
    "TAMbirox.Datenbank\\shell",
    "TAMbirox.Datenbank\\DefaultIcon",
    "TAMbirox.Datenbank",
};

const std::vector<std::string> ExpectedSettingsKeys = {
    "Software\\ZORV\\TAMbirox\\cf",
    "Software\\ZORV\\TAMbirox\\CommandBars-Bar0",
    "Software\\ZORV\\TAMbirox\\CommandBars-Bar1",
    "Software\\ZORV\\TAMbirox\\CommandBars-Bar2",
    "Software\\ZORV\\TAMbirox\\CommandBars-Bar3",
    "Software\\ZORV\\TAMbirox\\CommandBars-DockBar0",
    "Software\\ZORV\\TAMbirox\\CommandBars-Options",
    "Software\\ZORV\\TAMbirox\\CommandBars-Summary",
    "Software\\ZORV\\TAMbirox\\Frame",
    "Software\\ZORV\\TAMbirox\\MainFrame",
    "Software\\ZORV\\TAMbirox\\Recent File List",
    "Software\\ZORV\\TAMbirox\\rectMargin",
    "Software\\ZORV\\TAMbirox\\Settings",
    "Software\\ZORV\\TAMbirox\\Tip",
    "Software\\ZORV\\TAMbirox\\TimeAndDate",
    "Software\\ZORV\\TAMbirox\\Toolbars-Bar0",
    "Software\\ZORV\\TAMbirox\\Toolbars-Bar1",
    "Software\\ZORV\\TAMbirox\\Toolbars-Bar2",
    "Software\\ZORV\\TAMbirox\\Toolbars-Bar3",
    "Software\\ZORV\\TAMbirox\\Toolbars-Bar4",
    "Software\\ZORV\\TAMbirox\\Toolbars-Bar5",
    "Software\\ZORV\\TAMbirox\\Toolbars-Bar6",
    "Software\\ZORV\\TAMbirox\\Toolbars-Summary",
    "Software\\ZORV\\TAMbirox\\wndplsearch",
    "Software\\ZORV\\TAMbirox",
};

const std::vector<std::string> SurvivingFiles = {
    std::string(InstallDir) + "uninstall.exe",
    std::string(InstallDir) + "Meine Daten.tam",
    std::string(InstallDir) + "liesmich.txt",
    std::string(ProgramsDir) + "\\Andere Anwendung.lnk",
    std::string(DesktopDir) + "\\Andere Anwendung.lnk",
};

void SeedSampleInstallation() {
  standin::Reset();
  standin::SetEnvironment("ProgramFiles", "C:\\Program Files");
  standin::SetString(HKEY_LOCAL_MACHINE, UninstallKeyPath, "UninstallString",
                     std::string(InstallDir) + "uninstall.exe");
  standin::SetString(HKEY_LOCAL_MACHINE, UninstallKeyPath, "DisplayName",
                     "TAMbirox 2000");

  for (const std::string &name : ExpectedFiles)
    standin::AddFile(InstallDir + name);
  for (const std::string &path : SurvivingFiles) standin::AddFile(path);

  standin::SetFolder(CSIDL_PROGRAMS, ProgramsDir);
  standin::SetFolder(CSIDL_DESKTOPDIRECTORY, DesktopDir);
  standin::AddFile(std::string(ProgramsDir) + "\\TAMbirox2000.lnk");
  standin::AddFile(std::string(DesktopDir) + "\\TAMbirox2000.lnk");

  standin::SetString(HKEY_CLASSES_ROOT, ".tam", "", "TAMbirox.Datenbank");
  standin::SetString(HKEY_CLASSES_ROOT, "TAMbirox.Datenbank", "",
                     "TAMbirox Datenbank");
  standin::SetString(HKEY_CLASSES_ROOT,
                     "TAMbirox.Datenbank\\shell\\open\\command", "",
                     std::string("\"") + InstallDir + "tambirox.exe\" \"%1\"");
  standin::SetString(HKEY_CLASSES_ROOT, "TAMbirox.Datenbank\\DefaultIcon", "",
                     std::string(InstallDir) + "tambirox.exe,1");

  for (const std::string &key : ExpectedSettingsKeys)
    standin::SetString(HKEY_CURRENT_USER, key, "Stand", "1");
  standin::SetString(HKEY_CURRENT_USER, "Software\\ZORV\\Andere", "Stand", "1");
}

std::string ReadTrace(const std::string &name) {
  std::ifstream file(std::string(TRACE_DIR) + "/" + name + ".trace",
                     std::ios::binary);
  std::string text, line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;  // the scenario's notes
    text += line + "\n";
  }
  return text;
}
