"""Turns Wine's relay trace of uninstall.exe into the call-trace format of the
host stand-in's journal (standin/include/trace_format.h), so the golden trace
files under tests/traces check the real executable too.

Wine prints, with WINEDEBUG=+pid,+relay and RelayInclude naming the imports:
  0104:0108:Call advapi32.RegDeleteKeyA(80000000,0040a0c4 ".tam") ret=004015e6
  0104:0108:Ret  advapi32.RegDeleteKeyA() retval=00000000 ret=004015e6
Only calls whose return address lies inside the program's image are kept:
Wine's own DLLs call some of the same functions internally.

As Wine 8.0 prints it (seen here):
- kernel32's functions appear in capitals, "KERNEL32.DeleteFileA", although
  they live in kernelbase; RelayInclude names them "kernel32.DeleteFileA"
  (matched without regard to case). The DLL name is not used below.
- Strings are escaped as trace_format.h describes ("\\xf6", lower-case hex).
- A string longer than about 290 printed characters is cut and marked with
  "..." after its closing quote; the mark is kept, so such a line can never
  pass for the whole string.
"""
import re

# The functions the program calls in Windows, as RelayInclude names them
# (shell32's through GetProcAddress: Wine relays those calls too).
TRACED = (
    "user32.MessageBoxA",
    "advapi32.RegOpenKeyA",
    "advapi32.RegQueryValueExA",
    "advapi32.RegCloseKey",
    "advapi32.RegDeleteKeyA",
    "kernel32.DeleteFileA",
    "kernel32.GetLastError",
    "kernel32.ExpandEnvironmentStringsA",
    "shell32.SHGetSpecialFolderLocation",
    "shell32.SHGetPathFromIDListA",
    "shell32.ILFree",
)
RELAY_INCLUDE = ";".join(TRACED)

ROOTS = {0x80000000: "HKEY_CLASSES_ROOT", 0x80000001: "HKEY_CURRENT_USER",
         0x80000002: "HKEY_LOCAL_MACHINE"}
FOLDERS = {0x2: "CSIDL_PROGRAMS", 0x10: "CSIDL_DESKTOPDIRECTORY"}

LINE = re.compile(
    r"^(?P<pid>[0-9a-f]+):(?P<tid>[0-9a-f]+):(?P<kind>Call|Ret)\s+"
    r"(?P<dll>[\w.-]+)\.(?P<name>\w+)\((?P<args>.*)\)"
    r"(?: retval=(?P<retval>[0-9a-f]+))? ret=(?P<ret>[0-9a-f]+)$")
ARG = re.compile(r'([0-9a-f]+)(?: (L?"(?:[^"\\]|\\.)*"(?:\.\.\.)?))?(?:,|$)')


def parse_args(text):
    """[(number, quoted string or None), ...] of one relay argument list."""
    return [(int(number, 16), string or None)
            for number, string in ARG.findall(text)]


def handle(value):
    return ROOTS.get(value, "key")


def signed(value):
    return value - (1 << 32) if value & 0x80000000 else value


def describe(name, args, retval):
    """One line in the stand-in's format, or None for a function not traced."""
    def text(i):
        return args[i][1] if args[i][1] is not None else "NULL"

    owner = "NULL" if args and args[0][0] == 0 else "hwnd"
    if name == "MessageBoxA":
        return (f"MessageBoxA({owner}, {text(1)}, {text(2)}, "
                f"{args[3][0]:#x}) -> {retval}")
    if name in ("RegOpenKeyA", "RegDeleteKeyA"):
        return f"{name}({handle(args[0][0])}, {text(1)}) -> {signed(retval)}"
    if name == "RegQueryValueExA":
        return f"RegQueryValueExA(key, {text(1)}) -> {signed(retval)}"
    if name == "RegCloseKey":
        return f"RegCloseKey({handle(args[0][0])}) -> {signed(retval)}"
    if name == "DeleteFileA":
        return f"DeleteFileA({text(0)}) -> {retval}"
    if name == "GetLastError":
        return f"GetLastError() -> {retval}"
    if name == "ExpandEnvironmentStringsA":
        return f"ExpandEnvironmentStringsA({text(0)}, {args[2][0]}) -> {retval}"
    if name == "SHGetSpecialFolderLocation":
        folder = FOLDERS.get(args[1][0], str(args[1][0]))
        return f"SHGetSpecialFolderLocation({owner}, {folder}) -> {retval:#x}"
    if name == "SHGetPathFromIDListA":
        return f"SHGetPathFromIDListA(pidl) -> {retval}"
    if name == "ILFree":
        return "ILFree(NULL)" if args[0][0] == 0 else "ILFree(pidl)"
    return None


def normalise(relay_lines, image_start, image_end, pid=None):
    """The program's own calls, in order, from Wine's relay output.

    image_start/image_end bound the executable's image; pid, when given,
    keeps only that process (a Wine desktop process inherits the tracing).
    Calls are matched to their returns per thread, innermost first."""
    pending = {}  # thread -> stack of [name, args, own, index]
    calls = []
    for raw in relay_lines:
        match = LINE.match(raw.rstrip("\n"))
        if not match or (pid is not None and int(match["pid"], 16) != pid):
            continue
        thread = match["tid"]
        name = match["name"]
        own = image_start <= int(match["ret"], 16) < image_end
        if match["kind"] == "Call":
            stack = pending.setdefault(thread, [])
            stack.append([name, parse_args(match["args"]), own, None])
            if own:
                calls.append(None)  # placeholder keeps the order of calls
                stack[-1][3] = len(calls) - 1
            continue
        stack = pending.get(thread, [])
        while stack and stack[-1][0] != name:
            stack.pop()  # a call that never returned normally
        if not stack:
            continue
        called, args, own, index = stack.pop()
        if own:
            calls[index] = describe(called, args, int(match["retval"] or "0", 16))
    return [line for line in calls if line is not None]


LOADED = re.compile(r'^(?P<pid>[0-9a-f]+):[0-9a-f]+:trace:loaddll:\w+ '
                    r'Loaded L"(?P<path>(?:[^"\\]|\\.)*)" at [0-9A-Fa-f]+: (?P<kind>\w+)$')


def loaded_dlls(lines, pid):
    """(path, kind) of each module one process loaded, from +loaddll output:
      0104:0108:trace:loaddll:build_module Loaded L"C:\\windows\\system32\\x.dll" at 7B000000: builtin
    kind is "native" (the file itself) or "builtin" (Wine's own DLL)."""
    loaded = []
    for raw in lines:
        match = LOADED.match(raw.rstrip("\n"))
        if match and int(match["pid"], 16) == pid:
            loaded.append((re.sub(r"\\(.)", r"\1", match["path"]), match["kind"]))
    return loaded


def image_range(objdump_headers):
    """(start, end) of the executable's image from `objdump -p` output."""
    base = int(re.search(r"ImageBase\s+([0-9a-f]+)", objdump_headers)[1], 16)
    size = int(re.search(r"SizeOfImage\s+([0-9a-f]+)", objdump_headers)[1], 16)
    return base, base + size
