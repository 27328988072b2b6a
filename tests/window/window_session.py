"""Runs the shipped EchoWatch binary on a private X display and drives it
from outside through AT-SPI, as a person with a screen reader would.

Run inside its own D-Bus session (dbus-run-session): the accessibility bus is
found through it. Every wait is bounded; every process started here is ended
by close(), also on failure.
"""

import atexit
import os
import shutil
import signal
import subprocess
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

STEP_TIMEOUT = 20.0  # seconds for anything to appear
POLL = 0.1
_RUNTIME = None  # this process's private runtime folder, made on first use


def wait_for(what, probe, timeout=STEP_TIMEOUT):
    """Polls probe() until it returns something true, at most timeout."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = probe()
        if found:
            return found
        time.sleep(POLL)
    raise TimeoutError(f"gave up waiting for {what} after {timeout} s")


def end(process):
    if process is None or process.poll() is not None:
        return
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait(timeout=5)


class WindowSession:
    def __init__(self, binary, dpi=96, screen="640x480x24", arguments=()):
        self.xvfb = None
        self.app = None
        try:
            self._give_private_runtime()
            self._start_display(dpi, screen)
            self._start_app(binary, arguments)
            Atspi.init()
            Atspi.set_timeout(5000, 10000)
            self.window = wait_for("the EchoWatch window on the accessibility bus",
                                   self._find_window)
        except BaseException:
            self.close()
            raise

    def _give_private_runtime(self):
        # The accessibility bus launcher puts its socket under the runtime
        # folder, or under the home's cache without one: two sessions of the
        # same user at once (a lab in a namespace beside another suite) would
        # otherwise share one socket path, and the later one takes it over.
        # One folder per D-Bus session, which is one per process here: the
        # launcher outlives a window, and a later window finds it again.
        global _RUNTIME
        if _RUNTIME is None:
            _RUNTIME = tempfile.mkdtemp(prefix="echowatch-session-")
            atexit.register(shutil.rmtree, _RUNTIME, ignore_errors=True)
            os.environ["XDG_RUNTIME_DIR"] = _RUNTIME
            subprocess.run(["dbus-update-activation-environment",
                            "XDG_RUNTIME_DIR=" + _RUNTIME], check=True, timeout=10)

    def _start_display(self, dpi, screen):
        # -noreset: an X server resets when its last client goes, dropping
        # whoever connects meanwhile. The accessibility bus launcher may be
        # that client, setting its root window property and leaving just as
        # the window connects ("could not connect to display").
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", screen,
             "-dpi", str(dpi), "-nolisten", "tcp", "-noreset"],
            pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as numbers:
            number = numbers.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number
        # The accessibility registry, started by D-Bus when the window asks
        # for it, synthesises keys and clicks on this display.
        subprocess.run(["dbus-update-activation-environment", "DISPLAY=" + self.display],
                       check=True, timeout=10)

    def _start_app(self, binary, arguments):
        environment = dict(os.environ, DISPLAY=self.display, QT_QPA_PLATFORM="xcb",
                           QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self.app = subprocess.Popen([binary, *arguments], env=environment)

    def _find_window(self):
        return self.frame("EchoWatch")

    def frame(self, title):
        """The application's top-level window of that title, or None."""
        if self.app.poll() is not None:
            raise RuntimeError(f"echowatch ended with {self.app.returncode}")
        desktop = Atspi.get_desktop(0)
        for index in range(desktop.get_child_count()):
            application = desktop.get_child_at_index(index)
            for child in range(application.get_child_count() if application else 0):
                frame = application.get_child_at_index(child)
                if frame and frame.get_name() == title:
                    return frame
        return None

    def control(self, match, root=None):
        """The first control under root (the main window by default) for
        which match(accessible) holds."""
        def search(node, depth):
            if depth > 8 or node is None:
                return None
            if match(node):
                return node
            for index in range(node.get_child_count()):
                found = search(node.get_child_at_index(index), depth + 1)
                if found:
                    return found
            return None
        start = self.window if root is None else root
        return wait_for("a control", lambda: search(start, 0))

    def give_keyboard_focus(self, title="EchoWatch"):
        """With no window manager to give a window the keyboard, xdotool
        sets the X input focus to it, as a window manager would on a
        click."""
        environment = {"DISPLAY": self.display, "PATH": "/usr/bin:/bin"}
        subprocess.run(["xdotool", "search", "--name", f"^{title}$", "windowfocus", "--sync"],
                       env=environment, check=True, timeout=10)

    def press_shortcut(self, keycode, modifier_keycode):
        """Presses a key with a modifier held, as a keyboard would, on the main
        window."""
        self.give_keyboard_focus()
        Atspi.generate_keyboard_event(modifier_keycode, None, Atspi.KeySynthType.PRESS)
        Atspi.generate_keyboard_event(keycode, None, Atspi.KeySynthType.PRESSRELEASE)
        Atspi.generate_keyboard_event(modifier_keycode, None, Atspi.KeySynthType.RELEASE)

    def named(self, name):
        return self.control(lambda node: node.get_name() == name)

    def described(self, description):
        return self.control(lambda node: node.get_description() == description)

    def type_into(self, name, text):
        field = self.named(name)
        if not field.set_text_contents(text):
            raise RuntimeError(f"could not set the text of {name}")

    def press(self, caption):
        button = self.named(caption)
        if not button.do_action(0):
            raise RuntimeError(f"could not press {caption}")

    def wait_for_text(self, description, text, timeout=STEP_TIMEOUT):
        label = self.described(description)
        return wait_for(f"{description} to read {text!r} (it reads {label.get_name()!r})",
                        lambda: label.get_name() == text, timeout)

    def probe_loopback(self):
        """Starts probing 127.0.0.1 every 200 ms and waits for an answer."""
        self.type_into("Address", "127.0.0.1")
        self.type_into("Interval (ms)", "200")
        self.press("Start")
        self.wait_for_text("Status", "0   [ ip success ]")
        self.wait_for_text("Reply size", "32 bytes")

    def close(self):
        end(self.app)
        end(self.xvfb)
