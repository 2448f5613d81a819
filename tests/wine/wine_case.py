"""Assertions on a prefix's files and keys that name only what is wrong."""

import unittest
from typing import Dict, Iterable


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
