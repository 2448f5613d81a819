"""Assertions on a prefix's files and keys that name only what is wrong."""

import difflib
import ntpath
import unittest
from typing import Callable, Dict, Iterable, List, Optional

import planted_dlls
from expected import (ALL_FILES, ALL_KEYS, CONFIRM_BOX, FILE_TYPE_KEYS, INSTALL_DIR,
                      LEFT_IN_INSTALL_DIR, OTHER_FILES, OTHER_KEYS, PARTLY_REMOVED_BOX,
                      PRODUCT_FILES, REMOVED_BOX,
                      SETTINGS_BOX, SETTINGS_KEYS, SHORTCUTS, UNINSTALL_KEY, box_summary,
                      golden_trace, in_folder)
from winefixture import WORKING_DIR


class WineTestCase(unittest.TestCase):
    def _assert_states(self, what: str, actual: Dict[str, bool], present: Iterable[str],
                       absent: Iterable[str]) -> None:
        missing = [k for k in present if not actual[k]]
        left = [k for k in absent if actual[k]]
        problems = []
        if missing:
            problems.append("%s that should exist but do not:\n  %s" % (what, "\n  ".join(missing)))
        if left:
            problems.append("%s that should be gone but exist:\n  %s" % (what, "\n  ".join(left)))
        if problems:
            self.fail("\n".join(problems))

    def assertFiles(self, p, present: Iterable[str] = (), absent: Iterable[str] = ()) -> None:
        present, absent = list(present), list(absent)
        actual = {path: p.exists(path) for path in present + absent}
        self._assert_states("files", actual, present, absent)

    def assertKeys(self, p, present: Iterable[str] = (), absent: Iterable[str] = ()) -> None:
        present, absent = list(present), list(absent)
        self._assert_states("keys", p.keys(*present, *absent), present, absent)

    def assertTrace(self, p, name: str, expected: Optional[List[str]] = None) -> None:
        """The last run's own Win32 calls (Wine relay trace) against tests/traces/NAME.trace.

        expected, when given, replaces the golden file's lines (a variant of it).
        """
        want = golden_trace(name) if expected is None else expected
        # A subtest, so that the checks of the machine's state still run.
        with self.subTest("calls", trace=name):
            got = p.trace()
            if got != want:
                diff = difflib.unified_diff(want, got, "golden %s.trace" % name,
                                            "wine relay trace", lineterm="", n=1)
                self.fail("the program's calls under Wine differ from the golden trace:\n"
                          + "\n".join(diff))

    def assertBoxes(self, boxes: List[dict], expected: List[dict]) -> None:
        """The boxes of a run, in order, as expected.py states them."""
        self.assertEqual([box_summary(box) for box in boxes], expected)

    def assertYesYesRun(self, p, trace: str = "full_run_yes_yes",
                        install_dir: str = INSTALL_DIR, channels: str = "") -> None:
        """Runs the program answering Yes, Yes, OK: the three boxes, exit code 0,
        the calls of tests/traces/TRACE.trace, every listed file and key gone.

        install_dir: the folder the installation is in, if not INSTALL_DIR.
        channels: more Wine debug channels for the run (Prefix.run)."""
        boxes, code = p.run("yes", "yes", "ok", channels=channels)
        self.assertBoxes(boxes, [CONFIRM_BOX, SETTINGS_BOX, REMOVED_BOX])
        self.assertEqual(code, 0)
        self.assertTrace(p, trace, golden_trace(trace, install_dir))
        self.assertRemovedAsListed(p, install_dir=install_dir)

    def assertYesNoRun(self, p, install_dir: str = INSTALL_DIR) -> None:
        """Runs the program answering Yes, No, OK: the settings keys stay,
        everything else listed goes, the registration included."""
        boxes, code = p.run("yes", "no", "ok")
        self.assertBoxes(boxes, [CONFIRM_BOX, SETTINGS_BOX, REMOVED_BOX])
        self.assertEqual(code, 0)
        self.assertTrace(p, "full_run_yes_no", golden_trace("full_run_yes_no", install_dir))
        self.assertFiles(p, present=in_folder(install_dir, OTHER_FILES),
                         absent=in_folder(install_dir, PRODUCT_FILES) + SHORTCUTS)
        self.assertKeys(p, present=SETTINGS_KEYS + OTHER_KEYS,
                        absent=FILE_TYPE_KEYS + [UNINSTALL_KEY])

    def assertFileLeftThenFinished(self, p, kept: str, release: Callable[[], None],
                                   install_dir: str = INSTALL_DIR) -> None:
        """Yes, Yes, OK while the product file `kept` cannot be deleted: the rest
        goes, the warning comes instead of the success box, and the
        registration stays. After release() a second run removes what is
        left and reports success."""
        boxes, code = p.run("yes", "yes", "ok")
        self.assertBoxes(boxes, [CONFIRM_BOX, SETTINGS_BOX, PARTLY_REMOVED_BOX])
        self.assertEqual(code, 0)
        self.assertTrace(p, "file_left_yes_yes", golden_trace("file_left_yes_yes", install_dir))
        gone = [f for f in in_folder(install_dir, PRODUCT_FILES) if f != kept]
        self.assertFiles(p, present=in_folder(install_dir, OTHER_FILES) + [kept],
                         absent=gone + SHORTCUTS)
        self.assertKeys(p, present=OTHER_KEYS + [UNINSTALL_KEY],
                        absent=FILE_TYPE_KEYS + SETTINGS_KEYS)

        release()
        with self.subTest("second run, the file released"):
            boxes, code = p.run("yes", "yes", "ok")
            self.assertBoxes(boxes, [CONFIRM_BOX, SETTINGS_BOX, REMOVED_BOX])
            self.assertEqual(code, 0)
            self.assertTrace(p, "finish_after_file_left",
                             golden_trace("finish_after_file_left", install_dir))
            self.assertRemovedAsListed(p, install_dir=install_dir)

    def assertYesYesRunIgnoresPlantedDlls(self, p, install_dir: str = INSTALL_DIR) -> None:
        """assertYesYesRun on a seeded prefix with a DLL planted under every name
        of planted_dlls in the installation folder and the current folder: the
        same run, and no planted DLL ran. Any kind of prefix will do.

        Also: no process module came as a native file from outside Windows'
        own folders, and every module the run loaded has a planted namesake
        (when a new Wine loads another, this says which to add)."""
        planted_dlls.plant(p)
        working_dir = p.listing(WORKING_DIR)
        self.assertYesYesRun(p, install_dir=install_dir, channels=",+loaddll")
        with self.subTest("planted DLLs"):
            self.assertEqual(planted_dlls.markers(p), "", "planted DLLs ran")
            exe = p.installation.exe_path.lower()
            loaded = [(path.lower(), kind) for path, kind in p.loaded_dlls()]
            names = {ntpath.basename(path) for path, _ in loaded if path != exe}
            self.assertIn("shell32.dll", names, "no +loaddll lines read")
            self.assertEqual([path for path, kind in loaded if kind == "native"
                              and path != exe and not path.startswith("c:\\windows\\")], [],
                             "native modules from outside Windows' folders")
            self.assertEqual(sorted(names - set(planted_dlls.NAMES)), [],
                             "loaded, but no namesake planted (planted_dlls.LOADED)")
            self.assertEqual(p.listing(install_dir),
                             sorted(LEFT_IN_INSTALL_DIR + planted_dlls.NAMES))
            self.assertEqual(p.listing(WORKING_DIR), working_dir)

    def assertRemovedAsListed(self, p, kept_files: Iterable[str] = (),
                              install_dir: str = INSTALL_DIR) -> None:
        """After Yes and Yes: every listed file and key gone, everything else kept."""
        kept_files = list(kept_files)
        with self.subTest("files"):
            self.assertFiles(p, present=in_folder(install_dir, OTHER_FILES) + kept_files,
                             absent=[f for f in in_folder(install_dir, PRODUCT_FILES) + SHORTCUTS
                                     if f not in kept_files])
        with self.subTest("registry"):
            self.assertKeys(p, present=OTHER_KEYS,
                            absent=FILE_TYPE_KEYS + SETTINGS_KEYS + [UNINSTALL_KEY])

    def assertUnchanged(self, p, listing: List[str], install_dir: str = INSTALL_DIR,
                        registered: bool = True) -> None:
        """After a refusal: every seeded file and key still there, and the
        installation folder holds what it held before (listing).

        registered=False: an installation seeded without its uninstall key."""
        self.assertFiles(p, present=in_folder(install_dir, ALL_FILES))
        self.assertKeys(p, present=[k for k in ALL_KEYS if registered or k != UNINSTALL_KEY],
                        absent=[] if registered else [UNINSTALL_KEY])
        self.assertEqual(p.listing(install_dir), listing)
