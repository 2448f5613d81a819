#!/usr/bin/python3
"""Writes the seed corpus for fuzz_install_paths into fuzz/corpus/.

One input is laid out as:
  byte 0   registry type of UninstallString (REG_SZ 1, REG_EXPAND_SZ 2,
           REG_BINARY 3, REG_DWORD 4, REG_MULTI_SZ 7; any byte is allowed)
  byte 1   bits 0-1 CSIDL_PROGRAMS, bits 2-3 CSIDL_DESKTOPDIRECTORY:
             0 has a path, 1 unresolvable, 2 no file-system path, 3 not set
           bit 4 the key exists without UninstallString
           bit 5 the key does not exist
  fields   each a 2-byte little-endian length and that many bytes:
             UninstallString's bytes exactly as stored (give the NUL),
             CSIDL_PROGRAMS path, CSIDL_DESKTOPDIRECTORY path (cut at the
             first NUL; put under "C:\\" unless already absolute),
             then environment variables as name, value pairs to the end.

Usage: make_corpus.py [output directory]  (default: corpus/ beside this file)
"""
import os
import struct
import sys

REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ = 1, 2, 3, 4, 7
PATH, UNRESOLVABLE, WITHOUT_PATH, UNSET = 0, 1, 2, 3
NO_VALUE, NO_KEY = 0x10, 0x20

PROGRAMS = (b"C:\\Users\\tester\\AppData\\Roaming\\Microsoft\\Windows"
            b"\\Start Menu\\Programs")
DESKTOP = b"C:\\Users\\tester\\Desktop"
ENVIRONMENT = [(b"ProgramFiles", b"C:\\Program Files"),
               (b"SystemRoot", b"C:\\Windows")]
NUL = b"\0"


def field(data):
    return struct.pack("<H", len(data)) + data


def encode(value, value_type=REG_SZ, programs=(PATH, PROGRAMS),
           desktop=(PATH, DESKTOP), environment=ENVIRONMENT, flags=0):
    header = bytes([value_type,
                    programs[0] | desktop[0] << 2 | flags])
    body = field(value) + field(programs[1]) + field(desktop[1])
    for name, text in environment:
        body += field(name) + field(text)
    return header + body


def path_of_length(length, tail=b"\\uninstall.exe"):
    """An absolute path of exactly `length` characters ending in `tail`."""
    head = b"C:\\"
    return head + b"d" * (length - len(head) - len(tail)) + tail


def folder_of_length(length):
    return b"C:\\" + b"f" * (length - 3)


INSTALL = b"C:\\Program Files\\TAMbirox 2000\\uninstall.exe"

CASES = {
    "plain_path": encode(INSTALL + NUL),
    "quoted_with_arguments": encode(
        b'"C:\\Program Files\\TAMbirox 2000\\uninstall.exe" /S '
        b'/LOG="D:\\x\\y.log"' + NUL),
    "unmatched_quote": encode(b'"' + INSTALL + NUL),
    "unquoted_with_arguments": encode(
        b"C:\\TAMbirox\\uninstall.exe /log=C:\\Temp\\u.log" + NUL),
    "empty": encode(NUL),
    "empty_without_nul": encode(b""),
    "no_backslash": encode(b"uninstall.exe" + NUL),
    "relative": encode(b"TAMbirox 2000\\uninstall.exe" + NUL),
    "drive_relative": encode(b"C:TAMbirox\\uninstall.exe" + NUL),
    "root_relative": encode(b"\\TAMbirox\\uninstall.exe" + NUL),
    "unc": encode(b"\\\\server\\share\\TAMbirox\\uninstall.exe" + NUL),
    "unc_share_only": encode(b"\\\\server\\share" + NUL),
    "device_path": encode(b"\\\\.\\C:\\TAMbirox\\uninstall.exe" + NUL),
    "device_path_question": encode(b"\\\\?\\C:\\TAMbirox\\uninstall.exe" + NUL),
    "value_without_nul": encode(INSTALL),
    "length_259": encode(path_of_length(259) + NUL),
    "length_260": encode(path_of_length(260) + NUL),
    "bytes_260_without_nul": encode(path_of_length(260)),
    "bytes_259_without_nul": encode(path_of_length(259)),
    "embedded_nul": encode(b"C:\\A\\uninstall.exe" + NUL +
                           b"D:\\Other\\Dir\\x.exe" + NUL),
    "expand_program_files": encode(
        b"%ProgramFiles%\\TAMbirox 2000\\uninstall.exe" + NUL, REG_EXPAND_SZ),
    "expand_quoted": encode(
        b'"%ProgramFiles%\\TAMbirox 2000\\uninstall.exe" /S' + NUL,
        REG_EXPAND_SZ),
    "expand_unknown_variable": encode(
        b"%NichtGesetzt%\\TAMbirox\\uninstall.exe" + NUL, REG_EXPAND_SZ),
    "expand_beyond_260": encode(
        b"%ProgramFiles%\\TAMbirox 2000\\uninstall.exe" + NUL, REG_EXPAND_SZ,
        environment=[(b"ProgramFiles", b"C:\\" + b"p" * 250)]),
    "expand_to_259": encode(
        b"%ProgramFiles%\\uninstall.exe" + NUL, REG_EXPAND_SZ,
        environment=[(b"ProgramFiles", b"C:\\" + b"p" * 242)]),
    "percent_in_reg_sz": encode(
        b"%ProgramFiles%\\TAMbirox 2000\\uninstall.exe" + NUL),
    "reg_dword": encode(struct.pack("<I", 1), REG_DWORD),
    "reg_binary_path": encode(INSTALL + NUL, REG_BINARY),
    "reg_multi_sz": encode(INSTALL + NUL + NUL, REG_MULTI_SZ),
    "reg_none": encode(INSTALL + NUL, 0),
    "no_value": encode(INSTALL + NUL, flags=NO_VALUE),
    "no_key": encode(INSTALL + NUL, flags=NO_KEY),
    "folders_unresolvable": encode(INSTALL + NUL, programs=(UNRESOLVABLE, b""),
                                   desktop=(UNRESOLVABLE, b"")),
    "folders_without_path": encode(INSTALL + NUL, programs=(WITHOUT_PATH, b""),
                                   desktop=(WITHOUT_PATH, b"")),
    "folders_unset": encode(INSTALL + NUL, programs=(UNSET, b""),
                            desktop=(UNSET, b"")),
    "folder_242": encode(INSTALL + NUL, programs=(PATH, folder_of_length(242)),
                         desktop=(PATH, folder_of_length(242))),
    "folder_243": encode(INSTALL + NUL, programs=(PATH, folder_of_length(243)),
                         desktop=(PATH, folder_of_length(243))),
    "folder_259_and_260": encode(
        INSTALL + NUL, programs=(PATH, folder_of_length(259)),
        desktop=(PATH, folder_of_length(260))),
    "folder_unc": encode(INSTALL + NUL,
                         programs=(PATH, b"\\\\server\\profiles\\Programs")),
}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "corpus")
    os.makedirs(out, exist_ok=True)
    for name, data in CASES.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    print(f"{len(CASES)} seeds in {out}")


if __name__ == "__main__":
    main()
