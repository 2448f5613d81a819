#!/usr/bin/python3
"""Runs uninstall.exe on a sample TAMbirox 2000 installation in a throwaway Wine
prefix and prints what happened. Started by scripts/demo.sh, which installs
what is missing first; see `bash scripts/demo.sh --help`.

The prefix, the installation and the box driving come from the end-to-end
fixture in tests/wine; this file adds the pictures, the before/after table
and the watching of boxes a person answers.
"""

import argparse
import contextlib
import io
import os
import re
import shutil
import signal
import subprocess
import sys
import threading
import time
from pathlib import Path
from typing import Dict, List, Optional, Tuple

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tests" / "wine"))
sys.path.insert(0, str(REPO / "tools" / "emulated_wine"))
sys.dont_write_bytecode = True    # no __pycache__ left in the source tree by a demo

import expected  # noqa: E402  (after the path above)
import winefixture  # noqa: E402
import emulated_wine  # noqa: E402
from installation import Installation, RegValue  # noqa: E402

DEFAULT_PICTURES = Path("/tmp/tambirox-demo-pictures")
DOCS = REPO / "docs"
BUILD_LOG = REPO / "build" / "demo-build.log"
WINE_FONTS = Path("/usr/share/wine/fonts")

# The boxes the program has, and the file name of each one's picture.
PICTURES = (
    (expected.CONFIRM_BOX, "MsgConfirmRemoval"),
    (expected.NOT_FOUND_BOX, "MsgNotFound"),
    (expected.SETTINGS_BOX, "MsgAskSettings"),
    (expected.REMOVED_BOX, "MsgRemoved"),
    (expected.PARTLY_REMOVED_BOX, "MsgPartlyRemoved"),
)
DOC_PICTURES = [name + ".png" for _, name in PICTURES]

LABELS = {"yes": "Yes", "no": "No", "cancel": "Cancel", "ok": "OK"}
# What MessageBoxA returned; Esc and the title bar's X also give IDCANCEL.
RETURNS = {1: "OK", 2: "Cancel", 6: "Yes", 7: "No"}
RELAY_RETURN = re.compile(r"Ret\s+user32\.MessageBoxA\(\) retval=([0-9a-fA-F]+)")

# --windows: the prefix kind, where the 32-bit installer put the product, and
# what to call it. Nearly every Windows 10 and every Windows 11 is 64-bit, and
# there the program runs under WOW64.
WINDOWS = {
    "x64": ("win64", expected.INSTALL_DIR_X86, "64-bit Windows, the program under WOW64"),
    "x86": ("win32", expected.INSTALL_DIR, "32-bit Windows"),
}

# In the emulated machine Wine steps take several times as long (TIME_SCALE).
BOX_APPEARS = 20 * winefixture.TIME_SCALE     # s until the next box shows up
PERSON_ANSWERS = 600      # s a person gets for one box with --show
RETURN_SEEN = 10 * winefixture.TIME_SCALE     # s until the program has the answer of a clicked box
X_TOOL_TIMEOUT = 20 * winefixture.TIME_SCALE  # s for one import or xdotool call
# Where the kernel runs no 32-bit code, the demo runs in an emulated machine.
EMULATED = ["bash", str(REPO / "scripts" / "wine_machine.sh")]


def say(text: str = "", end: str = "\n") -> None:
    sys.stdout.write(text + end)
    sys.stdout.flush()


class Step:
    """One line of progress: the text, a dot a second while it runs, its time."""

    def __init__(self, text: str):
        self.text = text

    def __enter__(self) -> "Step":
        self.start = time.monotonic()
        say("%s ..." % self.text, end="")
        self._stop = threading.Event()
        self._ticker = threading.Thread(target=self._tick, daemon=True)
        self._ticker.start()
        return self

    def _tick(self) -> None:
        while not self._stop.wait(1.0):
            say(".", end="")

    def __exit__(self, exc_type, exc, tb) -> None:
        self._stop.set()
        self._ticker.join()
        took = time.monotonic() - self.start
        say(" %s (%.1f s)" % ("done" if exc_type is None else "FAILED", took))


class DemoError(RuntimeError):
    pass


# ---------------------------------------------------------------- options

def parse_args(argv: List[str]) -> argparse.Namespace:
    parser = argparse.ArgumentParser(
        prog="bash scripts/demo.sh",
        formatter_class=argparse.RawDescriptionHelpFormatter,
        description=(
            "Builds uninstall.exe, makes a sample TAMbirox 2000 installation in a\n"
            "throwaway Wine prefix (never ~/.wine), runs the uninstaller on it and\n"
            "prints each message box, the answer it got, and a before/after table of\n"
            "the program files, shortcuts, file-type keys, settings keys and the\n"
            "uninstall key, then the exit code. Installs what is missing first\n"
            "(scripts/setup.sh, plus fonts-wine and xdotool for the pictures).\n"
            "\n"
            "By default it runs headless on an Xvfb of its own and answers Yes to\n"
            "both questions. It takes a PNG picture of every box it shows."),
        epilog=(
            "examples:\n"
            "  bash scripts/demo.sh                      Yes, Yes: everything removed\n"
            "  bash scripts/demo.sh --settings no        settings keys kept\n"
            "  bash scripts/demo.sh --confirm cancel     nothing changed\n"
            "  bash scripts/demo.sh --no-installation    the \"not found\" warning\n"
            "  bash scripts/demo.sh --in-use             TAMbirox 2000 still open\n"
            "  bash scripts/demo.sh --show               the real boxes on your screen\n"
            "  bash scripts/demo.sh --windows x86        on a 32-bit Windows\n"
            "  bash scripts/demo.sh --update-docs        new docs/Msg*.png"))
    parser.add_argument(
        "--confirm", choices=("yes", "no", "cancel"),
        help="answer to \"Möchten Sie TAMbirox 2000 wirklich ... entfernen?\" "
             "(default yes; no and cancel end the program with nothing changed)")
    parser.add_argument(
        "--settings", choices=("yes", "no"),
        help="answer to \"Möchten Sie auch die Programm-Einstellungen ... löschen?\" "
             "(default yes; no keeps the 25 keys under HKCU\\Software\\ZORV\\TAMbirox)")
    parser.add_argument(
        "--no-installation", action="store_true",
        help="run on a prefix where TAMbirox 2000 is not installed: after Yes the "
             "program says it found no installation")
    parser.add_argument(
        "--in-use", action="store_true",
        help="start TAMbirox 2000's program from the installation folder first, as a "
             "user who left it open (a stand-in: the tests' wine_probe as tambirox.exe): "
             "its file stays, and the program says so and keeps the uninstall key")
    parser.add_argument(
        "--show", action="store_true",
        help="show the boxes on your X display ($DISPLAY) in a Wine desktop window "
             "and let you click them; the demo only watches (still a throwaway prefix and "
             "scratch HOME; not with --confirm/--settings)")
    parser.add_argument(
        "--windows", choices=tuple(WINDOWS), default="x64",
        help="x64 (default): a 64-bit Windows, as nearly every Windows 10 and 11 is; the "
             "32-bit program runs under WOW64 and the product is in C:\\Program Files (x86). "
             "x86: a 32-bit Windows, the product in C:\\Program Files")
    parser.add_argument(
        "--pictures", metavar="DIR", type=Path, default=DEFAULT_PICTURES,
        help="folder for the PNG pictures of the boxes (default %s)" % DEFAULT_PICTURES)
    parser.add_argument(
        "--keep", action="store_true",
        help="keep the Wine prefix (and its scratch HOME and logs) and print where it is")
    parser.add_argument(
        "--update-docs", action="store_true",
        help="three headless runs (complete installation with Yes/Yes, the same with "
             "TAMbirox 2000 open, then none) that write the five pictures docs/%s"
             % ", docs/".join(DOC_PICTURES))
    # scripts/demo.sh checks the options before it installs anything.
    parser.add_argument("--check-args", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args(argv)

    if args.show:
        if args.confirm or args.settings:
            parser.error("--show lets you answer: leave out --confirm and --settings")
        if not os.environ.get("DISPLAY"):
            parser.error("--show needs an X display: $DISPLAY is not set")
    if args.update_docs and (args.show or args.confirm or args.settings or args.no_installation
                             or args.in_use):
        parser.error("--update-docs makes its own two runs: use it alone "
                     "(with --pictures or --keep if you like)")
    if (args.show or args.keep) and emulated():
        parser.error("%s: Wine runs only in an emulated machine here, whose screen and "
                     "files are gone when it ends" % ("--show" if args.show else "--keep"))
    if args.no_installation and args.in_use:
        parser.error("--in-use needs an installation: leave out --no-installation")
    if args.no_installation and args.settings:
        parser.error("--settings has no effect with --no-installation: "
                     "that question is not asked")
    args.confirm = args.confirm or "yes"
    args.settings = args.settings or "yes"
    return args


# ---------------------------------------------------------------- building

def emulated() -> bool:
    return subprocess.run(EMULATED, capture_output=True, text=True, check=True,
                          timeout=60).stdout.strip() == "emulated"


def run_emulated(argv: List[str], args: argparse.Namespace) -> int:
    """The whole demo, built here and run in the emulated machine.

    The machine writes the pictures (and docs/) straight into this host's folders.
    """
    exe, probe = executables(BUILD_LOG)
    pictures = args.pictures.resolve()
    clear_old_pictures(pictures)
    writable = [pictures] + ([DOCS] if args.update_docs else [])
    return emulated_wine.run(["/usr/bin/python3", str(Path(__file__).resolve())] + argv
                             + ["--pictures", str(pictures)],
                             writable=writable, env={winefixture.EXE_VAR: str(exe),
                                                     winefixture.PROBE_VAR: str(probe)})


def executables(step_log: Path) -> Tuple[Path, Path]:
    """uninstall.exe and wine_probe.exe: given by CTest, else built here."""
    given = [os.environ.get(winefixture.EXE_VAR), os.environ.get(winefixture.PROBE_VAR)]
    if all(given):
        say("Using %s and %s (given by %s and %s; no build)"
            % (given[0], given[1], winefixture.EXE_VAR, winefixture.PROBE_VAR))
        return winefixture.built_executables()
    step_log.parent.mkdir(parents=True, exist_ok=True)
    with Step("Building uninstall.exe and wine_probe.exe (cmake, windows preset)"), \
            open(step_log, "wb") as log:
        for cmd in (["cmake", "--preset", "windows"],
                    ["cmake", "--build", "--preset", "windows", "--target", "uninstall",
                     "wine_probe"]):
            log.write(("$ %s\n" % " ".join(cmd)).encode())
            log.flush()
            try:
                rc = subprocess.run(cmd, cwd=REPO, stdin=subprocess.DEVNULL, stdout=log,
                                    stderr=subprocess.STDOUT, timeout=900).returncode
            except subprocess.TimeoutExpired:
                rc = "a timeout"
            if rc != 0:
                raise DemoError("%s failed with %s; its output is in %s:\n%s"
                                % (" ".join(cmd), rc, step_log, tail(step_log)))
    return winefixture.DEFAULT_EXE, winefixture.DEFAULT_PROBE


def tail(path: Path, lines: int = 25) -> str:
    text = path.read_text(encoding="utf-8", errors="replace").splitlines()
    return "\n".join(text[-lines:])


# ---------------------------------------------------------------- the X side

class Screen:
    """The Wine desktop window of one prefix on the X display: pictures, clicks.

    Box rectangles from the probe are in Windows screen coordinates, whose
    origin is the virtual desktop's top-left corner; the desktop is one X
    window (at +0+0 on the demo's Xvfb, anywhere under a window manager), so
    pictures are taken from that window and clicks aimed relative to it.
    """

    def __init__(self, x_display: str, desktop_name: str):
        self.env = dict(os.environ, DISPLAY=x_display)
        self.desktop_name = desktop_name
        self.window: Optional[str] = None

    def _run(self, cmd: List[str]) -> subprocess.CompletedProcess:
        try:
            return subprocess.run(cmd, env=self.env, stdin=subprocess.DEVNULL,
                                  capture_output=True, timeout=X_TOOL_TIMEOUT)
        except subprocess.TimeoutExpired:
            return subprocess.CompletedProcess(cmd, -1, b"", b"")

    def find_desktop(self, timeout: float = 10.0 * winefixture.TIME_SCALE) -> bool:
        """Looks up the X window titled '<desktop name> - Wine desktop'."""
        pattern = "^%s - " % re.escape(self.desktop_name)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = self._run(["xdotool", "search", "--name", pattern])
            ids = found.stdout.decode().split()
            if found.returncode == 0 and ids:
                self.window = ids[0]
                return True
            time.sleep(0.2)
        return False

    def activate(self, rect: List[int]) -> None:
        """Clicks the desktop, then an empty spot of the box.

        Under Wine the first box of a process comes up with a grey (inactive)
        title bar, unlike on Windows; a click on the desktop and back on the
        box gives it the active look. The spot is left of and below the
        buttons, inside the frame, so it answers nothing.
        """
        left, _, _, bottom = rect
        self._run(["xdotool", "mousemove", "--window", self.window, "2", "2", "click", "1",
                   "sleep", "0.3",
                   "mousemove", "--window", self.window, str(left + 8), str(bottom - 8),
                   "click", "1"])

    def grab(self, rect: List[int], target: Path) -> bool:
        left, top, right, bottom = rect
        geometry = "%dx%d+%d+%d" % (right - left, bottom - top, left, top)
        # Without the date chunks, equal pixels give equal files (and no
        # needless change in docs/).
        done = self._run(["import", "-window", self.window, "-crop", geometry, "+repage",
                          "-strip", "-define", "png:exclude-chunks=date,time",
                          "png:%s" % target])
        return done.returncode == 0 and target.is_file()

    def picture(self, rect: List[int], target: Path) -> bool:
        """Takes the box's picture once two grabs in a row agree (painting is done)."""
        if self.window is None:
            return False
        previous = target.with_suffix(".grab.png")
        taken = False
        try:
            if not self.grab(rect, previous):
                return False
            for _ in range(15):
                time.sleep(0.15)
                if not self.grab(rect, target):
                    return False
                if target.read_bytes() == previous.read_bytes():
                    break
                shutil.copyfile(target, previous)
            taken = True    # after 15 tries, still changing: the last one
            return True
        finally:
            for leftover in [previous] + ([] if taken else [target]):
                if leftover.exists():
                    leftover.unlink()


# ---------------------------------------------------------------- one run

class Row:
    def __init__(self, group: str, label: str, before: bool, after: bool):
        self.group, self.label, self.before, self.after = group, label, before, after

    @property
    def result(self) -> str:
        if self.before:
            return "kept" if self.after else "removed"
        return "appeared" if self.after else "was not there"


# (group heading, [(label, Windows path or key)], kind)
def table_layout(install_dir: str) -> List[Tuple[str, List[Tuple[str, str]], str]]:
    settings_parent = "HKCU\\Software\\ZORV\\"
    uninstall_parent = expected.UNINSTALL_KEY.rsplit("\\", 1)[0] + "\\"
    return [
        ("Program files (%d) in %s" % (len(expected.PRODUCT_FILES), install_dir),
         [(f[len(install_dir) + 1:], f)
          for f in expected.in_folder(install_dir, expected.PRODUCT_FILES)], "file"),
        ("Shortcuts (%d) named TAMbirox2000.lnk" % len(expected.SHORTCUTS),
         [("Start menu: ...\\" + "\\".join(f.split("\\")[-3:-1])
           if f.startswith(expected.PROGRAMS) else "Desktop: " + f.rsplit("\\", 1)[0], f)
          for f in expected.SHORTCUTS], "file"),
        ("File-type keys (%d)" % len(expected.FILE_TYPE_KEYS),
         [(k, k) for k in expected.FILE_TYPE_KEYS], "key"),
        ("Settings keys (%d) under %s" % (len(expected.SETTINGS_KEYS), settings_parent[:-1]),
         [(k[len(settings_parent):], k) for k in expected.SETTINGS_KEYS], "key"),
        ("Uninstall key (1) under %s" % uninstall_parent[:-1],
         [(expected.UNINSTALL_KEY[len(uninstall_parent):], expected.UNINSTALL_KEY)], "key"),
    ]


def german_locale() -> str:
    """de_DE.UTF-8 where the system has it, so Wine labels the buttons Ja, Nein,
    Abbrechen as a German Windows does; else Wine's English labels."""
    listed = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout
    if "de_DE.utf8" in listed.split():
        return "de_DE.UTF-8"
    say("(no de_DE.UTF-8 locale here: the buttons will be labelled in English)")
    return "C.UTF-8"


def snapshot(p: "winefixture.Prefix", install_dir: str) -> Dict[str, bool]:
    state: Dict[str, bool] = {}
    keys: List[str] = []
    for _, items, kind in table_layout(install_dir):
        for _, where in items:
            if kind == "file":
                state[where] = p.exists(where)
            else:
                keys.append(where)
    state.update(p.keys(*keys))
    return state


def print_table(before: Dict[str, bool], after: Dict[str, bool],
                install_dir: str) -> List[Row]:
    rows: List[Row] = []
    width = 44
    say("%-*s  %-8s %-8s %s" % (width + 2, "", "before", "after", "result"))
    for heading, items, _ in table_layout(install_dir):
        say(heading)
        for label, where in items:
            row = Row(heading.split(" (")[0], label, before[where], after[where])
            rows.append(row)
            shown = label if len(label) <= width else label[:width - 3] + "..."
            say("  %-*s  %-8s %-8s %s" % (width, shown, "present" if row.before else "absent",
                                         "present" if row.after else "absent", row.result))
    return rows


def summary(rows: List[Row]) -> str:
    parts = []
    for group in dict.fromkeys(r.group for r in rows):
        counts: Dict[str, int] = {}
        for r in rows:
            if r.group == group:
                counts[r.result] = counts.get(r.result, 0) + 1
        parts.append("%s: %s" % (group, ", ".join("%d %s" % (n, what)
                                                  for what, n in counts.items())))
    return "; ".join(parts) + "."


def picture_name(box: dict) -> Optional[str]:
    for want, name in PICTURES:
        if expected.box_summary(box) == want:
            return name
    return None


def describe(box: dict) -> str:
    buttons = " / ".join(LABELS.get(b, b) for b in box["buttons"])
    return "\"%s\" box, %s icon, buttons %s (default %s)" % (
        box["title"], box["icon"], buttons, LABELS.get(box["default"], box["default"]))


class RelayReader:
    """The program's MessageBoxA return values, from Wine's relay trace."""

    def __init__(self, path: Path):
        self.path = path

    def returns(self) -> List[int]:
        if not self.path.exists():
            return []
        text = self.path.read_text(encoding="latin-1")
        return [int(v, 16) for v in RELAY_RETURN.findall(text)]

    def wait(self, count: int, timeout: float, process: subprocess.Popen) -> Optional[int]:
        """The count-th return value, once there; None if it does not come."""
        deadline = time.monotonic() + timeout
        while True:
            values = self.returns()
            if len(values) >= count:
                return values[count - 1]
            if time.monotonic() > deadline:
                return None
            if process.poll() is not None:
                # The program ended: what it wrote is all there is.
                values = self.returns()
                return values[count - 1] if len(values) >= count else None
            time.sleep(0.2)


def next_box(p: "winefixture.Prefix") -> Optional[dict]:
    """The next open box, or None once the program has ended without one."""
    deadline = time.monotonic() + BOX_APPEARS
    while time.monotonic() < deadline:
        ended = p.process.poll() is not None
        box = p.dialog("none", timeout=1.5)
        if box is not None:
            return box
        if ended:
            return None
    raise DemoError("the program is still running, but no box came within %d s" % BOX_APPEARS)


def answer_for(box: dict, args: argparse.Namespace) -> str:
    if box["buttons"] == ["yes", "no", "cancel"]:
        return args.confirm
    if box["buttons"] == ["yes", "no"]:
        return args.settings
    return box["default"] or box["buttons"][0]


def run_once(session: "winefixture.WineSession", name: str, args: argparse.Namespace,
             no_installation: bool, in_use: bool, pictures: Path) -> Dict[str, object]:
    """One prefix, one run of the program; prints the boxes and the table."""
    desktop = "TAMbirox-demo-%d-%s" % (os.getpid(), name)
    arch, install_dir, _ = WINDOWS[args.windows]
    extra = {
        # A desktop name of its own: its window is told apart from any other.
        r"HKEY_CURRENT_USER\Software\Wine\Explorer": {"Desktop": RegValue.sz(desktop)},
        r"HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops": {desktop: RegValue.sz("800x600")},
        # The relay trace then shows what each MessageBoxA returned.
        r"HKEY_CURRENT_USER\Software\Wine\Debug": {"RelayInclude": RegValue.sz("user32.MessageBoxA")},
    }
    if no_installation:
        installation = Installation(
            uninstall_key=False, product_files=(), shortcuts=False, file_type_keys=False,
            settings_keys=False, exe_path=r"C:\users\tester\Downloads\uninstall.exe",
            extra_keys=extra)
        what = "no TAMbirox 2000 installation (uninstall.exe alone, in Downloads)"
    else:
        installation = Installation(install_dir=install_dir, extra_keys=extra)
        what = "a complete TAMbirox 2000 installation"

    result: Dict[str, object] = {"pictures": [], "boxes": [], "prefix": None}
    with Step("Copying the template prefix to %s" % name):
        p = session.prefix(name, arch)
    with p:
        result["prefix"] = p.path
        fonts = p.host_path(r"C:\windows\Fonts")
        # Debian's Wine does not load its own fonts from /usr/share/wine/fonts;
        # from C:\windows\Fonts it does (Tahoma, and Marlett for the title
        # bar's X, which otherwise shows as an "r").
        if WINE_FONTS.is_dir():
            fonts.mkdir(parents=True, exist_ok=True)
            for font in WINE_FONTS.iterdir():
                shutil.copyfile(font, fonts / font.name)
        with Step("Seeding %s" % what):
            p.seed(installation)
        if in_use:
            with Step("Starting tambirox.exe from the installation folder, left open"):
                p.start_product_program()
        before = snapshot(p, install_dir)
        screen = Screen(session.x_display, desktop)

        relay = RelayReader(session.root / (name + ".relay.log"))
        say()
        say("Running %s%s" % (installation.exe_path,
                              "  -- answer the boxes in the window \"%s - Wine desktop\" on "
                              "your screen" % desktop if args.show else ""))
        p.start_uninstaller(winedebug="+relay", stderr_path=relay.path)
        while True:
            box = next_box(p)
            if box is None:
                break
            number = len(result["boxes"]) + 1
            say()
            say("Message box %d: %s" % (number, describe(box)))
            say("    %s" % box["text"])
            # Looked up once a box is open: Wine's desktop window lives only
            # while a program of the prefix runs, and the commands before the
            # program may have ended long ago in a slow (emulated) machine.
            if number == 1 and not screen.find_desktop():
                say("    (no Wine desktop window found on %s: no pictures this time)"
                    % session.x_display)
            name_of = picture_name(box)
            if name_of is None:
                say("    (this box is not one of the five the program can show)")
                name_of = "MsgUnexpected%d" % number
            picture = pictures / (name_of + ".png")

            if args.show:
                time.sleep(0.3)   # let it paint before the picture
            elif screen.window is not None:
                screen.activate(box["rect"])
            taken = screen.picture(box["rect"], picture)
            if taken and args.show and len(relay.returns()) >= number:
                taken = False     # answered while the picture was taken
                picture.unlink()
            if taken:
                say("    picture: %s" % picture)
                result["pictures"].append(picture)
            else:
                say("    picture: none (%s)" % ("no desktop window" if screen.window is None
                                                  else "could not take it"))

            if not args.show:
                clicked: Optional[str] = answer_for(box, args)
                p.answer(clicked)
                returned = relay.wait(number, RETURN_SEEN, p.process)
                how = "clicked by the demo"
            else:
                say("    waiting for your answer (up to %d min) ..." % (PERSON_ANSWERS // 60))
                returned = relay.wait(number, PERSON_ANSWERS, p.process)
                if returned is None and p.process.poll() is None:
                    raise DemoError("no answer within %d min; ending the run"
                                    % (PERSON_ANSWERS // 60))
                clicked = None
                how = "your click" if returned != 2 else "your click, Esc or the X"

            if returned is not None:
                shown = RETURNS.get(returned, "return value %d" % returned)
                if clicked and shown.lower() != clicked:
                    how += "; the demo clicked %s" % LABELS[clicked]
            else:
                shown = LABELS[clicked] if clicked else "unknown"
                how += "; the program's return value was not seen"
            say("    answer: %s (%s)" % (shown, how))
            result["boxes"].append((box, name_of, shown))

        code = p.wait_exit()
        after = snapshot(p, install_dir)
        if in_use:
            p.stop_product_program()
        say()
        say("uninstall.exe ended with exit code %d." % code)
        say()
        rows = print_table(before, after, install_dir)
        say()
        say("In short: " + summary(rows))
        say("Exit code: %d" % code)
        result["code"] = code
    return result


# ---------------------------------------------------------------- main

def clear_old_pictures(folder: Path) -> None:
    folder.mkdir(parents=True, exist_ok=True)
    for old in list(folder.glob("MsgUnexpected*.png")) + [folder / n for n in DOC_PICTURES]:
        if old.exists():
            old.unlink()


def main(argv: List[str]) -> int:
    sys.stdout.reconfigure(encoding="utf-8", errors="backslashreplace")
    args = parse_args(argv)
    if args.check_args:
        return 0
    if emulated():
        return run_emulated(argv, args)
    started = time.monotonic()
    for tool, package in (("wine", "wine"), ("Xvfb", "xvfb"), ("import", "imagemagick"),
                          ("xdotool", "xdotool")):
        if shutil.which(tool) is None:
            raise DemoError("%s is missing (Debian package %s): run bash scripts/demo.sh, "
                            "which installs it" % (tool, package))
    winefixture.check_machine_runs_32_bit_code()
    if not WINE_FONTS.is_dir():
        say("(fonts-wine is not installed: the boxes use a substitute font and an \"r\" "
            "for the title bar's X)")
    pictures = args.pictures.resolve()
    clear_old_pictures(pictures)

    mode = ("on your display %s: you answer" % os.environ.get("DISPLAY") if args.show
            else "headless, on an Xvfb of its own")
    arch, install_dir, windows = WINDOWS[args.windows]
    say("TAMbirox 2000 uninstaller demo, %s, %s" % (mode, windows))
    exe, probe = executables(BUILD_LOG)

    if args.show and not os.environ.get("XAUTHORITY"):
        # Wine runs with a scratch HOME, where X would look for the cookie.
        cookie = Path.home() / ".Xauthority"
        if cookie.is_file():
            os.environ["XAUTHORITY"] = str(cookie)

    session = winefixture.WineSession(exe, probe,
                                      x_display=os.environ["DISPLAY"] if args.show else None,
                                      locale=german_locale())
    session.keep = args.keep
    results = []
    try:
        with Step("Making a throwaway %s Wine prefix (wineboot, about %d s)"
                  % ("64-bit" if arch == "win64" else "32-bit",
                     (15 if arch == "win64" else 10) * winefixture.TIME_SCALE)):
            session.template(arch)
        if args.update_docs:
            runs = [("complete", False, False), ("in-use", False, True),
                    ("no-installation", True, False)]
            args.confirm, args.settings = "yes", "yes"
        else:
            runs = [("no-installation" if args.no_installation else
                     "in-use" if args.in_use else "complete",
                     args.no_installation, args.in_use)]
        for index, (name, no_installation, in_use) in enumerate(runs):
            if len(runs) > 1:
                say()
                say("===== Run %d of %d: %s =====" % (index + 1, len(runs), name))
            results.append(run_once(session, name, args, no_installation, in_use, pictures))
    finally:
        session.timings.clear()
        with Step("Ending Wine and %s" % ("Xvfb" if session.xvfb else "the Wine desktop")), \
                contextlib.redirect_stderr(io.StringIO()):
            session.close()     # (its note on a kept folder is said below, in full)

    say()
    taken = list(dict.fromkeys(pic for r in results for pic in r["pictures"]))
    say("Pictures (%d) in %s: %s" % (len(taken), pictures,
                                     ", ".join(p.name for p in taken) or "none"))
    if args.keep:
        say("Kept in %s: the Wine prefix%s %s, the scratch HOME home/, the logs *.log."
            % (session.root, "es" if len(results) > 1 else "",
               ", ".join(str(r["prefix"]) for r in results)))
        say("  Look inside: ls \"%s\"" % results[0]["prefix"].joinpath(
            "drive_c", *install_dir.split("\\")[1:]))
        say("  Remove it:   rm -rf %s" % session.root)
    elif session.root.exists():
        say("Could not remove all of %s; remove it with rm -rf" % session.root)
    else:
        say("Wine prefix and scratch HOME: removed (%s)" % session.root)

    if args.update_docs:
        update_docs(results, pictures)
    say("Done in %.0f s." % (time.monotonic() - started))
    return 0


def update_docs(results: List[Dict[str, object]], pictures: Path) -> None:
    """Copies the five pictures to docs/, but only if each box was the expected one."""
    shown = {name for r in results for (_, name, _) in r["boxes"]}
    taken = {pic.name for r in results for pic in r["pictures"]}
    missing = [n for n in DOC_PICTURES if n not in taken or n[:-4] not in shown]
    if missing:
        raise DemoError("docs/ left as it was: no (expected) picture for %s" % ", ".join(missing))
    DOCS.mkdir(exist_ok=True)
    for name in DOC_PICTURES:
        shutil.copyfile(pictures / name, DOCS / name)
    say("Updated: %s" % ", ".join("docs/" + n for n in DOC_PICTURES))


_signalled: List[int] = []


def _on_signal(signum, frame) -> None:
    # Unwinds through the finally blocks that end Wine and Xvfb. Remembered,
    # because Ctrl-C also reaches a Wine command under way, whose failure may
    # surface first.
    _signalled.append(signum)
    if len(_signalled) == 1:    # a second one must not cut the clean-up short
        raise KeyboardInterrupt


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, _on_signal)
    signal.signal(signal.SIGINT, _on_signal)
    try:
        sys.exit(main(sys.argv[1:]))
    except BaseException as e:
        if isinstance(e, SystemExit) and not _signalled:
            raise
        say()
        if _signalled:
            say("demo: %s; its Wine processes and Xvfb have been ended"
                % ("interrupted" if _signalled[0] == signal.SIGINT else "terminated"))
            sys.exit(128 + _signalled[0])
        if not isinstance(e, (DemoError, winefixture.WineError, AssertionError,
                              emulated_wine.EmulationError)):
            raise
        say("demo: %s" % e)
        sys.exit(1)
