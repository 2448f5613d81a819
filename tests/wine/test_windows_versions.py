"""End-to-end under Wine set to other Windows versions: the same full run,
the same calls (the default prefix is covered by test_dialogs)."""

import unittest

import winefixture
from installation import Installation, RegValue
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
    def test_yes_to_both_removes_every_listed_item_under_each_version(self):
        for version, reported in VERSIONS.items():
            with self.subTest(version), winefixture.session().prefix("yes-yes-" + version) as p:
                p.seed(Installation(extra_keys={
                    r"HKEY_CURRENT_USER\Software\Wine": {"Version": RegValue.sz(version)}}))
                # The setting took, or this would only repeat the default run.
                rc, shown = p.wine(["cmd", "/c", "ver"])
                self.assertIn("Microsoft Windows %s" % reported, shown)

                self.assertYesYesRun(p)


if __name__ == "__main__":
    unittest.main()
