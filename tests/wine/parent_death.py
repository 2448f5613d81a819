"""Children that do not outlive the test process, even when it is killed outright."""

import ctypes
import signal

PR_SET_PDEATHSIG = 1


def die_with_parent(sig: int = signal.SIGKILL):
    """A preexec_fn for Popen: the kernel sends SIG to the child when we die.

    Kept across exec (wine's loader execs the preloader); not inherited by
    a daemon's fork, so wineserver is unaffected and ends by its -p timeout.
    """
    def preexec() -> None:
        ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, sig)
    return preexec
