"""The shipped binary on Wayland: a headless weston, Qt's Wayland platform,
the app id and the fixed size read from the protocol the window speaks
(WAYLAND_DEBUG), and a probe of 127.0.0.1 driven through AT-SPI.

Run by wayland_test.sh in a D-Bus session of its own, with a private
XDG_RUNTIME_DIR and no DISPLAY, so the window cannot fall back to X.
"""

import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "window"))
from window_session import WindowSession, wait_for  # noqa: E402

APP_ID = "org.echowatch.EchoWatch"
SOCKET = "echowatch-wayland"


def weston_command():
    """Weston 10 (Debian 12) names its backends by module file, later ones
    by name; the headless backend draws nothing unless given a renderer."""
    usage = subprocess.run(["weston", "--help"], capture_output=True, text=True).stdout
    backend = "headless-backend.so" if "headless-backend.so" in usage else "headless"
    return ["weston", f"--backend={backend}", f"--socket={SOCKET}",
            "--width=640", "--height=480", "--idle-time=0", "--no-config"]


class WaylandSession(WindowSession):
    """WindowSession with weston where it has Xvfb (closed as it is)."""

    def __init__(self, binary, scratch):
        self.scratch = scratch
        super().__init__(binary)

    def _start_display(self, dpi, screen):
        runtime = os.environ["XDG_RUNTIME_DIR"]
        with open(os.path.join(self.scratch, "weston.log"), "w") as log:
            self.xvfb = subprocess.Popen(weston_command(), stdout=log, stderr=log)

        def socket_ready():
            if self.xvfb.poll() is not None:
                raise RuntimeError(f"weston ended with {self.xvfb.returncode}")
            return os.path.exists(os.path.join(runtime, SOCKET))
        wait_for("weston's socket", socket_ready)

    def _start_app(self, binary):
        environment = dict(os.environ, WAYLAND_DISPLAY=SOCKET, QT_QPA_PLATFORM="wayland",
                           QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", WAYLAND_DEBUG="client")
        environment.pop("DISPLAY", None)
        self.protocol = os.path.join(self.scratch, "protocol.log")
        with open(self.protocol, "w") as log:
            self.app = subprocess.Popen([binary], env=environment, stderr=log)

    def requests(self, name):
        """The arguments of every xdg_toplevel request NAME the window sent."""
        with open(self.protocol, errors="replace") as log:
            return re.findall(rf"-> xdg_toplevel[@#]\d+\.{name}\(([^)]*)\)", log.read())


def show(path, lines=30):
    if os.path.exists(path):
        with open(path, errors="replace") as log:
            print(f"--- last lines of {os.path.basename(path)}:")
            print("".join(log.readlines()[-lines:]))


def main(binary, scratch):
    session = None
    try:
        session = WaylandSession(binary, scratch)
        app_ids = session.requests("set_app_id")
        if app_ids != [f'"{APP_ID}"']:
            raise AssertionError(f"the window announced the app ids {app_ids}, not {APP_ID}")
        minimum, maximum = session.requests("set_min_size"), session.requests("set_max_size")
        if not minimum or not maximum or minimum[-1] != maximum[-1] or minimum[-1] == "0, 0":
            raise AssertionError(f"not of fixed size: minimum {minimum}, maximum {maximum}")
        session.probe_loopback()
        print(f"on Wayland (weston, headless), the window announced the app id {APP_ID},"
              f" a size fixed at {minimum[-1].replace(', ', ' x ')} (minimum = maximum),"
              " and showed an answered probe of 127.0.0.1")
    except BaseException:
        show(os.path.join(scratch, "weston.log"))
        show(os.path.join(scratch, "protocol.log"))
        raise
    finally:
        if session:
            session.close()


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
