"""scripts/setup.sh against a Debian mirror that fails, with stand-ins for
apt-get, dpkg, dpkg-query, locale, id and sleep on PATH: no network, nothing
installed, no real pauses."""

import os
import stat
import subprocess
import tempfile
import unittest
from pathlib import Path

SETUP = Path(__file__).resolve().parents[2] / "scripts" / "setup.sh"

# Each stand-in appends its arguments to calls.log. apt-get fails `update`
# as many times as update_failures says, then succeeds.
STANDINS = {
    "apt-get": """
echo "apt-get $*" >> "$LOG"
if [ "$1" = update ]; then
  left=$(cat "$FAILS")
  if [ "$left" != always ] && [ "$left" -eq 0 ]; then exit 0; fi
  [ "$left" = always ] || echo $((left - 1)) > "$FAILS"
  echo "E: Failed to fetch .../Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
  exit 100
fi
""",
    "dpkg-query": "exit 1",                     # nothing is installed
    "dpkg": 'echo "dpkg $*" >> "$LOG"; [ "$1" != --print-foreign-architectures ] || echo i386',
    "locale": "echo de_DE.utf8",
    "id": "echo 0",
    "sleep": 'echo "sleep $*" >> "$LOG"',
}


def run_setup(update_failures):
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
        env = dict(os.environ, PATH="%s:%s" % (bin_dir, os.environ["PATH"]),
                   LOG=str(log), FAILS=str(fails))
        done = subprocess.run(["bash", str(SETUP)], env=env, capture_output=True,
                              text=True, timeout=60)
        return done, log.read_text().splitlines()


class MirrorFailures(unittest.TestCase):
    def test_update_that_fails_twice_is_retried_then_installs(self):
        done, calls = run_setup(2)
        self.assertEqual(0, done.returncode, done.stderr)
        self.assertEqual(["apt-get update -qq", "sleep 5",
                          "apt-get update -qq", "sleep 10",
                          "apt-get update -qq"],
                         [c for c in calls if c.startswith(("apt-get update", "sleep"))])
        installs = [c for c in calls if c.startswith("apt-get install")]
        self.assertEqual(1, len(installs), calls)
        self.assertIn("wine32:i386", installs[0].split())
        self.assertEqual(2, done.stderr.count("trying again"), done.stderr)

    def test_update_that_always_fails_gives_up_after_two_minutes(self):
        done, calls = run_setup("always")
        self.assertNotEqual(0, done.returncode)
        pauses = [int(c.split()[1]) for c in calls if c.startswith("sleep")]
        self.assertEqual(pauses, sorted(pauses), "pauses should grow")
        self.assertTrue(100 <= sum(pauses) <= 150, pauses)
        self.assertEqual(len(pauses) + 1, calls.count("apt-get update -qq"), calls)
        self.assertFalse([c for c in calls if c.startswith("apt-get install")], calls)
        last = done.stderr.strip().splitlines()[-1]
        self.assertIn("apt-get update", last)
        self.assertIn("try again later", last)


if __name__ == "__main__":
    unittest.main()
