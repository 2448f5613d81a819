"""End-to-end under Wine set to other Windows versions: the same full run,
the same calls (the default prefix is covered by test_dialogs), and no DLL
planted in the installation folder or the current folder runs; and on a
64-bit Windows, where the 32-bit program runs under WOW64."""

import re
import unittest
from typing import Dict, Tuple

import winefixture
from expected import CONFIRM_BOX, INSTALL_DIR, INSTALL_DIR_X86, NOT_FOUND_BOX, UNINSTALL_KEY
from installation import Installation, Installation64, RegValue
from wine_case import WineTestCase

# Every version Wine 8.0 can name from Windows 2000 on, and the version
# `cmd /c ver` then reports. Wine 8.0 has no win11: Windows 11 reports 10.0
# and makes the same calls, so win10 stands for it.
VERSIONS = {
    "win2k": "5.0.2195",
    "winxp": "5.1.2600",
    "vista": "6.0.6002",
    "win7": "6.1.7601",
    "win8": "6.2.9200",
    "win81": "6.3.9600",
    "win10": "10.0.18362",
}


class WindowsVersionTest(WineTestCase):
    def test_yes_to_both_removes_every_listed_item_and_runs_no_planted_dll(self):
        for version, reported in VERSIONS.items():
            with self.subTest(version), winefixture.session().prefix("yes-yes-" + version) as p:
                p.seed(Installation(extra_keys={
                    r"HKEY_CURRENT_USER\Software\Wine": {"Version": RegValue.sz(version)}}))
                # The setting took, or this would only repeat the default run.
                rc, shown = p.wine(["cmd", "/c", "ver"])
                self.assertIn("Microsoft Windows %s" % reported, shown)

                self.assertYesYesRunIgnoresPlantedDlls(p)


def reg_values(listed: str) -> Dict[str, str]:
    """NAME: DATA of the values in `reg query KEY` output ("    NAME    TYPE    DATA")."""
    rows = [re.split(" {4}", line[4:]) for line in listed.splitlines() if line.startswith("    ")]
    return {row[0]: row[2] for row in rows if len(row) == 3}


class Wow64Test(WineTestCase):
    """A 64-bit Windows, as nearly every Windows 10 and every Windows 11 is:
    the 32-bit program runs under WOW64, and HKLM\\Software is for it the
    32-bit view (Software\\Wow6432Node), where its 32-bit installer wrote.
    The 64-bit view has a key of the same path (installation.Installation64)
    naming C:\\Program Files\\TAMbirox 2000 with the 19 files; it and they
    must outlast every run, and the program must never find it."""

    def other_view(self, p) -> Tuple[str, Dict[str, bytes]]:
        """The 64-bit key as the 64-bit reg.exe lists it, and its folder's files."""
        rc, listed = p.reg("query", UNINSTALL_KEY, view=64)
        self.assertEqual(rc, 0, "the 64-bit key is gone")
        return listed, {name: p.host_path(INSTALL_DIR + "\\" + name).read_bytes()
                        for name in p.listing(INSTALL_DIR)}

    def uninstall_string_32(self, p) -> str:
        rc, listed = p.reg("query", UNINSTALL_KEY, "/v", "UninstallString", view=32)
        return reg_values(listed).get("UninstallString", "no key") if rc == 0 else "no key"

    def test_only_the_32_bit_view_is_used_under_windows_7_and_10(self):
        for version in ("win7", "win10"):
            with self.subTest(version), \
                    winefixture.session().prefix("wow64-" + version, arch="win64") as p:
                def installation(**kwargs) -> Installation:
                    return Installation(install_dir=INSTALL_DIR_X86, extra_keys={
                        r"HKEY_CURRENT_USER\Software\Wine": {"Version": RegValue.sz(version)}},
                        **kwargs)

                p.seed_64bit_view(Installation64())
                p.seed(installation(uninstall_key=False))
                self.assertIn("Microsoft Windows %s" % VERSIONS[version],
                              p.wine(["cmd", "/c", "ver"])[1])
                # The two views differ, so a run shows which one it used.
                other = self.other_view(p)
                self.assertEqual(reg_values(other[0]), {
                    "DisplayName": "TAMbirox 2000 (64-Bit)",
                    "UninstallString": r"C:\Program Files\TAMbirox 2000\uninstall.exe",
                    "Ansicht": "64-Bit"})
                self.assertEqual(len(other[1]), 19)
                self.assertEqual(self.uninstall_string_32(p), "no key")

                with self.subTest("registered in the 64-bit view only: not found"):
                    listing = p.listing(INSTALL_DIR_X86)
                    boxes, code = p.run("yes", "ok")
                    self.assertBoxes(boxes, [CONFIRM_BOX, NOT_FOUND_BOX])
                    self.assertEqual(code, 0)
                    self.assertTrace(p, "not_found_no_key")
                    self.assertUnchanged(p, listing, INSTALL_DIR_X86, registered=False)
                    self.assertEqual(self.other_view(p), other)

                # Seeding again puts back what a run removed, and the 32-bit key.
                # TAMbirox 2000 left open once, on 10, and before DLLs are planted
                # next to it: its stand-in, the probe, does not guard against them.
                runs = ["yes, no"] + (["still running"] if version == "win10" else []) + \
                    ["yes, yes"]
                for case in runs:
                    with self.subTest(case):
                        p.seed(installation())
                        with self.subTest("seeded in the 32-bit view"):   # the run goes on anyway
                            self.assertEqual(self.uninstall_string_32(p), r"C:\Program Files "
                                             r"(x86)\TAMbirox 2000\uninstall.exe")
                        if case == "yes, no":
                            self.assertYesNoRun(p, INSTALL_DIR_X86)
                        elif case == "still running":
                            program = p.start_product_program()
                            self.assertFileLeftThenFinished(p, program, p.stop_product_program,
                                                            INSTALL_DIR_X86)
                        else:
                            self.assertYesYesRunIgnoresPlantedDlls(p, INSTALL_DIR_X86)
                        self.assertEqual(self.other_view(p), other)

                with self.subTest("second run: the 64-bit key is not the program's"):
                    boxes, code = p.run("yes", "ok")
                    self.assertBoxes(boxes, [CONFIRM_BOX, NOT_FOUND_BOX])
                    self.assertEqual(code, 0)
                    self.assertTrace(p, "not_found_no_key")
                    self.assertRemovedAsListed(p, install_dir=INSTALL_DIR_X86)
                    self.assertEqual(self.other_view(p), other)


if __name__ == "__main__":
    unittest.main()
