"""The relay-trace normaliser on hand-written Wine output: a wrong filter here
would make the Wine trace comparison pass or fail for the wrong reason."""
import unittest

from relay_trace import image_range, loaded_dlls, normalise, parse_args

RELAY = r"""
0104:0108:Call user32.MessageBoxA(00000000,00403000 "M\xf6chten Sie, wirklich?",00403040 "Uninstall",00000223) ret=00401234
0104:0108:Call advapi32.RegCloseKey(00000048) ret=7b012345
0104:0108:Ret  advapi32.RegCloseKey() retval=00000000 ret=7b012345
0104:0108:Ret  user32.MessageBoxA() retval=00000006 ret=00401234
0104:0108:Call advapi32.RegOpenKeyA(80000002,00403100 "Software\\X",0061fe2c) ret=00401250
0104:0108:Ret  advapi32.RegOpenKeyA() retval=00000002 ret=00401250
0104:0108:Call shell32.SHGetSpecialFolderLocation(00000000,00000010,0061fe28) ret=00401300
0104:0108:Ret  shell32.SHGetSpecialFolderLocation() retval=80004005 ret=00401300
0200:0204:Call advapi32.RegDeleteKeyA(80000000,00403200 ".tam") ret=00401400
0200:0204:Ret  advapi32.RegDeleteKeyA() retval=00000000 ret=00401400
0104:0108:Call advapi32.RegDeleteKeyA(80000001,00403300 "Software\\Z\\\"q\"") ret=00401400
0104:0108:Ret  advapi32.RegDeleteKeyA() retval=00000005 ret=00401400
0104:0108:Call shell32.ILFree(00150000) ret=00401500
0104:0108:Ret  shell32.ILFree() retval=00000001 ret=00401500
0104:0108:Call KERNEL32.ExpandEnvironmentStringsA(0061fc38 "%ProgramFiles%\\T\\u.exe",0061fabc,00000104) ret=0040177c
0104:0108:Ret  KERNEL32.ExpandEnvironmentStringsA() retval=00000019 ret=0040177c
0104:0108:Call KERNEL32.DeleteFileA(0061fafc "C:\\Program Files\\T\\t.exe") ret=004019c9
0104:0108:Ret  KERNEL32.DeleteFileA() retval=00000000 ret=004019c9
""".strip().splitlines()


class Normalise(unittest.TestCase):
    def test_keeps_only_the_programs_own_calls_in_call_order(self):
        self.assertEqual([
            'MessageBoxA(NULL, "M\\xf6chten Sie, wirklich?", "Uninstall", '
            '0x223) -> 6',
            'RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\\\X") -> 2',
            'SHGetSpecialFolderLocation(NULL, CSIDL_DESKTOPDIRECTORY) -> '
            '0x80004005',
            'RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\\\Z\\\\\\"q\\"") -> 5',
            'ILFree(pidl)',
            # Wine 8 names kernel32's functions in capitals (KERNEL32.DeleteFileA).
            'ExpandEnvironmentStringsA("%ProgramFiles%\\\\T\\\\u.exe", 260) -> 25',
            'DeleteFileA("C:\\\\Program Files\\\\T\\\\t.exe") -> 0',
        ], normalise(RELAY, 0x400000, 0x40a000, pid=0x104))

    def test_without_a_pid_every_process_counts(self):
        self.assertIn('RegDeleteKeyA(HKEY_CLASSES_ROOT, ".tam") -> 0',
                      normalise(RELAY, 0x400000, 0x40a000))

    def test_strings_with_commas_and_quotes_stay_one_argument(self):
        self.assertEqual([(0x80000001, None), (0x403300, r'"a,\"b\", c"')],
                         parse_args(r'80000001,00403300 "a,\"b\", c"'))

    def test_a_string_wine_shortened_keeps_its_mark(self):
        # Wine prints at most about 290 characters of a string and then "...":
        # such a line must never pass for the whole string.
        relay = [
            '0104:0108:Call KERNEL32.DeleteFileA(0061fafc "C:\\\\a\\\\a\\\\"...) ret=004019c9',
            '0104:0108:Ret  KERNEL32.DeleteFileA() retval=00000000 ret=004019c9',
        ]
        self.assertEqual(['DeleteFileA("C:\\\\a\\\\a\\\\"...) -> 0'],
                         normalise(relay, 0x400000, 0x40a000))

    def test_loaded_dlls_of_one_process_with_their_paths_unescaped(self):
        lines = [
            r'0104:0108:trace:loaddll:build_module Loaded L"C:\\Program Files\\T\\uninstall.exe" at 00400000: native',
            r'0200:0204:trace:loaddll:build_module Loaded L"C:\\T\\shcore.dll" at 6A940000: native',
            r'0104:0108:trace:loaddll:build_module Loaded L"C:\\windows\\system32\\shell32.dll" at 71400000: builtin',
            r'0104:0108:Call KERNEL32.DeleteFileA(0061fafc "C:\\x") ret=004019c9',
        ]
        self.assertEqual([(r"C:\Program Files\T\uninstall.exe", "native"),
                          (r"C:\windows\system32\shell32.dll", "builtin")],
                         loaded_dlls(lines, pid=0x104))

    def test_image_range_from_objdump(self):
        headers = "ImageBase\t\t00400000\nSizeOfImage\t\t0000c000\n"
        self.assertEqual((0x400000, 0x40c000), image_range(headers))


if __name__ == "__main__":
    unittest.main()
