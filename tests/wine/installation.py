"""What a TAMbirox 2000 installation leaves on a machine, for seeding a prefix.

An `Installation` describes one: the uninstall registration, the installed
files, the shortcuts, the file-type and settings keys, and things next to them
that belong to others and must survive. `registry_text()` renders its keys as
one .reg file (imported with a single regedit call); `file_layout()` lists the
files to write into drive_c.

These lists describe the seed, not the expectations: tests state what must be
gone or kept in their own words.
"""

from dataclasses import dataclass, field
from typing import Any, Dict, List, Optional, Tuple

INSTALL_DIR = r"C:\Program Files\TAMbirox 2000"
# Where a 32-bit installer puts it on a 64-bit Windows.
INSTALL_DIR_X86 = r"C:\Program Files (x86)\TAMbirox 2000"

# Windows paths in the prefix; fixed because the fixture fixes the user name.
USER_NAME = "tester"
PROGRAMS_DIR = r"C:\users\tester\AppData\Roaming\Microsoft\Windows\Start Menu\Programs"
DESKTOP_DIR = r"C:\users\tester\Desktop"
COMMON_PROGRAMS_DIR = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs"
COMMON_DESKTOP_DIR = r"C:\users\Public\Desktop"

UNINSTALL_KEY = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\TAMbirox 2000"

PRODUCT_FILES = (
    "tambirox.exe", "branch.gif", "branch_last.gif", "category_collapsed.gif",
    "category_expanded.gif", "entry.gif", "line.gif", "minus.gif", "minus_last.gif",
    "plus.gif", "plus_last.gif", "space.gif", "tambirox.cnt", "tambirox.hlp",
    "DHTML Export Template.htm", "loading.htm", "noscript.htm", "welcome.htm",
    "tipps.txt",
)

SETTINGS_SUBKEYS = (
    "cf", "CommandBars-Bar0", "CommandBars-Bar1", "CommandBars-Bar2", "CommandBars-Bar3",
    "CommandBars-DockBar0", "CommandBars-Options", "CommandBars-Summary", "Frame",
    "MainFrame", "Recent File List", "rectMargin", "Settings", "Tip", "TimeAndDate",
    "Toolbars-Bar0", "Toolbars-Bar1", "Toolbars-Bar2", "Toolbars-Bar3", "Toolbars-Bar4",
    "Toolbars-Bar5", "Toolbars-Bar6", "Toolbars-Summary", "wndplsearch",
)


@dataclass(frozen=True)
class RegValue:
    """A registry value: its type and its bytes exactly as stored."""

    reg_type: int
    data: bytes
    # regedit adds a NUL to string data that lacks one; such values are
    # written afterwards through RegSetValueExW (wine_probe setvalue).
    via_api: bool = False

    @staticmethod
    def sz(text: str) -> "RegValue":
        return RegValue(1, (text + "\0").encode("utf-16-le"))

    @staticmethod
    def expand_sz(text: str) -> "RegValue":
        return RegValue(2, (text + "\0").encode("utf-16-le"))

    @staticmethod
    def dword(number: int) -> "RegValue":
        return RegValue(4, number.to_bytes(4, "little"))

    @staticmethod
    def sz_without_nul(text: str) -> "RegValue":
        return RegValue(1, text.encode("utf-16-le"), via_api=True)

    def reg_data(self) -> str:
        """The part after '=' in a .reg line: readable where that loses nothing."""
        text = self.data.decode("utf-16-le", errors="replace")
        if self.reg_type == 1 and text.endswith("\0") and "\0" not in text[:-1]:
            return reg_quote(text[:-1])
        if self.reg_type == 4 and len(self.data) == 4:
            return "dword:%08x" % int.from_bytes(self.data, "little")
        return "hex(%x):" % self.reg_type + ",".join("%02x" % b for b in self.data)


def reg_quote(text: str) -> str:
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def reg_name(name: str) -> str:
    return "@" if name == "" else reg_quote(name)


def reg_file(keys: Dict[str, Dict[str, RegValue]]) -> str:
    """A .reg file (version 5) with every value regedit can store as is."""
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key, values in keys.items():
        lines.append("[%s]" % key)
        lines += ["%s=%s" % (reg_name(n), v.reg_data())
                  for n, v in values.items() if not v.via_api]
        lines.append("")
    return "\r\n".join(lines) + "\r\n"


_IN_INSTALL_DIR: Any = object()  # default: <install_dir>\uninstall.exe


@dataclass
class Installation:
    """One machine's state before the uninstaller runs; defaults: complete."""

    install_dir: str = INSTALL_DIR
    uninstall_key: bool = True
    # None leaves the value out of an existing key.
    uninstall_string: Optional[RegValue] = _IN_INSTALL_DIR
    product_files: Tuple[str, ...] = PRODUCT_FILES
    shortcuts: bool = True
    file_type_keys: bool = True
    settings_keys: bool = True
    # Where the program under test is copied to and started from.
    exe_path: str = _IN_INSTALL_DIR
    # More keys, e.g. Wine's own (HKEY_CURRENT_USER\Software\Wine\Debug).
    extra_keys: Dict[str, Dict[str, RegValue]] = field(default_factory=dict)

    def __post_init__(self) -> None:
        own_exe = self.install_dir + r"\uninstall.exe"
        if self.uninstall_string is _IN_INSTALL_DIR:
            self.uninstall_string = RegValue.sz(own_exe)
        if self.exe_path is _IN_INSTALL_DIR:
            self.exe_path = own_exe

    def registry(self) -> Dict[str, Dict[str, RegValue]]:
        keys: Dict[str, Dict[str, RegValue]] = {}
        exe = self.install_dir + r"\tambirox.exe"
        if self.uninstall_key:
            values = {
                "DisplayName": RegValue.sz("TAMbirox 2000"),
                "DisplayVersion": RegValue.sz("2000"),
                "Publisher": RegValue.sz("ZORV"),
                "DisplayIcon": RegValue.sz(exe + ",0"),
            }
            if self.uninstall_string is not None:
                values["UninstallString"] = self.uninstall_string
            keys[UNINSTALL_KEY] = values
        # Another product's registration, which must survive.
        keys[r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZORV Kalender"] = {
            "DisplayName": RegValue.sz("ZORV Kalender"),
            "UninstallString": RegValue.sz(r"C:\Program Files\ZORV Kalender\uninstall.exe"),
        }
        if self.file_type_keys:
            cls = r"HKEY_CLASSES_ROOT\TAMbirox.Datenbank"
            keys[r"HKEY_CLASSES_ROOT\.tam"] = {"": RegValue.sz("TAMbirox.Datenbank")}
            keys[cls] = {"": RegValue.sz("TAMbirox Datenbank")}
            keys[cls + r"\DefaultIcon"] = {"": RegValue.sz(exe + ",1")}
            keys[cls + r"\shell"] = {"": RegValue.sz("open")}
            keys[cls + r"\shell\open"] = {"": RegValue.sz("&\u00d6ffnen")}
            keys[cls + r"\shell\open\command"] = {"": RegValue.sz('"%s" "%%1"' % exe)}
        if self.settings_keys:
            base = r"HKEY_CURRENT_USER\Software\ZORV\TAMbirox"
            keys[base] = {"Version": RegValue.dword(2000)}
            for sub in SETTINGS_SUBKEYS:
                keys[base + "\\" + sub] = {"Value": RegValue.sz(sub)}
            keys[base + r"\Recent File List"]["File1"] = RegValue.sz(
                self.install_dir + r"\Meine Daten.tam")
        # The maker's other product, under the same maker key: must survive.
        keys[r"HKEY_CURRENT_USER\Software\ZORV\Kalender\Settings"] = {"Farbe": RegValue.dword(3)}
        keys.update(self.extra_keys)
        return keys

    def registry_text(self) -> str:
        return reg_file(self.registry())

    def api_values(self) -> List[Tuple[str, str, RegValue]]:
        """(key, name, value) of the values to write through the API instead."""
        return [(k, n, v) for k, values in self.registry().items()
                for n, v in values.items() if v.via_api]

    def file_layout(self) -> List[Tuple[str, bytes]]:
        """(Windows path, content) of every file to create, the exe aside."""
        files = [(self.install_dir + "\\" + name, b"TAMbirox 2000: " + name.encode())
                 for name in self.product_files]
        # Files in the installation directory that are not the product's.
        files.append((self.install_dir + r"\Meine Daten.tam", b"TAMDB user data"))
        files.append((self.install_dir + r"\Liesmich.txt", b"Bitte lesen."))
        if self.shortcuts:
            for folder in (PROGRAMS_DIR, DESKTOP_DIR):
                files.append((folder + r"\TAMbirox2000.lnk", b"L\0\0\0 shortcut"))
        for folder in (PROGRAMS_DIR, DESKTOP_DIR):
            files.append((folder + r"\ZORV Kalender.lnk", b"L\0\0\0 other shortcut"))
        # The same name in the folders shared by all users is not the user's.
        for folder in (COMMON_PROGRAMS_DIR, COMMON_DESKTOP_DIR):
            files.append((folder + r"\TAMbirox2000.lnk", b"L\0\0\0 common shortcut"))
        return files


@dataclass
class Installation64:
    """The other view of a 64-bit Windows, for a 32-bit Installation next to it.

    The same uninstall key path in the 64-bit view (as a 64-bit build of the
    product would leave it) names a folder of its own, which holds the 19
    files, and has a value the 32-bit key has not. A program that looked in
    the wrong view would find this one and delete in its folder.
    """

    install_dir: str = INSTALL_DIR

    def registry(self) -> Dict[str, Dict[str, RegValue]]:
        return {UNINSTALL_KEY: {
            "DisplayName": RegValue.sz("TAMbirox 2000 (64-Bit)"),
            "UninstallString": RegValue.sz(self.install_dir + r"\uninstall.exe"),
            "Ansicht": RegValue.sz("64-Bit"),
        }}

    def registry_text(self) -> str:
        return reg_file(self.registry())

    def file_layout(self) -> List[Tuple[str, bytes]]:
        return [(self.install_dir + "\\" + name, b"TAMbirox 2000 (64-Bit): " + name.encode())
                for name in PRODUCT_FILES]
