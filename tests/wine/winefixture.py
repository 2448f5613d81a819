r"""Runs the uninstaller under Wine and drives its message boxes, for end-to-end tests.

One test run (one Python process) gets one Xvfb and one template prefix of
each kind it uses; each scenario gets a copy of a template, seeded with an
`Installation`:

    with winefixture.session().prefix("full-run") as p:
        p.seed(Installation())
        p.start_uninstaller()
        box = p.answer("yes")          # waits for the box, reports it, clicks Yes
        ...
        self.assertEqual(p.wait_exit(), 0)
        state = p.keys(r"HKCU\Software\ZORV")   # live registry, before shutdown

A 64-bit prefix, where the 32-bit program runs under WOW64 as on every
64-bit Windows: session().prefix("name", arch="win64"). Its template is made
on first use.

start_traced() instead of start_uninstaller() records Wine's relay trace of
the program's own Win32 calls; trace() then gives it in the format of the
golden traces (tests/traces).

Paths come from the environment, so CTest can pass its build products:
    TAMBIROX_UNINSTALL_EXE  the program under test
                            (default build/windows/uninstall/uninstall.exe)
    WINE_PROBE_EXE          tools/wine_probe built for Windows
                            (default build/windows/tools/wine_probe/wine_probe.exe)
    WINE_TEST_KEEP=1        keep the scratch folder (prefixes and logs) for a look
"""

import atexit
import errno
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path
from typing import Dict, List, Optional, Tuple

import installation as inst_mod
import relay_trace
from installation import Installation, Installation64, RegValue
from parent_death import die_with_parent
from xvfb import TIME_SCALE, Xvfb

REPO = Path(__file__).resolve().parents[2]
EXE_VAR, PROBE_VAR = "TAMBIROX_UNINSTALL_EXE", "WINE_PROBE_EXE"
DEFAULT_EXE = REPO / "build/windows/uninstall/uninstall.exe"
DEFAULT_PROBE = REPO / "build/windows/tools/wine_probe/wine_probe.exe"

# Prefix kinds: "win32" is a 32-bit Windows; in "win64" the program and the
# probe, both 32-bit, run under WOW64 (HKLM\Software is the 32-bit view,
# Software\Wow6432Node, for them; C:\Program Files (x86) exists).
ARCHES = ("win32", "win64")
# Debian's 64-bit loader. `wine` prefers the 32-bit one, so `wine regedit` or
# `wine reg` is the 32-bit program even in a 64-bit prefix.
WINE64_LOADER = "/usr/lib/wine/wine64"
# ... and the 32-bit one, an i386 Linux program: it runs every 32-bit Windows
# program, in a 32-bit prefix and under WOW64 alike.
WINE32_LOADER = "/usr/lib/wine/wine"

# Upper bounds in seconds; a healthy run stays far below each. In an emulated
# machine (tools/emulated_wine) every Wine step takes several times as long:
# WINE_TEST_TIME_SCALE stretches them all (xvfb.TIME_SCALE reads it).
WINEBOOT_TIMEOUT = 180 * TIME_SCALE
COMMAND_TIMEOUT = 60 * TIME_SCALE   # one short Wine command (regedit, probe keys, ...)
DIALOG_TIMEOUT = 20 * TIME_SCALE    # until the next message box shows up, and until it is gone
EXIT_TIMEOUT = 10 * TIME_SCALE      # until the program has ended after its last box
SERVER_TIMEOUT = 30 * TIME_SCALE    # wineserver -k / -w
# A scenario's server stays this long after its last process; it is ended
# with -k anyway, and this only bounds one left behind by a killed run.
SERVER_PERSISTENCE = 30

# The program's current directory. Left alone it would be the host's (Z:\...),
# where a wrongly trusted relative path would reach real files; from here a
# relative "TAMbirox 2000\..." reaches the seeded installation, in plain view.
WORKING_DIR = r"C:\Program Files"

# Wine's user folders follow $USER (or getpwuid when it is unset), so a fixed
# name keeps C:\users\<name> the same for root in CI and for any developer.
WINE_USER = inst_mod.USER_NAME

# Virtual desktop: without a window manager each closed box costs about 2 s.
# RelayInclude: the program's imports, for runs traced with +relay (it is read
# only when relay tracing is on, so untraced runs are not affected).
TEMPLATE_REG = "\r\n".join([
    "Windows Registry Editor Version 5.00", "",
    r"[HKEY_CURRENT_USER\Software\Wine\Explorer]", '"Desktop"="Default"', "",
    r"[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]", '"Default"="800x600"', "",
    r"[HKEY_CURRENT_USER\Software\Wine\Debug]",
    '"RelayInclude"="%s"' % relay_trace.RELAY_INCLUDE, "",
]) + "\r\n"


# A folder where the test runs of one machine share their template prefixes:
# the Wine suite, the demo test and the release test then run wineboot once
# for each kind (and locale), which matters where wineboot takes minutes (the
# emulated machine). Unset, each run makes its own.
TEMPLATE_CACHE = os.environ.get("WINE_TEST_TEMPLATE_CACHE")

# The 32-bit regedit of each kind of prefix, by path where `regedit` alone
# could be taken for the 64-bit one.
REGEDIT_32 = {"win32": "regedit", "win64": r"C:\windows\syswow64\regedit.exe"}


def to_windows(unix_path: Path) -> str:
    """A host path as the Z: drive shows it."""
    return "Z:" + str(unix_path).replace("/", "\\")


class WineError(RuntimeError):
    pass


class NoThirtyTwoBitCode(WineError):
    """The kernel runs no 32-bit x86 program, so Wine runs no 32-bit Windows program."""


def check_machine_runs_32_bit_code(loader: str = WINE32_LOADER) -> None:
    """Raises NoThirtyTwoBitCode on a kernel whose ia32 emulation is off.

    Such a kernel (a boot option since Linux 6.7, or a hypervisor that has no
    32-bit user mode) refuses every i386 program with ENOEXEC, and a 64-bit
    process cannot switch to 32-bit code either. No Wine setting helps there.
    """
    try:
        subprocess.run([loader, "--version"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=COMMAND_TIMEOUT, check=False)
    except OSError as e:
        if e.errno != errno.ENOEXEC:
            return      # not installed: wineboot then says so in its own words
        raise NoThirtyTwoBitCode(
            "this machine runs no 32-bit x86 code: its kernel refuses i386 programs "
            "(%s: Exec format error; ia32 emulation is off), so Wine cannot run the "
            "32-bit uninstall.exe, in a 32-bit prefix or under WOW64" % loader)


class WineSession:
    """The Xvfb, the scratch HOME and the template prefixes of one test run.

    A template of each kind (ARCHES) is made once, when the first prefix of
    that kind is asked for; a kind that no scenario uses costs nothing.
    """

    def __init__(self, exe: Path, probe: Path, x_display: Optional[str] = None,
                 locale: str = "C.UTF-8"):
        # x_display: show the boxes there (e.g. a user's $DISPLAY) instead of on an own Xvfb.
        # locale: picks Wine's UI language (button labels); the code page stays 1252
        # for C and for Western European locales.
        check_machine_runs_32_bit_code()
        self.exe, self.probe = exe, probe
        self.locale = locale
        self.keep = os.environ.get("WINE_TEST_KEEP") == "1"
        self.root = Path(tempfile.mkdtemp(prefix="wine-tests-"))
        self.home = self.root / "home"
        self.home.mkdir()
        self._templates: Dict[str, Path] = {}
        self._template_errors: Dict[str, BaseException] = {}
        self.timings: List[Tuple[str, float]] = []
        self._live: List["Prefix"] = []
        self._closed = False
        self._image: Optional[Tuple[int, int]] = None
        self.xvfb = Xvfb(self.root / "xvfb.log") if x_display is None else None
        try:
            self.display = self.xvfb.start() if self.xvfb else None
            self.x_display = x_display or ":%d" % self.display
        except BaseException:
            self.close()
            raise

    def image(self) -> Tuple[int, int]:
        """The program's image (start, end): its own calls return into it."""
        if self._image is None:
            log = self.root / "objdump.log"
            _, headers = run_bounded(["i686-w64-mingw32-objdump", "-p", str(self.exe)], None,
                                     COMMAND_TIMEOUT, log, capture=True)
            self._image = relay_trace.image_range(headers)
        return self._image

    def env(self, prefix: Path, arch: str) -> Dict[str, str]:
        """Environment of every Wine command: nothing of the real user's leaks in."""
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("WINE", "XDG_", "DISPLAY", "WAYLAND", "DBUS_", "LC_"))}
        env.update({
            "HOME": str(self.home),
            "USER": WINE_USER,
            "LOGNAME": WINE_USER,
            "XDG_CONFIG_HOME": str(self.home / ".config"),
            "XDG_DATA_HOME": str(self.home / ".local/share"),
            "XDG_CACHE_HOME": str(self.home / ".cache"),
            # One locale whoever runs the tests: it picks Wine's UI language.
            "LANG": self.locale,
            "DISPLAY": self.x_display,
            "WINEPREFIX": str(prefix),
            "WINEARCH": arch,
            "WINEDEBUG": "-all",
            # No Mono/Gecko install prompts, no menu entries in the scratch HOME.
            "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
        })
        return env

    def template(self, arch: str) -> Path:
        """The template prefix of this kind, made on first use.

        A failure is remembered, so that the scenarios after the first do not
        each wait for wineboot again.
        """
        if arch not in ARCHES:
            raise ValueError("arch must be one of %s: %r" % (ARCHES, arch))
        if arch in self._template_errors:
            raise WineError("the %s template prefix could not be made: %s"
                            % (arch, self._template_errors[arch]))
        if arch not in self._templates:
            try:
                self._templates[arch] = self._make_template(arch)
            except BaseException as e:
                self._template_errors[arch] = e
                raise
        return self._templates[arch]

    def _make_template(self, arch: str) -> Path:
        start = time.monotonic()
        template = self.root / ("template-" + arch)
        env = self.env(template, arch)
        log = self.root / ("template-%s.log" % arch)
        # Recorded before wineboot, so that close() ends its server whatever happens.
        self._templates[arch] = template
        cached = Path(TEMPLATE_CACHE, "%s-%s" % (arch, self.locale)) if TEMPLATE_CACHE else None
        if cached is not None and cached.is_dir():
            run_bounded(["cp", "-a", str(cached), str(template)], None, COMMAND_TIMEOUT, log)
            self.timings.append(("template %s, copied" % arch, time.monotonic() - start))
            return template
        rc, _ = run_bounded(["wineboot", "-i"], env, WINEBOOT_TIMEOUT, log, check=False)
        if rc != 0:
            # Wine's loader waits at most 5 minutes for a new prefix's first
            # boot, then gives up (53, "could not load kernel32.dll") while
            # wineboot goes on. A 64-bit prefix in the emulated machine can
            # take that long: let it finish, and boot once more (seconds).
            run_bounded(["wineserver", "-w"], env, WINEBOOT_TIMEOUT, log)
            run_bounded(["wineboot", "-i"], env, WINEBOOT_TIMEOUT, log)
        replace_home_links(template, self.home)
        reg = self.root / "template.reg"
        reg.write_text(TEMPLATE_REG, encoding="ascii")
        # Only HKCU keys, which are the same for 32- and 64-bit programs.
        run_bounded(["wine", "regedit", "/s", to_windows(reg)], env, COMMAND_TIMEOUT, log)
        # Let the server save the registry and end by itself.
        run_bounded(["wineserver", "-w"], env, SERVER_TIMEOUT, log)
        links = [p for p in (template / "drive_c/users").rglob("*") if p.is_symlink()]
        if links:
            raise WineError("links left in the template: %s" % links)
        if cached is not None:
            # Complete or not there: a run cut short leaves only its partial
            # copy, and of two runs side by side the first to finish stores it.
            partial = cached.with_name("%s.partial-%d" % (cached.name, os.getpid()))
            partial.parent.mkdir(parents=True, exist_ok=True)
            run_bounded(["cp", "-a", str(template), str(partial)], None, COMMAND_TIMEOUT, log)
            try:
                partial.rename(cached)
            except OSError:
                shutil.rmtree(partial, ignore_errors=True)
        self.timings.append(("template " + arch, time.monotonic() - start))
        return template

    def prefix(self, name: str, arch: str = "win32") -> "Prefix":
        """A scenario's prefix, a copy of the template of that kind (ARCHES)."""
        return Prefix(self, name, arch)

    def adopt(self, prefix: "Prefix") -> None:
        self._live.append(prefix)

    def forget(self, prefix: "Prefix") -> None:
        if prefix in self._live:
            self._live.remove(prefix)

    def close(self) -> None:
        if self._closed:
            return
        self._closed = True
        end_running_commands()
        for p in list(self._live):
            p.close()
        for arch, template in self._templates.items():
            if template.exists():
                run_bounded(["wineserver", "-k"], self.env(template, arch), SERVER_TIMEOUT,
                            self.root / ("template-%s.log" % arch), check=False)
        if self.xvfb:
            self.xvfb.stop()
        if self.timings:
            sys.stderr.write("\nWine timings: %s\n" % ", ".join(
                "%s %.1f s" % t for t in self.timings))
        if self.keep:
            sys.stderr.write("Wine scratch kept in %s\n" % self.root)
        else:
            shutil.rmtree(self.root, ignore_errors=True)


class Prefix:
    """One scenario: a copy of the template, its server, the program and the probe."""

    def __init__(self, session: WineSession, name: str, arch: str = "win32"):
        self.session, self.name, self.arch = session, name, arch
        template = session.template(arch)
        self.path = session.root / name
        self.log = session.root / (name + ".log")
        self.env = session.env(self.path, arch)
        self.process: Optional[subprocess.Popen] = None
        self.product: Optional[subprocess.Popen] = None   # start_product_program()
        self.installation: Optional[Installation] = None
        self._runs = 0
        self._relay: Optional[Path] = None    # relay output of the last run, if traced
        self._box_pids: set = set()           # processes that showed this run's boxes
        self._started = time.monotonic()
        self._closed = False
        session.adopt(self)  # ended with the session even if set-up fails below
        try:
            run_bounded(["cp", "-a", str(template), str(self.path)], None,
                        COMMAND_TIMEOUT, self.log)
            # One server for the whole scenario, so that no command starts or
            # loses it halfway; it ends with wineserver -k in close().
            run_bounded(["wineserver", "-p%d" % SERVER_PERSISTENCE], self.env,
                        SERVER_TIMEOUT, self.log)
        except BaseException:
            self.close()
            raise

    def __enter__(self) -> "Prefix":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    # ------------------------------------------------------------ paths

    def host_path(self, windows_path: str) -> Path:
        """C:\\a\\b in this prefix as a host path (drive C: only)."""
        drive, _, rest = windows_path.partition(":\\")
        if drive.upper() != "C":
            raise ValueError("only C: paths: %r" % windows_path)
        return self.path.joinpath("drive_c", *[part for part in rest.split("\\") if part])

    def exists(self, windows_path: str) -> bool:
        return os.path.lexists(self.host_path(windows_path))

    def listing(self, windows_dir: str) -> List[str]:
        """Names in one folder, sorted; empty when the folder is missing."""
        folder = self.host_path(windows_dir)
        return sorted(os.listdir(folder)) if folder.is_dir() else []

    # ------------------------------------------------------------ setting up

    def seed(self, installation: Installation) -> None:
        """Files from the host side, keys with one regedit, then the desktop.

        As a 32-bit installer leaves them: the keys are written by the 32-bit
        regedit, so in a 64-bit prefix those under HKLM\Software land in the
        32-bit view, where the program looks.
        """
        self.installation = installation
        for windows_path, content in installation.file_layout():
            target = self.host_path(windows_path)
            target.parent.mkdir(parents=True, exist_ok=True)
            target.write_bytes(content)
        exe = self.host_path(installation.exe_path)
        exe.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(self.session.exe, exe)
        reg = self.session.root / (self.name + ".reg")
        # UTF-16 with BOM: the form regedit exports, and non-ASCII names survive.
        reg.write_bytes(b"\xff\xfe" + installation.registry_text().encode("utf-16-le"))
        rc, _ = self.wine([REGEDIT_32[self.arch], "/s", to_windows(reg)])
        if rc != 0:
            raise WineError("regedit /s failed with %d; see %s" % (rc, self.log))
        for key, name, value in installation.api_values():
            self.set_value(key, name, value)
        # Start the virtual desktop before the program, so that its start-up
        # is not timed against the first box (and not traced with it).
        rc, out = self.probe("desktop")
        if rc != 0:
            raise WineError("no desktop: %s; see %s" % (out, self.log))

    def seed_64bit_view(self, other: Installation64) -> None:
        """What a 64-bit program left: its keys in the 64-bit view (the 64-bit
        reg.exe, reg import /reg:64) and its files, written from the host side."""
        for windows_path, content in other.file_layout():
            target = self.host_path(windows_path)
            target.parent.mkdir(parents=True, exist_ok=True)
            target.write_bytes(content)
        reg = self.session.root / (self.name + ".64.reg")
        reg.write_bytes(b"\xff\xfe" + other.registry_text().encode("utf-16-le"))
        rc, out = self.reg("import", to_windows(reg), view=64)
        if rc != 0:
            raise WineError("reg import /reg:64 failed with %d: %s; see %s" % (rc, out, self.log))

    def reg(self, *args: str, view: int) -> Tuple[int, str]:
        """The 64-bit reg.exe with ARGS and /reg:VIEW (32 or 64): one view or the
        other of a 64-bit prefix, named explicitly."""
        if self.arch != "win64" or view not in (32, 64):
            raise WineError("reg(view=%r) is for the two views of a win64 prefix" % view)
        return run_bounded([WINE64_LOADER, "reg"] + list(args) + ["/reg:%d" % view], self.env,
                           COMMAND_TIMEOUT, self.log, check=False, capture=True)

    def set_value(self, key: str, name: str, value: RegValue) -> None:
        """Writes one value with exactly its bytes (RegSetValueExW)."""
        rc, out = self.probe("setvalue", short_root(key), name, str(value.reg_type),
                             value.data.hex())
        if rc != 0:
            raise WineError("setvalue %s %s failed: %s; see %s" % (key, name, out, self.log))
        stored = json.loads(out.splitlines()[-1])
        if (stored["stored_type"], stored["stored_bytes"]) != (value.reg_type, len(value.data)):
            raise WineError("setvalue %s %s stored type %d, %d bytes instead of type %d, %d bytes"
                            % (key, name, stored["stored_type"], stored["stored_bytes"],
                               value.reg_type, len(value.data)))

    # ------------------------------------------------------------ running

    def wine(self, args: List[str], timeout: float = COMMAND_TIMEOUT) -> Tuple[int, str]:
        """Runs `wine ARGS` in this prefix; returns exit code and stdout."""
        return run_bounded(["wine"] + args, self.env, timeout, self.log, check=False,
                           capture=True)

    def probe(self, *args: str, timeout: float = COMMAND_TIMEOUT) -> Tuple[int, str]:
        return self.wine([str(self.session.probe)] + list(args), timeout)

    def start_uninstaller(self, winedebug: str = "-all", stderr_path: Optional[Path] = None) -> None:
        """Starts the seeded copy of the program in the background.

        For a call trace pass e.g. winedebug="+pid,+relay" and a stderr_path
        to collect it apart from the scenario's log.
        """
        if self.installation is None:
            raise WineError("seed() first")
        if self.process is not None:
            raise WineError("the previous run has not been waited for")
        self._runs += 1
        self._relay = (stderr_path or self.log) if "+relay" in winedebug else None
        self._box_pids = set()
        env = dict(self.env, WINEDEBUG=winedebug)
        with open(self.log, "ab") as log, open(stderr_path or self.log, "ab") as err:
            self.process = subprocess.Popen(
                ["wine", self.installation.exe_path], env=env, stdin=subprocess.DEVNULL,
                stdout=log, stderr=err, cwd=self.host_path(WORKING_DIR),
                preexec_fn=die_with_parent())

    def start_traced(self, channels: str = "") -> None:
        """Starts the program with Wine's relay trace of its own Win32 calls.

        The output goes to a file of its own (it is large); trace() reads it
        once the program has ended. channels adds Wine debug channels to the
        same output, e.g. ",+loaddll" for loaded_dlls().
        """
        relay = self.session.root / ("%s.run%d.relay" % (self.name, self._runs + 1))
        self.start_uninstaller(winedebug="+pid,+relay" + channels, stderr_path=relay)

    def run(self, *answers: str, channels: str = "") -> Tuple[List[dict], int]:
        """One traced run: answers its boxes in this order, then waits for its end.

        Returns the probe's reports of the boxes and the exit code. When a
        box does not come or the program does not end, the program is ended
        before the error goes up, so that the prefix still serves the next run.
        """
        self.start_traced(channels)
        try:
            boxes = [self.answer(answer) for answer in answers]
            return boxes, self.wait_exit()
        finally:
            self.end_program()

    def end_program(self) -> None:
        """Ends the program if it is still running (our own child, by pid)."""
        if self.process is None:
            return
        if self.process.poll() is None:
            self.process.kill()
        try:
            self.process.wait(timeout=10)
        finally:
            self.process = None

    def start_product_program(self) -> str:
        """TAMbirox 2000 left open: a program of the tests' own (the probe's
        `wait`) copied over the seeded tambirox.exe and started from the
        installation folder. While it runs its file cannot be deleted. Returns
        its Windows path; stop_product_program() ends it."""
        if self.installation is None or self.product is not None:
            raise WineError("seed() first, and one product program at a time")
        install_dir = self.installation.install_dir
        exe = install_dir + r"\tambirox.exe"
        shutil.copyfile(self.session.probe, self.host_path(exe))
        self._product_stop = self.session.root / (self.name + ".stop-product")
        self._product_stop.unlink(missing_ok=True)
        started = self.session.root / (self.name + ".product")
        with open(started, "wb") as out, open(self.log, "ab") as err:
            self.product = subprocess.Popen(
                ["wine", exe, "wait", to_windows(self._product_stop),
                 str(int(10 * COMMAND_TIMEOUT * 1000))],
                env=self.env, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                cwd=self.host_path(install_dir), preexec_fn=die_with_parent())
        deadline = time.monotonic() + COMMAND_TIMEOUT
        while b'"waiting"' not in started.read_bytes():
            if self.product.poll() is not None or time.monotonic() > deadline:
                raise WineError("the product program did not start (%s); see %s"
                                % ("ended with %d" % self.product.returncode
                                   if self.product.poll() is not None else "no report",
                                   self.log))
            time.sleep(0.1)
        return exe

    def stop_product_program(self) -> None:
        """Ends start_product_program()'s program, as a user closes it."""
        if self.product is None:
            raise WineError("start_product_program() first")
        self._product_stop.touch()
        try:
            code = self.product.wait(timeout=COMMAND_TIMEOUT)
        finally:
            self._end_product_program()
        if code != 0:
            raise WineError("the product program ended with %d; see %s" % (code, self.log))

    def _end_product_program(self) -> None:
        if self.product is not None:
            if self.product.poll() is None:
                self.product.kill()   # our own child, by pid
            self.product.wait(timeout=10)
            self.product = None

    def trace(self) -> List[str]:
        """The last run's own calls, one line each, as the golden traces have them.

        Kept: calls of the process that showed the boxes (a Wine desktop
        process inherits the tracing and is loaded at the same address) that
        return into the program's image (Wine's DLLs call some of the same
        functions internally).
        """
        start, end = self.session.image()
        with open(self._traced_relay(), encoding="latin-1") as relay:
            return relay_trace.normalise(relay, start, end, pid=next(iter(self._box_pids)))

    def _traced_relay(self) -> Path:
        """The last run's relay output, once it has ended in one process."""
        if self.process is not None:
            raise WineError("wait_exit() first: the trace is read after the program ended")
        if self._relay is None:
            raise WineError("the last run was not traced: start_traced()")
        if len(self._box_pids) != 1:
            raise WineError("cannot tell the program's process: boxes came from %r"
                            % sorted(self._box_pids))
        return self._relay

    def loaded_dlls(self) -> List[Tuple[str, str]]:
        """(path, "native" or "builtin") of every module the program's process
        loaded in the last run, in order; the run was traced with ",+loaddll"."""
        with open(self._traced_relay(), encoding="latin-1") as relay:
            return relay_trace.loaded_dlls(relay, pid=next(iter(self._box_pids)))

    def dialog(self, answer: str, timeout: float = DIALOG_TIMEOUT) -> Optional[dict]:
        """Waits for the next "Uninstall" box and answers it.

        Returns the probe's report (text, buttons, default, icon, closed), or
        None when no box showed up within the timeout.
        """
        rc, out = self.probe("dialog", "--timeout-ms", str(int(timeout * 1000)),
                             "--answer", answer, timeout=2 * timeout + COMMAND_TIMEOUT)
        if rc == 2:
            return None
        if rc == 4:  # the program's fault, not the harness's
            raise AssertionError("a box without a %r button came: %s" % (answer, out.strip()))
        if rc not in (0, 3):
            raise WineError("wine_probe dialog failed with %d: %s; see %s" % (rc, out, self.log))
        box = json.loads(out.splitlines()[-1])
        self._box_pids.add(box["pid"])
        return box

    def answer(self, answer: str, timeout: float = DIALOG_TIMEOUT) -> dict:
        """Like dialog(), but a box must come, and must be gone after the answer."""
        box = self.dialog(answer, timeout)
        if box is None:
            raise AssertionError("no message box within %.0f s (%s)" % (timeout, self._program_state()))
        if answer != "none" and not box["closed"]:
            raise AssertionError("the box stayed open after %r: %r" % (answer, box))
        return box

    def wait_exit(self, timeout: float = EXIT_TIMEOUT) -> int:
        """The program's exit code; fails, naming any open box, if it does not end."""
        if self.process is None:
            raise WineError("start_uninstaller() first")
        try:
            code = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            box = self.dialog("none", timeout=1)
            # End it so that the scenario can go on.
            self.end_program()
            raise AssertionError("the program did not end within %.0f s; open box: %r"
                                 % (timeout, box)) from None
        self.process = None
        return code

    def _program_state(self) -> str:
        if self.process is None:
            return "program not running"
        code = self.process.poll()
        return "program still running" if code is None else "program ended with %d" % code

    # ------------------------------------------------------------ inspecting

    def keys(self, *keys: str) -> Dict[str, bool]:
        """Whether each key (HKLM\\..., HKCU\\..., HKCR\\...) exists, read live.

        Asked through the registry API of the running prefix rather than read
        from system.reg/user.reg: it works while a box is open, sees HKCR as
        the program sees it (merged from HKLM and HKCU Software\\Classes), and
        does not depend on when or how the server saves its files.
        """
        rc, out = self.probe("keys", *keys)
        if rc != 0:
            raise WineError("wine_probe keys failed with %d: %s" % (rc, out))
        result = {}
        for line in out.splitlines():
            item = json.loads(line)
            if item["exists"] is None:
                raise WineError("cannot open %s: error %s" % (item["key"], item["error"]))
            result[item["key"]] = item["exists"]
        return result

    # ------------------------------------------------------------ ending

    def close(self) -> None:
        if self._closed:
            return
        self._closed = True
        run_bounded(["wineserver", "-k"], self.env, SERVER_TIMEOUT, self.log, check=False)
        run_bounded(["wineserver", "-w"], self.env, SERVER_TIMEOUT, self.log, check=False)
        self._end_product_program()
        if self.process is not None:
            if self.process.poll() is None:
                self.process.kill()   # our own child, by pid
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                pass
        self.session.timings.append((self.name, time.monotonic() - self._started))
        self.session.forget(self)
        if not self.session.keep:
            shutil.rmtree(self.path, ignore_errors=True)


# Commands under way, for a session ended by a signal in the middle of one.
_running: set = set()


def end_running_commands() -> None:
    for proc in list(_running):
        if proc.poll() is None:
            proc.kill()      # our own child, by pid
        proc.wait(timeout=5)
        _running.discard(proc)


def run_bounded(cmd: List[str], env: Optional[Dict[str, str]], timeout: float, log: Path,
                check: bool = True, capture: bool = False) -> Tuple[int, str]:
    """Runs one command with a time limit; stderr goes to the log.

    Output is taken through a file, not a pipe: Wine's server and desktop
    processes, started by a command, inherit its handles and outlive it, so a
    pipe would not see its end.
    """
    with open(log, "ab") as err, tempfile.TemporaryFile() as out:
        err.write(("$ %s\n" % " ".join(cmd)).encode())
        err.flush()
        proc = subprocess.Popen(cmd, env=env, stdin=subprocess.DEVNULL,
                                stdout=out if capture else err, stderr=err,
                                preexec_fn=die_with_parent())
        _running.add(proc)
        try:
            rc = proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            proc.kill()      # our own child, by pid
            proc.wait(timeout=5)
            raise WineError("%s: no end within %.0f s; see %s" % (cmd[:3], timeout, log)) from None
        finally:
            _running.discard(proc)
        out.seek(0)
        text = out.read().decode("utf-8", errors="replace")
    if check and rc != 0:
        raise WineError("%s ended with %d; see %s" % (cmd[:3], rc, log))
    return rc, text


def short_root(key: str) -> str:
    """HKEY_LOCAL_MACHINE\\x as HKLM\\x, the form wine_probe takes."""
    root, _, rest = key.partition("\\")
    short = {"HKEY_LOCAL_MACHINE": "HKLM", "HKEY_CURRENT_USER": "HKCU",
             "HKEY_CLASSES_ROOT": "HKCR"}[root]
    return short + "\\" + rest


def replace_home_links(prefix: Path, home: Path) -> None:
    """Turns Wine's links to $HOME (Desktop, Documents, ...) into real folders.

    Otherwise deleting a shortcut "from the desktop" could reach a real one.
    """
    users = prefix / "drive_c/users"
    for link in [p for p in users.rglob("*") if p.is_symlink()]:
        target = os.path.realpath(link)
        if not target.startswith(str(prefix) + os.sep):
            link.unlink()
            link.mkdir()


def built_executables() -> Tuple[Path, Path]:
    """uninstall.exe and wine_probe.exe, from the environment or the windows preset.

    A file that the environment names (CTest names both) but that is not built
    is an error that says what to build; only a plain run without them skips.
    """
    paths = []
    for var, default in ((EXE_VAR, DEFAULT_EXE), (PROBE_VAR, DEFAULT_PROBE)):
        path = Path(os.environ.get(var, default))
        if not path.is_file():
            missing = ("%s is not built: build both programs with "
                       "`cmake --build --preset windows`" % path)
            if var in os.environ:
                raise WineError(missing + " (named by %s)" % var)
            raise unittest.SkipTest(missing + ", or set %s" % var)
        paths.append(path.resolve())
    return paths[0], paths[1]


_session: Optional[WineSession] = None
_session_error: Optional[BaseException] = None


def session() -> WineSession:
    """The run's one session, made on first use and ended when Python exits.

    On a machine that runs no 32-bit code every Wine test fails, saying why:
    none of them is passed there without running.
    """
    global _session, _session_error
    if _session is not None:
        return _session
    if _session_error is not None:
        raise WineError("the Wine session could not be set up: %s" % _session_error)
    exe, probe = built_executables()
    try:
        _session = WineSession(exe.resolve(), probe.resolve())
    except NoThirtyTwoBitCode as e:
        _session_error = e
        raise WineError("%s; bash scripts/test.sh runs these tests in an emulated "
                        "machine there" % e)
    except BaseException as e:
        _session_error = e
        raise
    atexit.register(_session.close)
    if signal.getsignal(signal.SIGTERM) is signal.SIG_DFL:
        signal.signal(signal.SIGTERM, _end_on_sigterm)
    return _session


def _end_on_sigterm(signum, frame) -> None:
    """A terminated run still ends its Xvfb and wineservers, then dies of the signal.

    (Raising SystemExit instead would not stop it: unittest records that as
    one test's error and goes on with the next.)
    """
    if _session is not None:
        _session.close()
    signal.signal(signal.SIGTERM, signal.SIG_DFL)
    os.kill(os.getpid(), signal.SIGTERM)
