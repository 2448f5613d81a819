#!/usr/bin/python3
"""Measures the uninstaller's footprint and prints a Markdown table:
executable size and where the bytes go, its SHA-256 and whether two clean
builds give the same bytes, imports, Win32 calls per full run under Wine
against the golden trace, heap allocations during the sequence, and the wall
time of a full run under Wine against a one-box program.

Every figure is measured in this run. Run it through scripts/benchmark.sh,
which builds what it needs first.
"""
import argparse
import datetime
import json
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import pefile

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tests" / "wine"))
sys.path.insert(0, str(REPO / "tools" / "reproducible"))
sys.path.insert(0, str(REPO / "tools" / "emulated_wine"))

EXE = REPO / "build/windows/uninstall/uninstall.exe"
ONE_BOX = REPO / "build/windows/tools/benchmark/one_box.exe"
NO_HEAP_TESTS = REPO / "build/host/tests/host/no_heap_tests"

SIZE_BUDGET = 30 * 1024
RT_ICON, RT_GROUP_ICON, RT_STRING, RT_MANIFEST = 3, 14, 6, 24


def size_rows():
    pe = pefile.PE(str(EXE))
    total = os.path.getsize(EXE)
    sections = {s.Name.rstrip(b"\0").decode(): s.SizeOfRawData for s in pe.sections}
    headers = pe.sections[0].PointerToRawData
    resources = {RT_ICON: 0, RT_GROUP_ICON: 0, RT_STRING: 0, RT_MANIFEST: 0}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name in kind.directory.entries:
            for language in name.directory.entries:
                resources[kind.id] = resources.get(kind.id, 0) + language.data.struct.Size
    other = {k: v for k, v in sections.items() if k not in (".text", ".rsrc")}
    own = own_code_sizes()
    rows = [
        ("uninstall.exe size", f"{total:,} bytes",
         f"budget {SIZE_BUDGET:,}: {'holds' if total <= SIZE_BUDGET else 'EXCEEDED'}"),
        ("  code (.text)", f"{sections.get('.text', 0):,}",
         f"the program's own code and constants: {sum(own.values()):,} bytes ("
         + ", ".join(f"{name} {size:,}" for name, size in sorted(own.items()))
         + "), in .text and .rdata; there is no C runtime"),
        ("  resources (.rsrc)", f"{sections.get('.rsrc', 0):,}",
         f"8 icon images {resources[RT_ICON]:,} (stored once, shared by groups "
         f"107 and 108), 2 group directories {resources[RT_GROUP_ICON]:,}, "
         f"strings {resources[RT_STRING]:,}, manifest {resources[RT_MANIFEST]:,}, "
         "the rest directory and alignment"),
        ("  other sections", f"{sum(other.values()):,}",
         ", ".join(f"{k} {v:,}" for k, v in sorted(other.items()))),
        ("  headers", f"{headers:,}", ""),
        ("header flags (DllCharacteristics)", f"0x{pe.OPTIONAL_HEADER.DllCharacteristics:04x}",
         ", ".join(name[len("IMAGE_DLLCHARACTERISTICS_"):]
                   for name, bit in pefile.dll_characteristics
                   if pe.OPTIONAL_HEADER.DllCharacteristics & bit)),
    ]
    return rows, pe


def own_code_sizes():
    """{source file: .text + .rdata} of the program's objects; there is no C
    runtime to leave out."""
    sizes = {}
    for obj in sorted((REPO / "build/windows/uninstall").rglob("*.obj")):
        out = subprocess.run(["i686-w64-mingw32-size", "-A", str(obj)],
                             capture_output=True, text=True, check=True).stdout
        sizes[obj.name[:-len(".obj")]] = sum(int(size) for name, size in re.findall(
            r"^(\.text\S*|\.rdata\S*)\s+(\d+)", out, re.M))
    return sizes


def identity_rows():
    """The measured build's SHA-256, and two clean builds of the commit."""
    import reproducible

    digest = reproducible.sha256(EXE)
    stamp = datetime.datetime.fromtimestamp(reproducible.pe_time_stamp(EXE),
                                            datetime.timezone.utc)
    commit = reproducible.git(REPO, "rev-parse", "--short", "HEAD")
    rows = [("SHA-256 of uninstall.exe", f"`{digest}`",
             f"commit {commit}; link time stamp {stamp:%Y-%m-%d %H:%M:%S} UTC")]
    settings = "; ".join(f"TZ={s.tz}, umask {s.umask:03o}, {s.locale}"
                         for s in reproducible.SETTINGS)
    with tempfile.TemporaryDirectory(prefix="benchmark-reproducible-") as scratch:
        first, second = reproducible.two_clean_builds(Path(scratch))
        if first.sha256 == second.sha256:
            same = ("the same bytes as the measured build" if first.sha256 == digest
                    else f"not the measured build's bytes ({first.sha256[:16]}...): "
                         "uncommitted changes?")
            rows.append(("reproducible", "yes (2 builds)",
                         f"clean clones of {commit} in two folders ({settings}): {same}"))
        else:
            rows.append(("reproducible", "NO (2 builds)",
                         reproducible.differences(first.exe, second.exe)))
    return rows


def import_rows(pe):
    table = {entry.dll.decode().lower(): sorted(i.name.decode() for i in entry.imports)
             for entry in pe.DIRECTORY_ENTRY_IMPORT}
    count = sum(len(v) for v in table.values())
    rows = [("imports", f"{count} functions from {len(table)} DLLs",
             "all Windows system DLLs")]
    for dll, names in sorted(table.items()):
        rows.append((f"  {dll}", str(len(names)), ", ".join(names)))
    return rows


def heap_rows():
    out = subprocess.run([str(NO_HEAP_TESTS)], capture_output=True, text=True,
                         timeout=60).stdout
    counts = re.findall(r"heap allocations during a run with (\d+) answers: (\d+)", out)
    if not counts:
        raise RuntimeError("no_heap_tests printed no count:\n" + out)
    worst = max(int(n) for _, n in counts)
    return [("heap allocations in the sequence (host, malloc interposed)",
             str(worst), f"budget 0: {'holds' if worst == 0 else 'EXCEEDED'}; "
             f"{len(counts)} runs (Yes+Yes, Yes+No, No)")]


def wine_rows(runs):
    import winefixture
    from expected import golden_trace
    from installation import Installation

    session = winefixture.session()
    rows = []
    with session.prefix("benchmark") as p:
        # Calls, from one run traced by the fixture (the program's own calls only).
        p.seed(Installation())
        p.run("yes", "yes", "ok")
        calls = p.trace()
        golden = golden_trace("full_run_yes_yes")
        same = ("the same calls in the same order" if calls == golden
                else f"DIFFERENT: {sum(a != b for a, b in zip(calls, golden))} lines differ")
        rows.append(("Win32 calls, full run Yes+Yes (Wine relay trace)", str(len(calls)),
                     f"least the sequence needs (golden trace): {len(golden)}; {same}"))

        # Wall time: the same prefix and answers style for both programs.
        uninstaller, baseline = [], []
        baseline_exe = p.host_path(r"C:\one_box.exe")
        shutil.copyfile(ONE_BOX, baseline_exe)
        for _ in range(runs):
            p.seed(Installation())
            started = time.monotonic()
            p.start_uninstaller()
            for answer in ("yes", "yes", "ok"):
                p.answer(answer)
            p.wait_exit()
            uninstaller.append(time.monotonic() - started)

            started = time.monotonic()
            process = subprocess.Popen(["wine", r"C:\one_box.exe"], env=p.env,
                                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
            try:
                p.answer("ok")
                process.wait(timeout=winefixture.EXIT_TIMEOUT)
            finally:
                if process.poll() is None:
                    process.kill()  # our own child, by pid
                    process.wait(timeout=5)
            baseline.append(time.monotonic() - started)

    full = statistics.median(uninstaller)
    one = statistics.median(baseline)
    rows.append(("wall time, full run Yes+Yes under Wine (median)", f"{full:.2f} s",
                 f"{runs} runs, 3 boxes answered by wine_probe"))
    rows.append(("wall time, one-box program under Wine (median)", f"{one:.2f} s",
                 f"{runs} runs, 1 box answered the same way"))
    rows.append(("ratio full run / one box", f"{full / one:.2f}",
                 f"per box shown: {full / 3:.2f} s against {one:.2f} s"))
    return rows


def emulated_wine_rows(runs):
    """wine_rows, measured in the emulated machine where this kernel runs no 32-bit code."""
    import emulated_wine
    with tempfile.TemporaryDirectory(prefix="benchmark-") as scratch:
        rows_file = Path(scratch) / "rows.json"
        status = emulated_wine.run(["/usr/bin/python3", str(Path(__file__).resolve()),
                                    "--runs", str(runs), "--wine-rows-to", str(rows_file)],
                                   writable=[Path(scratch)])
        if status != 0:
            raise RuntimeError("the Wine figures failed in the emulated machine (output above)")
        rows = json.loads(rows_file.read_text())
    return [("Wine figures", "emulated machine",
             "measured in an x86_64 machine that qemu emulates (TCG), since this kernel runs "
             "no 32-bit code: times are several times those on hardware, so compare them "
             "only with each other")] + \
        [(figure + " (emulated)", value, note) for figure, value, note in rows]


def machine():
    cpu = "unknown CPU"
    try:
        for line in open("/proc/cpuinfo"):
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    wine = (subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
            if shutil.which("wine") else "") or "no Wine that runs"
    return f"{platform.system()} {platform.release()}, {os.cpu_count()} cores, {cpu}, {wine}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5, help="timed runs per program")
    parser.add_argument("--no-wine", action="store_true", help="skip the Wine figures")
    # Used inside the emulated machine: only the Wine figures, as JSON.
    parser.add_argument("--wine-rows-to", type=Path, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.wine_rows_to:
        args.wine_rows_to.write_text(json.dumps(wine_rows(args.runs)))
        return

    rows, pe = size_rows()
    rows += identity_rows()
    rows += import_rows(pe)
    rows += heap_rows()
    if not args.no_wine:
        machine_kind = subprocess.run(["bash", str(REPO / "scripts" / "wine_machine.sh")],
                                      capture_output=True, text=True, check=True).stdout.strip()
        rows += emulated_wine_rows(args.runs) if machine_kind == "emulated" else wine_rows(args.runs)

    print(f"Measured {datetime.date.today().isoformat()} on {machine()}.\n")
    print("| figure | measured | note |")
    print("|---|---|---|")
    for figure, value, note in rows:
        print(f"| {figure.replace('  ', '&nbsp;&nbsp;')} | {value} | {note} |")


if __name__ == "__main__":
    main()
