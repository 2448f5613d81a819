"""Assertions on a prefix's files and keys that name only what is wrong."""

import difflib
import unittest
from typing import Dict, Iterable, List, Optional

from expected import (ALL_FILES, ALL_KEYS, CONFIRM_BOX, FILE_TYPE_KEYS, INSTALL_DIR, OTHER_FILES,
                      OTHER_KEYS, PRODUCT_FILES, REMOVED_BOX, SETTINGS_BOX, SETTINGS_KEYS,
                      SHORTCUTS, UNINSTALL_KEY, box_summary, golden_trace)


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

    def assertYesYesRun(self, p, trace: str = "full_run_yes_yes") -> None:
        """Runs the program answering Yes, Yes, OK: the three boxes, exit code 0,
        the calls of tests/traces/TRACE.trace, every listed file and key gone."""
        boxes, code = p.run("yes", "yes", "ok")
        self.assertBoxes(boxes, [CONFIRM_BOX, SETTINGS_BOX, REMOVED_BOX])
        self.assertEqual(code, 0)
        self.assertTrace(p, trace)
        self.assertRemovedAsListed(p)

    def assertRemovedAsListed(self, p, kept_files: Iterable[str] = ()) -> None:
        """After Yes and Yes: every listed file and key gone, everything else kept."""
        kept_files = list(kept_files)
        with self.subTest("files"):
            self.assertFiles(p, present=OTHER_FILES + kept_files,
                             absent=[f for f in PRODUCT_FILES + SHORTCUTS if f not in kept_files])
        with self.subTest("registry"):
            self.assertKeys(p, present=OTHER_KEYS,
                            absent=FILE_TYPE_KEYS + SETTINGS_KEYS + [UNINSTALL_KEY])

    def assertUnchanged(self, p, listing: List[str]) -> None:
        """After a refusal: every seeded file and key still there, and the
        installation folder holds what it held before (listing)."""
        self.assertFiles(p, present=ALL_FILES)
        self.assertKeys(p, present=ALL_KEYS)
        self.assertEqual(p.listing(INSTALL_DIR), listing)
