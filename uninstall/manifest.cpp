#include "manifest.h"

const RegistryValue UninstallKey = {
    HKEY_LOCAL_MACHINE,
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TAMbirox 2000",
    "UninstallString",
};

const char *const InstalledFiles[InstalledFileCount] = {
    "tambirox.exe",
    "branch.gif",
    "branch_last.gif",
    "category_collapsed.gif",
    "category_expanded.gif",
    "entry.gif",
    "line.gif",
    "minus.gif",
    "minus_last.gif",
    "plus.gif",
    "plus_last.gif",
    "space.gif",
    "tambirox.cnt",
    "tambirox.hlp",
    "DHTML Export Template.htm",
    "loading.htm",
    "noscript.htm",
    "welcome.htm",
    "tipps.txt",
};

const char ShortcutName[] = "\\TAMbirox2000.lnk";

const int ShortcutFolders[ShortcutFolderCount] = {
    CSIDL_PROGRAMS,
    CSIDL_DESKTOPDIRECTORY,
};

const char *const FileTypeKeys[FileTypeKeyCount] = {
    ".tam",
    "TAMbirox.Datenbank\\shell\\open\\command",
    "TAMbirox.Datenbank\\shell\\open",
    "TAMbirox.Datenbank\\shell",
    "TAMbirox.Datenbank\\DefaultIcon",
    "TAMbirox.Datenbank",
};

const char *const SettingsKeys[SettingsKeyCount] = {
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
