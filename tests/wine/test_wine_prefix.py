"""The test prefix itself: what the scenarios and call traces rely on."""

import json
import os
import tempfile
import unittest
from pathlib import Path

import winefixture
from installation import Installation


class PrefixTest(unittest.TestCase):
    def test_user_folders_are_fixed_and_real_and_the_desktop_is_virtual(self):
        with winefixture.session().prefix("prefix") as p:
            p.seed(Installation())

            rc, out = p.probe("folders", "2", "16")
            self.assertEqual(rc, 0, out)
            paths = {item["csidl"]: item["path"] for item in map(json.loads, out.splitlines())}
            # Whoever runs the tests (CI runs as root): the same user folders.
            self.assertEqual(paths, {
                2: r"C:\users\tester\AppData\Roaming\Microsoft\Windows\Start Menu\Programs",
                16: r"C:\users\tester\Desktop",
            })

            # Real folders inside the prefix, never links to a real home.
            users = p.path / "drive_c" / "users"
            links = [str(path) for path in users.rglob("*") if path.is_symlink()]
            self.assertEqual(links, [])
            for folder in paths.values():
                self.assertTrue(os.path.isdir(p.host_path(folder)), folder)

            # The virtual desktop, not the whole 1024x768 screen of Xvfb.
            rc, out = p.probe("desktop")
            self.assertEqual(json.loads(out), {"width": 800, "height": 600})


class MachineCheckTest(unittest.TestCase):
    def test_only_a_refused_program_format_means_no_32_bit_code(self):
        with tempfile.TemporaryDirectory() as scratch:
            # What such a kernel does with the i386 loader: execve fails with ENOEXEC.
            refused = Path(scratch) / "wine"
            refused.write_bytes(b"\x7fELF\x01\x01\x01" + b"\0" * 57)
            refused.chmod(0o755)
            with self.assertRaises(winefixture.NoThirtyTwoBitCode):
                winefixture.check_machine_runs_32_bit_code(str(refused))
            # Wine missing is a set-up fault, for wineboot to report in its own words.
            winefixture.check_machine_runs_32_bit_code(str(Path(scratch) / "missing"))


if __name__ == "__main__":
    unittest.main()
