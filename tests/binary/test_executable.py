"""What the shipped uninstall.exe is, checked with binutils and icoutils:
format, subsystem, imports, and the resources Explorer and the shell show."""
import os
import re
import struct
import subprocess
import tempfile
import unittest

EXE = os.environ.get("UNINSTALL_EXE", "build/windows/uninstall/uninstall.exe")
GERMAN = "1031"


def run(*command):
    return subprocess.run(command, check=True, capture_output=True,
                          timeout=30).stdout


def imports(objdump_text):
    """{dll: {function, ...}} from `objdump -p`."""
    table, dll = {}, None
    for line in objdump_text.splitlines():
        named = re.match(r"\s*DLL Name: (\S+)", line)
        if named:
            dll = named.group(1).lower()
            table[dll] = set()
        elif dll and re.match(r"\s+[0-9a-f]+\s+\d+\s+\S+$", line):
            table[dll].add(line.split()[-1])
        elif not line.strip():
            dll = None
    return table


class Executable(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.headers = run("i686-w64-mingw32-objdump", "-p", EXE).decode()

    def test_is_a_small_32_bit_gui_program(self):
        self.assertIn("file format pei-i386", self.headers)
        self.assertRegex(self.headers, r"Magic\s+010b\s+\(PE32\)")
        self.assertRegex(self.headers, r"Subsystem\s+00000002\s+\(Windows GUI\)")
        size = os.path.getsize(EXE)
        print(f"\nuninstall.exe: {size} bytes")
        self.assertLess(size, 64 * 1024)

    def test_imports_only_what_the_program_and_its_runtime_need(self):
        table = imports(self.headers)
        self.assertEqual({"advapi32.dll", "kernel32.dll", "msvcrt.dll",
                          "shell32.dll", "user32.dll"}, set(table), table)
        # The program's own calls: exactly these, nothing more.
        self.assertEqual({"RegCloseKey", "RegDeleteKeyA", "RegOpenKeyA",
                          "RegQueryValueExA"}, table["advapi32.dll"])
        self.assertEqual({"ILFree", "SHGetPathFromIDListA",
                          "SHGetSpecialFolderLocation"}, table["shell32.dll"])
        self.assertEqual({"MessageBoxA"}, table["user32.dll"])
        self.assertLessEqual({"DeleteFileA", "ExpandEnvironmentStringsA"},
                             table["kernel32.dll"])
        # Nothing of the program may write, move or create files.
        for dll, functions in table.items():
            for forbidden in ("CreateFileA", "MoveFileA", "RemoveDirectoryA",
                              "RegSetValueExA", "RegCreateKeyA"):
                self.assertNotIn(forbidden, functions, dll)


class Resources(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.listing = run("wrestool", "-l", EXE).decode()

    def entries(self):
        return set(re.findall(r"--type=(\d+) --name=(\d+) --language=(\d+)",
                              self.listing))

    def test_two_icon_groups_sharing_eight_images_and_one_string_block(self):
        expected = {("3", str(n), GERMAN) for n in range(1, 9)}
        expected |= {("14", "107", GERMAN), ("14", "108", GERMAN),
                     ("6", "7", GERMAN)}
        self.assertEqual(expected, self.entries(), self.listing)

    def test_each_icon_group_lists_the_eight_sizes_and_depths(self):
        expected = [(32, 32, 4), (16, 16, 4), (48, 48, 8), (32, 32, 8),
                    (16, 16, 8), (48, 48, 24), (32, 32, 24), (16, 16, 24)]
        with tempfile.TemporaryDirectory() as scratch:
            for group in ("107", "108"):
                ico = os.path.join(scratch, group + ".ico")
                run("wrestool", "-x", "--type=14", "--name=" + group,
                    "--language=" + GERMAN, "-o", ico, EXE)
                listed = run("icotool", "-l", ico).decode()
                found = [tuple(int(v) for v in m) for m in re.findall(
                    r"--width=(\d+) --height=(\d+) --bit-depth=(\d+)", listed)]
                self.assertEqual(sorted(expected), sorted(found), group)

    def test_string_table_holds_103_and_109(self):
        # Block 7 holds IDs 96..111: 16 counted UTF-16 strings.
        raw = run("wrestool", "-x", "--raw", "--type=6", "--name=7",
                  "--language=" + GERMAN, EXE)
        strings, at = {}, 0
        for index in range(16):
            (length,) = struct.unpack_from("<H", raw, at)
            at += 2
            strings[96 + index] = raw[at:at + 2 * length].decode("utf-16-le")
            at += 2 * length
        self.assertEqual("uninstall", strings.pop(103))
        self.assertEqual("UNINSTALL", strings.pop(109))
        self.assertEqual({""}, set(strings.values()))


if __name__ == "__main__":
    unittest.main()
