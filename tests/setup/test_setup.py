"""scripts/setup.sh against a Debian mirror that fails, with stand-ins for
apt-get, dpkg, dpkg-query, locale, id and sleep on PATH: no network, nothing
installed, no real pauses. The codename is this machine's (Debian 12)."""

import os
import stat
import subprocess
import tempfile
import unittest
from pathlib import Path

SETUP = Path(__file__).resolve().parents[2] / "scripts" / "setup.sh"

# Each stand-in appends its arguments to calls.log. apt-get fails `update`
# as many times as $FAILS says, then succeeds, the way apt does when one index
# of a suite is broken; `install` resolves as $RESOLVES says: "plain", only
# "preferred" (with -t), or "never".
STANDINS = {
    "apt-get": """
echo "apt-get $*" >> "$LOG"
if [ "$1" = update ]; then
  left=$(cat "$FAILS")
  if [ "$left" != always ] && [ "$left" -eq 0 ]; then exit 0; fi
  [ "$left" = always ] || echo $((left - 1)) > "$FAILS"
  echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]" >&2
  echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
  exit 100
fi
case "$RESOLVES $*" in
  "plain "*|"preferred "*" -t "*) exit 0 ;;
esac
echo "E: Unable to correct problems, you have held broken packages." >&2
exit 100
""",
    "dpkg-query": "exit 1",                     # nothing is installed
    "dpkg": 'echo "dpkg $*" >> "$LOG"; [ "$1" != --print-foreign-architectures ] || echo i386',
    "locale": "echo de_DE.utf8",
    "id": "echo 0",
    "sleep": 'echo "sleep $*" >> "$LOG"',
}


def run_setup(update_failures, resolves="plain", **extra_env):
    with tempfile.TemporaryDirectory() as scratch:
        bin_dir = Path(scratch, "bin")
        bin_dir.mkdir()
        for name, body in STANDINS.items():
            path = bin_dir / name
            path.write_text("#!/bin/bash\n" + body + "\n")
            path.chmod(path.stat().st_mode | stat.S_IXUSR)
        log, fails = Path(scratch, "calls.log"), Path(scratch, "update_failures")
        log.touch()
        fails.write_text(str(update_failures))
        # The caller's TAMBIROX_WINE (a forced emulated run) is not this test's.
        env = dict(os.environ, PATH="%s:%s" % (bin_dir, os.environ["PATH"]),
                   LOG=str(log), FAILS=str(fails), RESOLVES=resolves, TAMBIROX_WINE="")
        env.update(extra_env)
        done = subprocess.run(["bash", str(SETUP)], env=env, capture_output=True,
                              text=True, timeout=60)
        return done, log.read_text().splitlines()


def wine_machine(switch):
    """scripts/wine_machine.sh with TAMBIROX_WINE=switch."""
    return subprocess.run(["bash", str(SETUP.parent / "wine_machine.sh")], capture_output=True,
                          env=dict(os.environ, TAMBIROX_WINE=switch), text=True, timeout=60)


def installs(calls):
    return [c.split() for c in calls if c.startswith("apt-get install")]


class MirrorFailures(unittest.TestCase):
    def test_update_that_fails_twice_is_retried_then_installs_the_newest(self):
        # Forced to emulate Wine: the emulated machine's packages come the same way.
        done, calls = run_setup(2, TAMBIROX_WINE="emulated")
        self.assertEqual(0, done.returncode, done.stderr)
        self.assertEqual(["apt-get update -qq", "sleep 5",
                          "apt-get update -qq", "sleep 10",
                          "apt-get update -qq"],
                         [c for c in calls if c.startswith(("apt-get update", "sleep"))])
        self.assertEqual(1, len(installs(calls)), calls)
        self.assertIn("wine32:i386", installs(calls)[0])
        self.assertIn("wine64", installs(calls)[0])
        self.assertNotIn("-t", installs(calls)[0])
        self.assertIn("qemu-system-x86", installs(calls)[0])
        self.assertEqual(2, done.stderr.count("trying again"), done.stderr)
        self.assertNotIn("WARNING", done.stderr)


class WineMachineSwitch(unittest.TestCase):
    def test_the_switch_forces_the_emulated_machine_and_takes_nothing_else(self):
        self.assertEqual("emulated\n", wine_machine("emulated").stdout)
        wrong = wine_machine("native")
        self.assertEqual(2, wrong.returncode)
        self.assertIn("it takes 'emulated' or nothing", wrong.stderr)


class IndexBrokenForDays(unittest.TestCase):
    """apt-get update fails on every try; the other indexes are there."""

    def assertWarned(self, stderr):
        self.assertIn("bookworm-security/main/binary-i386/Packages.xz was left out", stderr)
        self.assertIn("security fixes", stderr)
        self.assertIn("apt-get update && apt-get upgrade", stderr)

    def test_retries_for_two_minutes_then_installs_from_what_did_download(self):
        done, calls = run_setup("always")
        self.assertEqual(0, done.returncode, done.stderr)
        pauses = [int(c.split()[1]) for c in calls if c.startswith("sleep")]
        self.assertEqual(pauses, sorted(pauses), "pauses should grow")
        self.assertTrue(100 <= sum(pauses) <= 150, pauses)
        self.assertEqual(len(pauses) + 1, calls.count("apt-get update -qq"), calls)
        self.assertIn("going on without: bookworm-security/main/binary-i386/Packages.xz",
                      done.stderr)
        self.assertEqual(1, len(installs(calls)), calls)
        # Without the switch, only a kernel that runs no 32-bit code needs them.
        machine = wine_machine("").stdout.strip()
        self.assertEqual(machine == "emulated", "qemu-system-x86" in installs(calls)[0], machine)
        self.assertWarned(done.stderr)

    def test_unresolvable_install_prefers_the_release_once(self):
        done, calls = run_setup("always", resolves="preferred")
        self.assertEqual(0, done.returncode, done.stderr)
        plain, preferred = installs(calls)
        self.assertNotIn("-t", plain)
        self.assertEqual("bookworm", preferred[preferred.index("-t") + 1])
        self.assertIn("wine32:i386", preferred)
        self.assertWarned(done.stderr)
        self.assertIn("from bookworm's own release", done.stderr)

    def test_nothing_resolves_gives_up_naming_what_failed(self):
        done, calls = run_setup("always", resolves="never")
        self.assertNotEqual(0, done.returncode)
        self.assertEqual(2, len(installs(calls)), calls)
        failure, log_line = done.stderr.strip().splitlines()[-2:]
        self.assertIn("apt-get install failed", failure)
        self.assertIn("bookworm-security/main/binary-i386/Packages.xz", failure)
        self.assertIn("Try again later", failure)
        self.assertNotIn("WARNING", done.stderr)
        # apt's own words are not on the screen, but kept where the last line says.
        self.assertNotIn("held broken packages", done.stderr)
        log = Path(log_line.split("apt's whole output is in ")[1])
        self.addCleanup(log.unlink)
        self.assertIn("held broken packages", log.read_text())


if __name__ == "__main__":
    unittest.main()
