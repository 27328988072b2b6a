"""The shipped binary on Wayland: a headless weston, Qt's Wayland platform,
the app id and the fixed size read from the protocol the window speaks
(WAYLAND_DEBUG), and a probe of 127.0.0.1 driven through AT-SPI. Weston
draws no frames, so Qt draws its own around the window.

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


def weston_command(screenshots, scratch):
    """Weston 10 (Debian 12) names its backends by module file, later ones
    by name; the headless backend draws nothing unless given a renderer.
    A renderer and the debug protocols, screenshots among them, only where
    screenshots are asked for."""
    usage = subprocess.run(["weston", "--help"], capture_output=True, text=True).stdout
    backend = "headless-backend.so" if "headless-backend.so" in usage else "headless"
    command = ["weston", f"--backend={backend}", f"--socket={SOCKET}",
               "--width=640", "--height=480", "--idle-time=0"]
    if not screenshots:
        return command + ["--no-config"]
    # A black screen without a panel, from which the window is cut.
    config = os.path.join(scratch, "weston.ini")
    with open(config, "w") as ini:
        ini.write("[shell]\nbackground-color=0xff000000\npanel-position=none\n")
    renderer = "--renderer=pixman" if "--renderer" in usage else "--use-pixman"
    return command + [f"--config={config}", renderer, "--debug"]


class WaylandSession(WindowSession):
    """WindowSession with weston where it has Xvfb (closed as it is)."""

    def __init__(self, binary, scratch, screenshots=False):
        self.scratch = scratch
        self.screenshots = screenshots
        super().__init__(binary)

    def _start_display(self, dpi, screen):
        runtime = os.environ["XDG_RUNTIME_DIR"]
        with open(os.path.join(self.scratch, "weston.log"), "w") as log:
            self.xvfb = subprocess.Popen(weston_command(self.screenshots, self.scratch), stdout=log,
                                         stderr=log)

        def socket_ready():
            if self.xvfb.poll() is not None:
                raise RuntimeError(f"weston ended with {self.xvfb.returncode}")
            return os.path.exists(os.path.join(runtime, SOCKET))
        wait_for("weston's socket", socket_ready)

    def _start_app(self, binary, arguments=()):
        environment = dict(os.environ, WAYLAND_DISPLAY=SOCKET, QT_QPA_PLATFORM="wayland",
                           QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", WAYLAND_DEBUG="client")
        environment.pop("DISPLAY", None)
        self.protocol = os.path.join(self.scratch, "protocol.log")
        with open(self.protocol, "w") as log:
            self.app = subprocess.Popen([binary, *arguments], env=environment, stderr=log)

    def requests(self, name, interface="xdg_toplevel"):
        """The arguments of every INTERFACE request NAME the window sent."""
        with open(self.protocol, errors="replace") as log:
            return re.findall(rf"-> {interface}[@#]\d+\.{name}\(([^)]*)\)", log.read())

    def save_window(self, path):
        """The window in its frame, cut from weston's black screen."""
        environment = dict(os.environ, WAYLAND_DISPLAY=SOCKET)
        subprocess.run(["weston-screenshooter"], cwd=self.scratch, env=environment, check=True)
        screen = next(os.path.join(self.scratch, name) for name in os.listdir(self.scratch)
                      if name.startswith("wayland-screenshot"))
        subprocess.run(["convert", screen, "-trim", "+repage", path], check=True)


def size_of(arguments):
    return tuple(int(number) for number in arguments.split(", ")[-2:])


def show(path, lines=30):
    if os.path.exists(path):
        with open(path, errors="replace") as log:
            print(f"--- last lines of {os.path.basename(path)}:")
            print("".join(log.readlines()[-lines:]))


def main(binary, scratch, screenshot=None):
    session = None
    try:
        session = WaylandSession(binary, scratch, screenshots=bool(screenshot))
        app_ids = session.requests("set_app_id")
        if app_ids != [f'"{APP_ID}"']:
            raise AssertionError(f"the window announced the app ids {app_ids}, not {APP_ID}")
        minimum, maximum = session.requests("set_min_size"), session.requests("set_max_size")
        if not minimum or not maximum or minimum[-1] != maximum[-1] or minimum[-1] == "0, 0":
            raise AssertionError(f"not of fixed size: minimum {minimum}, maximum {maximum}")
        # Qt 6.4 fixes the window's own area, Qt 6.8 the area in Qt's frame:
        # either holds the whole window as the accessibility bus has it.
        inside = session.window.get_size()
        fixed = size_of(minimum[-1])
        if fixed[0] < inside.x or fixed[1] < inside.y:
            raise AssertionError(f"fixed at {fixed}, smaller than the window ({inside.x}, {inside.y})")
        session.probe_loopback()
        print(f"on Wayland (weston, headless), the window announced the app id {APP_ID},"
              f" a size fixed at {fixed[0]} x {fixed[1]} (minimum = maximum),"
              " and showed an answered probe of 127.0.0.1")
        if screenshot:
            session.save_window(screenshot)
    except BaseException:
        show(os.path.join(scratch, "weston.log"))
        show(os.path.join(scratch, "protocol.log"))
        raise
    finally:
        if session:
            session.close()


if __name__ == "__main__":
    main(*sys.argv[1:])
