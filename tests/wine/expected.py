"""What the tests expect, written out in full (not taken from the seeding code).

Paths are Windows paths in the test prefix, whose user is "tester".
"""

from pathlib import Path
from typing import List

# Golden call traces, shared with the host tests (tests/host/whole_run_test.cpp).
TRACE_DIR = Path(__file__).resolve().parents[1] / "traces"

INSTALL_DIR = r"C:\Program Files\TAMbirox 2000"
# A 32-bit installer's folder on a 64-bit Windows.
INSTALL_DIR_X86 = r"C:\Program Files (x86)\TAMbirox 2000"
PROGRAMS = r"C:\users\tester\AppData\Roaming\Microsoft\Windows\Start Menu\Programs"
DESKTOP = r"C:\users\tester\Desktop"

# The boxes as the probe reports them; "\u00f6" is the "ö" of the texts.
CONFIRM_BOX = {
    "text": "M\u00f6chten Sie TAMbirox 2000 wirklich von diesem PC entfernen?",
    "buttons": ["yes", "no", "cancel"],
    "default": "cancel",
    "icon": "question",
}
NOT_FOUND_BOX = {
    "text": "Es konnte keine TAMbirox 2000 Installation gefunden werden.",
    "buttons": ["ok"],
    "default": "ok",
    "icon": "warning",
}
SETTINGS_BOX = {
    "text": "M\u00f6chten Sie auch die Programm-Einstellungen aus der Registry l\u00f6schen?",
    "buttons": ["yes", "no"],
    "default": "no",
    "icon": "question",
}
REMOVED_BOX = {
    "text": "TAMbirox 2000 wurde erfolgreich entfernt.",
    "buttons": ["ok"],
    "default": "ok",
    "icon": "information",
}
# "\u00fc" is "ü", "\u00df" is "ß".
PARTLY_REMOVED_BOX = {
    "text": "Einige Dateien von TAMbirox 2000 konnten nicht entfernt werden, weil sie noch "
            "verwendet werden oder gesch\u00fctzt sind. Schlie\u00dfen Sie TAMbirox 2000 und "
            "starten Sie die Deinstallation erneut.",
    "buttons": ["ok"],
    "default": "ok",
    "icon": "warning",
}

PRODUCT_FILES = [
    INSTALL_DIR + r"\tambirox.exe",
    INSTALL_DIR + r"\branch.gif",
    INSTALL_DIR + r"\branch_last.gif",
    INSTALL_DIR + r"\category_collapsed.gif",
    INSTALL_DIR + r"\category_expanded.gif",
    INSTALL_DIR + r"\entry.gif",
    INSTALL_DIR + r"\line.gif",
    INSTALL_DIR + r"\minus.gif",
    INSTALL_DIR + r"\minus_last.gif",
    INSTALL_DIR + r"\plus.gif",
    INSTALL_DIR + r"\plus_last.gif",
    INSTALL_DIR + r"\space.gif",
    INSTALL_DIR + r"\tambirox.cnt",
    INSTALL_DIR + r"\tambirox.hlp",
    INSTALL_DIR + r"\DHTML Export Template.htm",
    INSTALL_DIR + r"\loading.htm",
    INSTALL_DIR + r"\noscript.htm",
    INSTALL_DIR + r"\welcome.htm",
    INSTALL_DIR + r"\tipps.txt",
]
SHORTCUTS = [
    PROGRAMS + r"\TAMbirox2000.lnk",
    DESKTOP + r"\TAMbirox2000.lnk",
]
# Seeded next to the product's files; no run may remove them.
OTHER_FILES = [
    INSTALL_DIR + r"\uninstall.exe",
    INSTALL_DIR + r"\Meine Daten.tam",
    INSTALL_DIR + r"\Liesmich.txt",
    PROGRAMS + r"\ZORV Kalender.lnk",
    DESKTOP + r"\ZORV Kalender.lnk",
    r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\TAMbirox2000.lnk",
    r"C:\users\Public\Desktop\TAMbirox2000.lnk",
]

# What a complete run leaves in the installation folder: the user's files and
# the uninstaller itself (names as the folder lists them).
LEFT_IN_INSTALL_DIR = ["Liesmich.txt", "Meine Daten.tam", "uninstall.exe"]

FILE_TYPE_KEYS = [
    r"HKCR\.tam",
    r"HKCR\TAMbirox.Datenbank\shell\open\command",
    r"HKCR\TAMbirox.Datenbank\shell\open",
    r"HKCR\TAMbirox.Datenbank\shell",
    r"HKCR\TAMbirox.Datenbank\DefaultIcon",
    r"HKCR\TAMbirox.Datenbank",
]
SETTINGS_KEYS = [
    r"HKCU\Software\ZORV\TAMbirox\cf",
    r"HKCU\Software\ZORV\TAMbirox\CommandBars-Bar0",
    r"HKCU\Software\ZORV\TAMbirox\CommandBars-Bar1",
    r"HKCU\Software\ZORV\TAMbirox\CommandBars-Bar2",
    r"HKCU\Software\ZORV\TAMbirox\CommandBars-Bar3",
    r"HKCU\Software\ZORV\TAMbirox\CommandBars-DockBar0",
    r"HKCU\Software\ZORV\TAMbirox\CommandBars-Options",
    r"HKCU\Software\ZORV\TAMbirox\CommandBars-Summary",
    r"HKCU\Software\ZORV\TAMbirox\Frame",
    r"HKCU\Software\ZORV\TAMbirox\MainFrame",
    r"HKCU\Software\ZORV\TAMbirox\Recent File List",
    r"HKCU\Software\ZORV\TAMbirox\rectMargin",
    r"HKCU\Software\ZORV\TAMbirox\Settings",
    r"HKCU\Software\ZORV\TAMbirox\Tip",
    r"HKCU\Software\ZORV\TAMbirox\TimeAndDate",
    r"HKCU\Software\ZORV\TAMbirox\Toolbars-Bar0",
    r"HKCU\Software\ZORV\TAMbirox\Toolbars-Bar1",
    r"HKCU\Software\ZORV\TAMbirox\Toolbars-Bar2",
    r"HKCU\Software\ZORV\TAMbirox\Toolbars-Bar3",
    r"HKCU\Software\ZORV\TAMbirox\Toolbars-Bar4",
    r"HKCU\Software\ZORV\TAMbirox\Toolbars-Bar5",
    r"HKCU\Software\ZORV\TAMbirox\Toolbars-Bar6",
    r"HKCU\Software\ZORV\TAMbirox\Toolbars-Summary",
    r"HKCU\Software\ZORV\TAMbirox\wndplsearch",
    r"HKCU\Software\ZORV\TAMbirox",
]
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TAMbirox 2000"
# Seeded next to the product's keys; no run may remove them.
OTHER_KEYS = [
    r"HKCU\Software\ZORV",
    r"HKCU\Software\ZORV\Kalender\Settings",
    r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall",
    r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZORV Kalender",
]

ALL_FILES = PRODUCT_FILES + SHORTCUTS + OTHER_FILES
ALL_KEYS = FILE_TYPE_KEYS + SETTINGS_KEYS + [UNINSTALL_KEY] + OTHER_KEYS


def box_summary(box: dict) -> dict:
    """The parts of a probe report that the boxes above state."""
    return {k: box[k] for k in ("text", "buttons", "default", "icon")}


def in_folder(install_dir: str, paths: List[str]) -> List[str]:
    """The same paths, with install_dir as the installation's folder instead of INSTALL_DIR."""
    return [install_dir + path[len(INSTALL_DIR):] if path.startswith(INSTALL_DIR + "\\")
            else path for path in paths]


def golden_trace(name: str, install_dir: str = INSTALL_DIR) -> List[str]:
    """tests/traces/NAME.trace without its '#' notes and blank lines.

    With install_dir, the installation's files are in that folder instead
    (the traces show them in INSTALL_DIR); every other call is the same.
    """
    text = (TRACE_DIR / (name + ".trace")).read_text(encoding="latin-1")
    lines = [line for line in text.splitlines() if line and not line.startswith("#")]
    # In the traces a backslash is written \\.
    old, new = (folder.replace("\\", "\\\\") + "\\\\" for folder in (INSTALL_DIR, install_dir))
    return [line.replace(old, new) for line in lines]
