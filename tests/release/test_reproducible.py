"""Two clean builds of HEAD, in clones that differ in folder, time zone,
umask, locale and time, give the same bytes; the link time stamp is the
commit's time, and follows a new commit in an incremental build.

The clones hold the last commit, not uncommitted changes.
"""
import shutil
import sys
import tempfile
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tools" / "reproducible"))
import reproducible  # noqa: E402


class CleanBuilds(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = Path(tempfile.mkdtemp(prefix="release-reproducible-"))
        cls.addClassCleanup(shutil.rmtree, cls.scratch, ignore_errors=True)
        cls.builds = reproducible.two_clean_builds(cls.scratch)
        print(file=sys.stderr)
        for build in cls.builds:
            print(build.summary(), file=sys.stderr)
        # Now: a later test rebuilds the second clone.
        first, second = cls.builds
        cls.difference = ("" if first.sha256 == second.sha256
                          else reproducible.differences(first.exe, second.exe))

    def test_two_clean_clones_give_the_same_bytes(self):
        first, second = self.builds
        self.assertNotEqual(first.folder, second.folder)
        self.assertEqual(first.sha256, second.sha256, self.difference)

    def test_the_time_stamp_is_the_last_commits_time(self):
        build = self.builds[0]
        committed = int(reproducible.git(build.folder, "log", "-1", "--format=%ct"))
        self.assertEqual(reproducible.pe_time_stamp(build.exe), committed)

    def test_rebuilds_relink_for_a_new_commit_time_and_only_then(self):
        # On the second clone: the first must stay as the comparison built it.
        build = self.builds[1]
        linked = build.exe.stat().st_mtime_ns

        reproducible.build(build.folder, reproducible.build_env())
        self.assertEqual(build.exe.stat().st_mtime_ns, linked, "relinked without a change")

        later = 1900000000
        env = reproducible.build_env(GIT_COMMITTER_DATE="@%d +0000" % later)
        reproducible.git(build.folder, "-c", "user.name=Test", "-c", "user.email=test@example.org",
                         "commit", "--quiet", "--allow-empty", "-m", "Later", env=env)
        reproducible.build(build.folder, reproducible.build_env())
        self.assertEqual(reproducible.pe_time_stamp(build.exe), later)

        # A SOURCE_DATE_EPOCH from outside wins over the commit.
        reproducible.build(build.folder, reproducible.build_env(SOURCE_DATE_EPOCH="1234567890"))
        self.assertEqual(reproducible.pe_time_stamp(build.exe), 1234567890)
        reproducible.build(build.folder, reproducible.build_env())
        self.assertEqual(reproducible.pe_time_stamp(build.exe), later)


if __name__ == "__main__":
    unittest.main()
