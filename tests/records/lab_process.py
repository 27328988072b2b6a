"""What the records labs share: failing with a message, waiting for a
condition rather than for a time, reading a file that may not be there
yet, and ending the children they started."""
import subprocess
import sys
import time
import urllib.request


def fail(message):
    print("FAILED: " + message, file=sys.stderr)
    sys.exit(1)


def poll(condition, seconds, what):
    """The condition's first true value, polled until it comes or time runs out."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    fail("no " + what + " within %d s" % seconds)


def text(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as file:
            return file.read()
    except FileNotFoundError:
        return ""


def stop_all(children):
    for child in children:
        # Popen signals only its own child, and only while it is unreaped.
        if child.poll() is None:
            child.terminate()
            try:
                child.wait(timeout=10)
            except subprocess.TimeoutExpired:
                child.kill()
                child.wait()


def promtool_clean(scrape):
    """Fails unless promtool check metrics finds nothing to say about scrape."""
    check = subprocess.run(["promtool", "check", "metrics"], input=scrape, capture_output=True,
                           text=True, timeout=60)
    if check.returncode != 0 or check.stdout.strip() or check.stderr.strip():
        fail("promtool check metrics: %s %s" % (check.stdout, check.stderr))


def fetch(url):
    """The body at url, or None while nothing answers there."""
    try:
        with urllib.request.urlopen(url, timeout=5) as answer:
            return answer.read().decode()
    except OSError:
        return None
