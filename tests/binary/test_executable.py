"""What the shipped uninstall.exe is, checked with binutils and icoutils:
format, subsystem, header flags, imports, the resources Explorer and the shell
show, and the application manifest Windows reads before the program starts."""
import os
import re
import struct
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

EXE = os.environ.get("UNINSTALL_EXE", "build/windows/uninstall/uninstall.exe")
GERMAN = "1031"
NEUTRAL = "0"
BUDGET = 30720

IMAGE_DLLCHARACTERISTICS = {"DYNAMIC_BASE": 0x0040, "NX_COMPAT": 0x0100,
                            "TERMINAL_SERVER_AWARE": 0x8000}


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
        self.assertLessEqual(size, BUDGET)

    def test_header_asks_for_aslr_dep_and_no_terminal_server_mapping(self):
        found = re.search(r"DllCharacteristics\s+([0-9a-f]+)", self.headers)
        flags = int(found.group(1), 16)
        for name, bit in IMAGE_DLLCHARACTERISTICS.items():
            self.assertTrue(flags & bit, "%s missing from DllCharacteristics 0x%04x" % (name, flags))

    def test_imports_only_what_the_program_calls(self):
        table = imports(self.headers)
        # Only KnownDLLs, which Windows never takes from the program's folder.
        # shell32 is loaded after DLL search is limited to System32: imported,
        # its own imports would be searched for in the program's folder
        # before the program's first instruction. No C runtime: no msvcrt.dll.
        self.assertEqual({"advapi32.dll", "kernel32.dll", "user32.dll"},
                         set(table), table)
        # The program's own calls: exactly these, nothing more.
        self.assertEqual({"RegCloseKey", "RegDeleteKeyA", "RegOpenKeyA",
                          "RegQueryValueExA"}, table["advapi32.dll"])
        self.assertEqual({"MessageBoxA"}, table["user32.dll"])
        # GetLastError: why a file could not be deleted.
        self.assertEqual({"DeleteFileA", "ExitProcess",
                          "ExpandEnvironmentStringsA", "GetLastError",
                          "GetModuleHandleA", "GetProcAddress",
                          "GetSystemDirectoryA", "LoadLibraryExA"},
                         table["kernel32.dll"])
        # Missing from Windows versions the program runs on: reached through
        # GetProcAddress, or it would not start there.
        for missing_before_8 in ("SetDefaultDllDirectories", "SetDllDirectoryA"):
            self.assertNotIn(missing_before_8, table["kernel32.dll"])
        # Nothing of the program may write, move or create files.
        for dll, functions in table.items():
            for forbidden in ("CreateFileA", "MoveFileA", "RemoveDirectoryA",
                              "RegSetValueExA", "RegCreateKeyA"):
                self.assertNotIn(forbidden, functions, dll)

    def test_no_c_runtime_start_up(self):
        # The C runtime's TLS callbacks and unwind tables: nothing of the
        # program's uses either, and a TLS callback would run before it.
        directory = re.search(r"Entry 9 ([0-9a-f]+) ([0-9a-f]+) Thread Storage",
                              self.headers)
        self.assertEqual(("00000000", "00000000"), directory.groups())
        sections = run("i686-w64-mingw32-objdump", "-h", EXE).decode()
        names = re.findall(r"^\s*\d+ (\S+)", sections, re.M)
        self.assertEqual([".text", ".data", ".rdata", ".idata", ".rsrc",
                          ".reloc"], names)


class Resources(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.listing = run("wrestool", "-l", EXE).decode()

    def entries(self):
        return set(re.findall(r"--type=(\d+) --name=(\d+) --language=(\d+)",
                              self.listing))

    def test_icons_strings_and_manifest_are_all_there_is(self):
        expected = {("3", str(n), GERMAN) for n in range(1, 9)}
        expected |= {("14", "107", GERMAN), ("14", "108", GERMAN),
                     ("6", "7", GERMAN), ("24", "1", NEUTRAL)}
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


ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPATIBILITY = "urn:schemas-microsoft-com:compatibility.v1"
SETTINGS_2005 = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"
SETTINGS_2016 = "http://schemas.microsoft.com/SMI/2016/WindowsSettings"
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",   # Vista
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",   # 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",   # 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",   # 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",   # 10 and 11
}


def path(*steps):
    """An ElementTree path of namespace-qualified steps: (namespace, name), ..."""
    return "/".join("{%s}%s" % step for step in steps)


class Manifest(unittest.TestCase):
    """RT_MANIFEST 1, read as strictly as Windows reads it: a manifest Windows
    rejects stops the program before its first instruction."""

    @classmethod
    def setUpClass(cls):
        cls.raw = run("wrestool", "-x", "--raw", "--type=24", "--name=1",
                      "--language=" + NEUTRAL, EXE)
        cls.text = cls.raw.decode("utf-8")      # strict: a bad byte fails here
        cls.root = ElementTree.fromstring(cls.raw)  # expat: well-formed or fails

    def one(self, *steps):
        found = self.root.findall(path(*steps))
        self.assertEqual(1, len(found), "%s: %d found" % (path(*steps), len(found)))
        return found[0]

    def test_is_a_version_1_assembly_in_utf8(self):
        self.assertTrue(self.text.startswith(
            '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'), self.text[:80])
        self.assertEqual("{%s}assembly" % ASM_V1, self.root.tag)
        self.assertEqual({"manifestVersion": "1.0"}, self.root.attrib)
        identity = self.one((ASM_V1, "assemblyIdentity")).attrib
        self.assertEqual({"type", "name", "version", "processorArchitecture"}, set(identity))
        self.assertEqual(("win32", "x86"), (identity["type"], identity["processorArchitecture"]))
        self.assertRegex(identity["version"], r"^\d+\.\d+\.\d+\.\d+$")

    def test_no_element_declares_a_namespace_twice(self):
        # Windows XP SP2 without KB921337 restarts when one element carries
        # the same namespace as a prefix and as the default; no prefixes at all.
        self.assertNotIn("xmlns:", self.text)
        for tag in re.findall(r"<[A-Za-z][^>]*>", self.text):
            self.assertLessEqual(tag.count("xmlns="), 1, tag)

    def test_always_runs_elevated(self):
        level = self.one((ASM_V3, "trustInfo"), (ASM_V3, "security"),
                         (ASM_V3, "requestedPrivileges"), (ASM_V3, "requestedExecutionLevel"))
        self.assertEqual({"level": "requireAdministrator", "uiAccess": "false"}, level.attrib)

    def test_supports_vista_to_11(self):
        listed = self.root.findall(path((COMPATIBILITY, "compatibility"),
                                        (COMPATIBILITY, "application"),
                                        (COMPATIBILITY, "supportedOS")))
        self.assertEqual(sorted(SUPPORTED_OS), sorted(os_.get("Id") for os_ in listed))

    def test_system_dpi_aware_and_per_monitor_v2_on_10(self):
        settings = ((ASM_V3, "application"), (ASM_V3, "windowsSettings"))
        self.assertEqual("true", self.one(*settings, (SETTINGS_2005, "dpiAware")).text)
        awareness = self.one(*settings, (SETTINGS_2016, "dpiAwareness")).text
        self.assertEqual(["permonitorv2", "system"],
                         [v.strip().lower() for v in awareness.split(",")])

    def test_themed_common_controls_6(self):
        identity = self.one((ASM_V1, "dependency"), (ASM_V1, "dependentAssembly"),
                            (ASM_V1, "assemblyIdentity"))
        self.assertEqual({"type": "win32", "name": "Microsoft.Windows.Common-Controls",
                          "version": "6.0.0.0", "processorArchitecture": "x86",
                          "publicKeyToken": "6595b64144ccf1df", "language": "*"},
                         identity.attrib)


if __name__ == "__main__":
    unittest.main()
