"""The README's first command, headless, answered Yes then No:

    bash scripts/demo.sh --settings no --pictures <scratch folder>

and what a newcomer reads in its output: the three boxes with the answers
they got, the before/after table (the 25 settings keys kept, everything else
of the product removed), the exit code; plus the pictures it names, and that
nothing of its Wine prefix is left running or on disk.

Takes about 30 s once everything is installed and built. Under CTest the
paths TAMBIROX_UNINSTALL_EXE and WINE_PROBE_EXE are passed on, and the demo
then uses them instead of building.
"""

import os
import re
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path
from typing import Dict, List, Tuple

REPO = Path(__file__).resolve().parents[2]
# setup.sh and the build are no-ops when done, but may install or build; in
# the emulated machine every Wine step takes several times as long.
TIMEOUT = 900 * float(os.environ.get("WINE_TEST_TIME_SCALE", "1"))

CONFIRM = "M\u00f6chten Sie TAMbirox 2000 wirklich von diesem PC entfernen?"
SETTINGS = "M\u00f6chten Sie auch die Programm-Einstellungen aus der Registry l\u00f6schen?"
REMOVED = "TAMbirox 2000 wurde erfolgreich entfernt."

HEADING = re.compile(r"^(Program files|Shortcuts|File-type keys|Settings keys|Uninstall key) "
                     r"\((\d+)\)")
ROW = re.compile(r"^  (\S.*?)\s{2,}(present|absent)\s+(present|absent)\s+"
                 r"(removed|kept|was not there|appeared)$")
BOX = re.compile(r"^Message box (\d+): ")
ANSWER = re.compile(r"^    answer: (\S+)")
PICTURE = re.compile(r"^    picture: (\S.*)$")
SCRATCH = re.compile(r"^Wine prefix and scratch HOME: removed \((/\S+)\)$")


def parse_table(lines: List[str]) -> Dict[str, List[Tuple[str, str, str, str]]]:
    """Rows per group heading, in the order printed."""
    groups: Dict[str, List[Tuple[str, str, str, str]]] = {}
    current = None
    for line in lines:
        heading = HEADING.match(line)
        if heading:
            current = heading.group(1)
            groups[current] = []
            continue
        row = ROW.match(line)
        if row and current is not None:
            groups[current].append(row.groups())
        elif not line.startswith("  "):
            current = None
    return groups


def parse_boxes(lines: List[str]) -> List[Dict[str, str]]:
    boxes: List[Dict[str, str]] = []
    for i, line in enumerate(lines):
        if BOX.match(line):
            boxes.append({"text": lines[i + 1].strip()})
        elif boxes and ANSWER.match(line):
            boxes[-1]["answer"] = ANSWER.match(line).group(1)
        elif boxes and PICTURE.match(line):
            boxes[-1]["picture"] = PICTURE.match(line).group(1)
    return boxes


def rgb_pixels(png: Path) -> Tuple[int, int, bytes]:
    size = subprocess.run(["identify", "-format", "%w %h", str(png)], capture_output=True,
                          check=True, timeout=30).stdout.split()
    raw = subprocess.run(["/usr/bin/convert", str(png), "-depth", "8", "rgb:-"],
                         capture_output=True, check=True, timeout=30).stdout
    return int(size[0]), int(size[1]), raw


def processes_using(folder: Path) -> List[str]:
    """Processes with a file, working folder or WINEPREFIX inside FOLDER."""
    inside = str(folder) + "/"
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            links = [os.readlink("/proc/%s/cwd" % pid)]
            links += [os.readlink("/proc/%s/fd/%s" % (pid, fd))
                      for fd in os.listdir("/proc/%s/fd" % pid)]
            with open("/proc/%s/environ" % pid, "rb") as env:
                prefix = [v.decode(errors="replace") for v in env.read().split(b"\0")
                          if v.startswith(b"WINEPREFIX=")]
        except OSError:      # ended meanwhile, or not ours to look at
            continue
        if any((link + "/").startswith(inside) for link in links) or \
                any((v[len("WINEPREFIX="):] + "/").startswith(inside) for v in prefix):
            found.append(pid)
    return found


class DemoSettingsNo(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pictures = Path(tempfile.mkdtemp(prefix="demo-test-pictures-"))
        env = dict(os.environ)
        env.pop("DISPLAY", None)     # headless whatever the caller has
        try:
            run = subprocess.run(
                ["bash", str(REPO / "scripts" / "demo.sh"), "--settings", "no",
                 "--pictures", str(cls.pictures)],
                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                env=env, timeout=TIMEOUT)
        except subprocess.TimeoutExpired as e:
            raise AssertionError("demo.sh did not end within %d s:\n%s"
                                 % (TIMEOUT, (e.output or b"").decode(errors="replace")))
        cls.status = run.returncode
        cls.output = run.stdout.decode("utf-8", errors="replace")
        cls.lines = cls.output.splitlines()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.pictures, ignore_errors=True)

    def setUp(self):
        self.assertEqual(self.status, 0, "demo.sh failed:\n" + self.output)

    def test_boxes_and_the_answers_they_got(self):
        boxes = parse_boxes(self.lines)
        self.assertEqual([(b["text"], b.get("answer")) for b in boxes],
                         [(CONFIRM, "Yes"), (SETTINGS, "No"), (REMOVED, "OK")], self.output)

    def test_table_settings_kept_the_rest_removed(self):
        groups = parse_table(self.lines)
        self.assertEqual(list(groups), ["Program files", "Shortcuts", "File-type keys",
                                        "Settings keys", "Uninstall key"], self.output)
        wanted = {"Program files": (19, "removed"), "Shortcuts": (2, "removed"),
                  "File-type keys": (6, "removed"), "Settings keys": (25, "kept"),
                  "Uninstall key": (1, "removed")}
        for group, (count, result) in wanted.items():
            with self.subTest(group):
                rows = groups[group]
                self.assertEqual(len({row[0] for row in rows}), count, rows)
                wrong = [row for row in rows if row[1:] != (
                    "present", "absent" if result == "removed" else "present", result)]
                self.assertEqual(wrong, [], "rows not %s" % result)
        self.assertIn("  tambirox.exe", "\n".join(self.lines))

    def test_exit_code_0(self):
        self.assertEqual([l for l in self.lines if l.startswith("Exit code:")], ["Exit code: 0"])

    def test_pictures_are_the_three_boxes_cropped_to_their_frame(self):
        boxes = parse_boxes(self.lines)
        named = [Path(b.get("picture", "")).name for b in boxes]
        self.assertEqual(named, ["MsgConfirmRemoval.png", "MsgAskSettings.png", "MsgRemoved.png"])
        self.assertEqual(sorted(p.name for p in self.pictures.iterdir()), sorted(named))
        contents = set()
        for name in named:
            with self.subTest(name):
                width, height, raw = rgb_pixels(self.pictures / name)
                contents.add(raw)
                # A box, not the 800x600 desktop or a sliver of it.
                self.assertTrue(200 <= width <= 600 and 80 <= height <= 200, (width, height))
                # The outermost ring is the box's grey frame: an offset crop
                # shows the blue desktop (or the blue title bar) there.
                ring = [(x, 0) for x in range(width)] + [(x, height - 1) for x in range(width)]
                ring += [(0, y) for y in range(height)] + [(width - 1, y) for y in range(height)]
                coloured = [(x, y) for x, y in ring
                            if max(raw[3 * (y * width + x):3 * (y * width + x) + 3])
                            - min(raw[3 * (y * width + x):3 * (y * width + x) + 3]) > 12]
                self.assertEqual(coloured[:5], [], "edge pixels that are not the grey frame")
        self.assertEqual(len(contents), 3, "two pictures are the same")

    def test_nothing_left_running_or_on_disk(self):
        scratch = [SCRATCH.match(l).group(1) for l in self.lines if SCRATCH.match(l)]
        self.assertEqual(len(scratch), 1, self.output)
        folder = Path(scratch[0])
        self.assertTrue(folder.name.startswith("wine-tests-"), folder)
        self.assertFalse(folder.exists())
        self.assertEqual(processes_using(folder), [])


if __name__ == "__main__":
    unittest.main()
