#!/usr/bin/python3
"""Runs one command in an emulated x86_64 machine, for a host whose kernel
runs no 32-bit x86 code, where Wine cannot run uninstall.exe at all.

    python3 tools/emulated_wine/emulated_wine.py [--writable DIR ...] -- COMMAND ...

qemu emulates the CPU (TCG: no KVM needed) and boots Debian's kernel, which
runs 32-bit code. The host's / is the guest's root, read-only over virtio-9p,
so the guest has the host's Wine, Python and build; its /tmp is in memory.
Each --writable folder (the checkout, say) is mounted writable at the same
path, so what the command writes there stays. The command runs as root in
the current folder, with WINE_TEST_TIME_SCALE set: every Wine step takes
about 5 to 20 times as long there as on hardware. Its output is shown as it
comes, with a line of progress after each minute of silence, and its exit
status is this script's.

The packages it needs (qemu-system-x86, linux-image-amd64, busybox-static,
cpio) are installed by scripts/setup.sh on a machine that needs them.
"""
import argparse
import gzip
import os
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from typing import List, Optional, Sequence

PACKAGES = ("qemu-system-x86", "linux-image-amd64", "busybox-static", "cpio")
TIME_SCALE = 8
# Memory for the guest: its /tmp (Wine prefixes, scratch builds) lives in it.
MEMORY = "14G"
SILENCE = 60            # seconds without output before a line of progress
NINEP = "trans=virtio,version=9p2000.L,msize=512000"


class EmulationError(RuntimeError):
    pass


def say(text: str) -> None:
    print("emulated_wine: " + text, file=sys.stderr, flush=True)


def kernel() -> Path:
    """The newest Debian kernel in /boot with its modules: the guest's kernel."""
    found = sorted(Path("/boot").glob("vmlinuz-*"),
                   key=lambda p: [int(x) if x.isdigit() else x
                                  for x in p.name.replace("-", ".").split(".")])
    found = [k for k in found if (Path("/lib/modules") / k.name[len("vmlinuz-"):]).is_dir()]
    if not found or shutil.which("qemu-system-x86_64") is None or \
            not Path("/bin/busybox").is_file() or shutil.which("cpio") is None:
        raise EmulationError("the emulated machine needs the Debian packages %s: "
                             "run bash scripts/setup.sh" % " ".join(PACKAGES))
    return found[-1]


def modules_in_order(release: str, wanted: Sequence[str]) -> List[Path]:
    """The modules that reach the host's files, each after what it needs."""
    base = Path("/lib/modules") / release
    deps = {}
    for line in (base / "modules.dep").read_text().splitlines():
        module, _, needs = line.partition(":")
        deps[Path(module).name.split(".ko")[0]] = (module, needs.split())
    order: List[str] = []

    def add(module_path: str) -> None:
        name = Path(module_path).name.split(".ko")[0]
        for need in reversed(deps[name][1]):     # modules.dep lists the last needed first
            add(need)
        if module_path not in order:
            order.append(module_path)

    for name in wanted:
        if name not in deps:
            raise EmulationError("no module %s in %s" % (name, base))
        add(deps[name][0])
    return [base / m for m in order]


INIT = """#!/bin/sh
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for module in $(cat /modules/order); do insmod /modules/$module; done
mount -t 9p -o ro,{ninep},cache=loose host /root
mount -t proc proc /root/proc
mount -t sysfs sys /root/sys
mount -t devtmpfs dev /root/dev
mkdir -p /root/dev/pts /root/dev/shm
mount -t devpts devpts /root/dev/pts
mount -t tmpfs tmpfs /root/dev/shm
mount -t tmpfs -o size=12g tmpfs /root/tmp
mount -t tmpfs tmpfs /root/run
mkdir /root/tmp/emulated-wine
mount -t 9p -o {ninep} scratch /root/tmp/emulated-wine
{writable}
chroot /root /bin/bash /tmp/emulated-wine/command.sh
sync
poweroff -f
"""


def make_initramfs(work: Path, release: str, writable: Sequence[Path]) -> Path:
    root = work / "initramfs"
    for folder in ("bin", "modules", "proc", "sys", "dev", "root"):
        (root / folder).mkdir(parents=True)
    shutil.copy("/bin/busybox", root / "bin")
    for tool in ("sh", "mount", "mkdir", "insmod", "cat", "chroot", "poweroff", "sync"):
        (root / "bin" / tool).symlink_to("busybox")
    modules = modules_in_order(release, ("virtio_pci", "9pnet_virtio", "9p"))
    for module in modules:
        shutil.copy(module, root / "modules")
    (root / "modules" / "order").write_text("".join(m.name + "\n" for m in modules))
    mounts = "".join("mkdir -p /root{0}\nmount -t 9p -o {1} writable{2} /root{0}\n".format(
        shlex.quote(str(path)), NINEP, i) for i, path in enumerate(writable))
    (root / "init").write_text(INIT.format(ninep=NINEP, writable=mounts))
    (root / "init").chmod(0o755)
    listing = "\n".join(str(p.relative_to(root)) for p in sorted(root.rglob("*"))) + "\n"
    archive = subprocess.run(["cpio", "-o", "-H", "newc", "--quiet"], cwd=root,
                             input=(".\n" + listing).encode(), capture_output=True,
                             check=True, timeout=60).stdout
    image = work / "initramfs.img"
    image.write_bytes(gzip.compress(archive, compresslevel=1))
    return image


def command_script(command: Sequence[str], cwd: Path, env: dict) -> str:
    exports = {"PATH": "/usr/sbin:/usr/bin:/sbin:/bin", "HOME": "/tmp/home",
               "LANG": "C.UTF-8", "PYTHONDONTWRITEBYTECODE": "1",
               "WINE_TEST_TIME_SCALE": str(TIME_SCALE), "TMPDIR": "/tmp",
               # Tells what runs there that it is in this machine.
               "EMULATED_WINE": "1"}
    exports.update(env)
    lines = ["export %s=%s" % (k, shlex.quote(v)) for k, v in exports.items()]
    lines += ['mkdir -p "$HOME"', "echo '(the emulated machine has started)'",
              "cd %s" % shlex.quote(str(cwd)),
              "%s </dev/null" % " ".join(shlex.quote(c) for c in command),
              "echo $? > /tmp/emulated-wine/status"]
    # Everything the command prints goes to the host, which shows it as it comes.
    return "exec >/tmp/emulated-wine/output 2>&1\n" + "\n".join(lines) + "\n"


def follow(qemu: subprocess.Popen, output: Path, started: float, limit: float) -> None:
    """Shows the guest's output as it comes until the machine ends or time is up."""
    shown, quiet_since = 0, time.monotonic()
    while True:
        ended = qemu.poll() is not None
        data = b""
        if output.exists():
            with open(output, "rb") as f:
                f.seek(shown)
                data = f.read()
        if data:
            sys.stdout.buffer.write(data)
            sys.stdout.flush()
            shown += len(data)
            quiet_since = time.monotonic()
        if ended:
            return
        now = time.monotonic()
        if now - started > limit:
            raise EmulationError("the command did not end within %d s" % limit)
        if now - quiet_since >= SILENCE:
            say("still running, %d s so far" % (now - started))
            quiet_since = now
        time.sleep(0.5)


def run(command: Sequence[str], writable: Sequence[Path] = (), env: Optional[dict] = None,
        limit: float = 5400) -> int:
    """Runs COMMAND in the emulated machine and returns its exit status."""
    vmlinuz = kernel()
    release = vmlinuz.name[len("vmlinuz-"):]
    writable = [p.resolve() for p in writable]
    cwd = Path.cwd()
    with tempfile.TemporaryDirectory(prefix="emulated-wine-") as tmp:
        work = Path(tmp)
        scratch = work / "scratch"
        scratch.mkdir()
        (scratch / "command.sh").write_text(command_script(command, cwd, env or {}))
        initramfs = make_initramfs(work, release, writable)
        shares = [("host", Path("/"), True), ("scratch", scratch, False)]
        shares += [("writable%d" % i, p, False) for i, p in enumerate(writable)]
        qemu_command = [
            "qemu-system-x86_64", "-accel", "tcg,thread=multi",
            # -smap: QEMU 7.2's TCG takes a 32-bit iret's read of the user stack
            # for the kernel's under SMAP, and the kernel then kills every
            # 32-bit process.
            "-cpu", "max,-smap", "-smp", str(os.cpu_count() or 1), "-m", MEMORY,
            "-nographic", "-no-reboot", "-kernel", str(vmlinuz), "-initrd", str(initramfs),
            "-append", "console=ttyS0 quiet panic=-1"]
        for tag, path, read_only in shares:
            qemu_command += ["-virtfs", "local,path=%s,mount_tag=%s,security_model=none,"
                             "multidevs=remap%s" % (path, tag, ",readonly=on" if read_only else "")]
        console = work / "console.log"
        started = time.monotonic()
        say("booting Debian's %s in qemu (TCG); %s" % (release, " ".join(command)))
        with open(console, "wb") as log:
            qemu = subprocess.Popen(qemu_command, stdin=subprocess.DEVNULL, stdout=log,
                                    stderr=subprocess.STDOUT, start_new_session=True)
        try:
            follow(qemu, scratch / "output", started, limit)
        finally:
            if qemu.poll() is None:
                qemu.kill()         # our own child, by its id
            qemu.wait(timeout=30)
        status = scratch / "status"
        if not status.is_file() or not status.read_text().strip():
            tail = console.read_text(errors="replace").splitlines()[-20:]
            raise EmulationError("the emulated machine ended before the command did; "
                                 "its console's last lines:\n" + "\n".join(tail))
        code = int(status.read_text())
        say("%s ended with %d after %d s in the emulated machine"
            % (command[0], code, time.monotonic() - started))
        return code


def main(argv: List[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--writable", type=Path, action="append", default=[],
                        metavar="DIR", help="a folder the command may write to (repeatable)")
    parser.add_argument("--limit", type=float, default=5400,
                        help="seconds before the machine is stopped (default 5400)")
    parser.add_argument("command", nargs="+")
    args = parser.parse_args(argv)
    # Terminated (by CTest's time-out, say): unwind, so that qemu is ended too.
    signal.signal(signal.SIGTERM, lambda signum, frame: sys.exit(128 + signum))
    try:
        return run(args.command, args.writable, limit=args.limit)
    except EmulationError as e:
        say(str(e))
        return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
