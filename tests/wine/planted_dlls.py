"""DLLs planted where an elevated uninstaller must never load one from: its
installation folder and its current folder (winefixture.WORKING_DIR).

One small DLL (planted_dll.c, built here with mingw-w64) is copied under every
name below. Whatever process loads it leaves a line in MARKERS.
"""
import ntpath
import shutil
from pathlib import Path

from winefixture import COMMAND_TIMEOUT, WORKING_DIR, run_bounded

SOURCE = Path(__file__).resolve().parent / "planted_dll.c"
MARKERS = r"C:\planted-dll-markers.txt"

# Every DLL a full run loads under Wine 8.0 (WINEDEBUG=+loaddll), before and
# after the program limits DLL search, from Windows 2000 to 10 ...
LOADED = [
    "advapi32.dll", "combase.dll", "comctl32.dll", "gdi32.dll", "imm32.dll",
    "kernel32.dll", "kernelbase.dll", "msimg32.dll", "msvcrt.dll", "ole32.dll",
    "rpcrt4.dll", "sechost.dll", "shcore.dll", "shell32.dll", "shlwapi.dll",
    "ucrtbase.dll", "user32.dll", "uxtheme.dll", "version.dll", "win32u.dll",
    "winex11.drv", "zlib1.dll",
]
# ... and the names Windows' own code loads by name that DLL planting has
# used (Windows 2000 to 11), with the mingw-w64 runtime's.
USUAL_TARGETS = [
    "apphelp.dll", "bcrypt.dll", "clbcatq.dll", "coremessaging.dll",
    "crypt32.dll", "cryptbase.dll", "cryptsp.dll", "dbghelp.dll", "dwmapi.dll",
    "edputil.dll", "iphlpapi.dll", "kernel.appcore.dll", "msctf.dll",
    "netapi32.dll", "ntmarta.dll", "oleacc.dll", "oleaut32.dll", "powrprof.dll",
    "profapi.dll", "propsys.dll", "secur32.dll", "setupapi.dll", "sspicli.dll",
    "textinputframework.dll", "uiautomationcore.dll", "userenv.dll",
    "windows.storage.dll", "winmm.dll", "wintrust.dll", "wtsapi32.dll",
    "libgcc_s_dw2-1.dll", "libstdc++-6.dll", "libwinpthread-1.dll",
]
NAMES = LOADED + USUAL_TARGETS


def marker_dll(session) -> Path:
    """The DLL, built once per session."""
    dll = session.root / "planted.dll"
    if not dll.exists():
        run_bounded(["i686-w64-mingw32-gcc", "-Os", "-s", "-shared", "-nostdlib",
                     "-Wl,--entry,_DllMain@12", "-Wl,--kill-at", "-o", str(dll),
                     str(SOURCE), "-lkernel32"],
                    None, COMMAND_TIMEOUT, session.root / "planted.log")
    return dll


def plant(p) -> None:
    """Copies the DLL under every name into both folders of a seeded prefix,
    after proving that it marks when loaded."""
    dll = marker_dll(p.session)
    install_dir = ntpath.dirname(p.installation.exe_path)
    control = install_dir + r"\planted-control.dll"
    shutil.copyfile(dll, p.host_path(control))
    rc, _ = p.wine(["rundll32", control + ",Mark"])
    if rc != 0 or control not in markers(p):
        raise AssertionError("the planted DLL left no marker when loaded on purpose: %r"
                             % markers(p))
    p.host_path(control).unlink()
    p.host_path(MARKERS).unlink()
    for folder in (install_dir, WORKING_DIR):
        for name in NAMES:
            shutil.copyfile(dll, p.host_path(folder + "\\" + name))


def markers(p) -> str:
    """What loaded the planted DLL so far: empty when nothing did."""
    path = p.host_path(MARKERS)
    return path.read_text(encoding="latin-1") if path.exists() else ""

