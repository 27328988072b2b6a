"""Takes docs/screenshot.png of the real window after two real probes: one
of a broadcast address, which the kernel refuses without sending anything
(so the log has a line), then one of 127.0.0.1 (answered when the binary may
open an ICMP socket). Then it stops and empties both boxes, so that the
picture shows what each takes. Run by screenshot.sh inside a D-Bus session."""

import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "window"))
from window_session import WindowSession, wait_for  # noqa: E402


def main(binary, output):
    session = WindowSession(binary)
    try:
        session.type_into("Interval (ms)", "1000")
        session.type_into("Address", "127.255.255.255")
        session.press("Start")
        log = session.named("Failure log")
        wait_for("a line in the failure log", lambda: log.get_child_count() > 0)
        session.type_into("Address", "127.0.0.1")
        status = session.described("Status")
        wait_for("a probe of 127.0.0.1", lambda: status.get_name().startswith(("0 ", "11050")))
        session.press("Stop")
        session.named("Start")
        session.type_into("Address", "")
        session.type_into("Interval (ms)", "")
        environment = dict(os.environ, DISPLAY=session.display)
        subprocess.run(["import", "-window", "EchoWatch", output], env=environment,
                       check=True, timeout=30)
        print(f"wrote {output}")
    finally:
        session.close()


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
