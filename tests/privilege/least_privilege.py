"""The window probes 127.0.0.1 through the helper, driven through AT-SPI;
meanwhile the capability sets of both processes are read from /proc. Run
from a copy beside window_session.py, or from the source tree."""

import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path[0:0] = [here, os.path.join(here, "..", "window")]
from window_session import WindowSession, wait_for  # noqa: E402

def capabilities(pid):
    sets = {}
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            name, _, value = line.partition(":")
            if name in ("CapInh", "CapPrm", "CapEff", "CapAmb"):
                sets[name] = int(value, 16)
    return sets


def helper_of(parent):
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
            with open(f"/proc/{entry}/comm") as comm:
                name = comm.read().strip()
        except OSError:
            continue
        if int(fields[1]) == parent and name == "echowatch-probe":
            return int(entry)
    return None


def expect(what, seen, wanted):
    if seen != wanted:
        raise AssertionError(f"{what}: {seen:#x}, expected {wanted:#x}")


def main(binary):
    session = WindowSession(binary)
    try:
        session.probe_loopback()
        window = capabilities(session.app.pid)
        for name, value in window.items():
            expect(f"window {name}", value, 0)
        helper = wait_for("the probe helper", lambda: helper_of(session.app.pid))
        # Given CAP_NET_RAW by its file, it gives it up once its socket is
        # open, before it reads the window's first request.
        sets = capabilities(helper)
        for name, value in sets.items():
            expect(f"helper {name}", value, 0)
        session.press("Stop")
        print(f"window {window}; helper {sets}")
    finally:
        session.close()


if __name__ == "__main__":
    main(sys.argv[1])
