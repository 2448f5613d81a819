#!/usr/bin/python3
"""Builds uninstall.exe twice from clean clones of one commit and compares
the bytes. The two builds differ in everything that must not matter: the
folder (and its length), the time zone, the umask, the locale, and the time
(a second or more apart).

    /usr/bin/python3 tools/reproducible/reproducible.py    # prints both SHA-256

The clones hold the commit, not uncommitted changes. The release tests
(tests/release) and the benchmark import this module.
"""
import hashlib
import os
import struct
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path
from typing import Dict, List, Optional, Tuple

REPO = Path(__file__).resolve().parents[2]
EXE = Path("build/windows/uninstall/uninstall.exe")   # in a source folder
TIMEOUT = 900   # one configure or build; the machine may be busy


@dataclass
class Setting:
    folder: str
    tz: str        # POSIX form: works without tzdata
    umask: int
    locale: str


# Two names of different lengths; UTC against UTC+14; files private against
# world-readable; English against German compiler messages.
SETTINGS = (
    Setting("a", "UTC0", 0o022, "C.UTF-8"),
    Setting("second-clean-build-folder", "LINT-14", 0o077, "de_DE.UTF-8"),
)


@dataclass
class Build:
    folder: Path
    exe: Path
    sha256: str
    seconds: float
    setting: Setting

    def summary(self) -> str:
        s = self.setting
        return "%s  %s (TZ=%s, umask %03o, %s; %.0f s)" % (
            self.sha256, self.exe, s.tz, s.umask, s.locale, self.seconds)


def git(repo: Path, *args: str, env: Optional[Dict[str, str]] = None, umask=None) -> str:
    return subprocess.run(["git", "-C", str(repo)] + list(args), env=env, check=True,
                          capture_output=True, text=True, timeout=120,
                          preexec_fn=(lambda: os.umask(umask)) if umask is not None else None
                          ).stdout.strip()


def build_env(setting: Optional[Setting] = None, **extra: str) -> Dict[str, str]:
    """The caller's environment without an outside SOURCE_DATE_EPOCH: the
    builds must come out the same by themselves."""
    env = {k: v for k, v in os.environ.items()
           if k != "SOURCE_DATE_EPOCH" and not k.startswith("LC_")}
    if setting:
        env.update(TZ=setting.tz, LANG=setting.locale, LC_ALL=setting.locale)
    env.update(extra)
    return env


def build(source: Path, env: Dict[str, str], umask: int = 0o022) -> Path:
    """Configures (if needed) and builds the uninstall target with the windows
    preset in SOURCE; returns the executable."""
    for command in (["cmake", "--preset", "windows"],
                    ["cmake", "--build", "--preset", "windows", "--target", "uninstall"]):
        done = subprocess.run(command, cwd=source, env=env, capture_output=True, text=True,
                              timeout=TIMEOUT, preexec_fn=lambda: os.umask(umask))
        if done.returncode != 0:
            raise RuntimeError("%s failed in %s:\n%s%s" % (" ".join(command), source,
                                                           done.stdout, done.stderr))
    return source / EXE


def sha256(path: Path) -> str:
    return hashlib.sha256(path.read_bytes()).hexdigest()


def pe_time_stamp(path: Path) -> int:
    """TimeDateStamp of the COFF file header (seconds since 1970, UTC)."""
    data = path.read_bytes()
    (pe,) = struct.unpack_from("<I", data, 0x3C)
    return struct.unpack_from("<I", data, pe + 8)[0]


def clean_build(repo: Path, commit: str, folder: Path, setting: Setting) -> Build:
    started = time.monotonic()
    env = build_env(setting)
    # A local clone copies the history; a worktree's HEAD is not the clone's
    # default branch, hence the explicit commit.
    git(folder.parent, "clone", "--quiet", "--no-checkout", "--no-hardlinks", str(repo),
        str(folder), env=env, umask=setting.umask)
    git(folder, "checkout", "--quiet", "--detach", commit, env=env, umask=setting.umask)
    exe = build(folder, env, setting.umask)
    return Build(folder, exe, sha256(exe), time.monotonic() - started, setting)


def two_clean_builds(scratch: Path, repo: Path = REPO) -> List[Build]:
    """Builds the repository's HEAD in two clones under SCRATCH."""
    commit = git(repo, "rev-parse", "HEAD")
    builds = []
    for setting in SETTINGS:
        if builds:
            time.sleep(1)
        builds.append(clean_build(repo, commit, scratch / setting.folder, setting))
    return builds


def sections(data: bytes) -> List[Tuple[str, int, int]]:
    """(name, start, end) of each section's bytes in the file."""
    (pe,) = struct.unpack_from("<I", data, 0x3C)
    count, optional = struct.unpack_from("<H12xH", data, pe + 6)
    found = []
    for n in range(count):
        at = pe + 24 + optional + 40 * n
        size, start = struct.unpack_from("<II", data, at + 16)
        found.append((data[at:at + 8].rstrip(b"\0").decode(errors="replace"), start, start + size))
    return found


def differences(a: Path, b: Path, shown: int = 8) -> str:
    """Where two executables differ: byte offsets and the section of each."""
    x, y = a.read_bytes(), b.read_bytes()
    if len(x) != len(y):
        return "sizes differ: %d and %d bytes" % (len(x), len(y))
    offsets = [i for i in range(len(x)) if x[i] != y[i]]
    table = sections(x)

    def where(offset: int) -> str:
        names = [name for name, start, end in table if start <= offset < end]
        return names[0] if names else "headers" if offset < table[0][1] else "no section"

    listed = ", ".join("0x%x (%s)" % (o, where(o)) for o in offsets[:shown])
    return "%d bytes differ: %s%s" % (len(offsets), listed, ", ..." if len(offsets) > shown else "")


def main() -> int:
    with tempfile.TemporaryDirectory(prefix="reproducible-") as scratch:
        builds = two_clean_builds(Path(scratch))
        for b in builds:
            print(b.summary())
        same = builds[0].sha256 == builds[1].sha256
        print("reproducible: %s" % ("yes" if same else "NO: " + differences(
            builds[0].exe, builds[1].exe)))
        return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
