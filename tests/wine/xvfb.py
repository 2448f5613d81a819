"""One Xvfb for a test run, on a display number it picks itself."""

import os
import select
import signal
import subprocess
import time
from pathlib import Path
from typing import Optional

from parent_death import die_with_parent

# How much longer than on hardware every step of the Wine tests may take:
# several times in an emulated machine (tools/emulated_wine).
TIME_SCALE = float(os.environ.get("WINE_TEST_TIME_SCALE", "1"))
# Seconds.
START_TIMEOUT = 15 * TIME_SCALE
STOP_TIMEOUT = 10 * TIME_SCALE


class Xvfb:
    def __init__(self, log: Path):
        self.log = log
        self.proc: Optional[subprocess.Popen] = None

    def start(self) -> int:
        """Starts the server and returns its display number once it accepts clients."""
        read_end, write_end = os.pipe()
        with open(self.log, "ab") as log:
            # -displayfd: the server picks a free number and writes it when ready.
            self.proc = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                 "-nolisten", "tcp"],
                pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                preexec_fn=die_with_parent(signal.SIGTERM))
        os.close(write_end)
        data = b""
        deadline = time.monotonic() + START_TIMEOUT
        try:
            while not data.endswith(b"\n"):
                remaining = deadline - time.monotonic()
                if remaining <= 0 or not select.select([read_end], [], [], remaining)[0]:
                    break
                chunk = os.read(read_end, 32)
                if not chunk:  # the server ended
                    break
                data += chunk
        finally:
            os.close(read_end)
        if not data.strip().isdigit():
            self.stop()
            raise RuntimeError("Xvfb gave no display within %d s; see %s" % (START_TIMEOUT, self.log))
        return int(data)

    def stop(self) -> None:
        if self.proc is None:
            return
        if self.proc.poll() is None:
            self.proc.terminate()   # by pid
            try:
                self.proc.wait(timeout=STOP_TIMEOUT)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(timeout=STOP_TIMEOUT)
        self.proc = None
