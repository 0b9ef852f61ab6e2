"""What the test servers share: a server started in the background for a state folder keeps its
process id in <state-dir>/server.pid, and "stop" ends that process only while it is still the
server started for that folder (a recycled process id is left alone)."""
import os
import signal
import time


def command_words(pid):
    """The command line of process `pid` as a list of byte strings, or None when it is gone."""
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return f.read().split(b"\0")
    except OSError:
        return None


def stop_recorded(state_dir, ours, leftovers=("server.pid",)):
    """Ends the server recorded in the state folder when `ours(pid)` says it is the one started
    for it (SIGTERM, then SIGKILL after five seconds), and removes the `leftovers` files."""
    try:
        with open(os.path.join(state_dir, "server.pid")) as f:
            pid = int(f.read().strip())
    except (OSError, ValueError):
        pid = None
    if pid is not None and ours(pid):
        os.kill(pid, signal.SIGTERM)
        for _ in range(100):
            if not ours(pid):
                break
            time.sleep(0.05)
        else:
            os.kill(pid, signal.SIGKILL)
    for name in leftovers:
        try:
            os.remove(os.path.join(state_dir, name))
        except OSError:
            pass
    return 0
