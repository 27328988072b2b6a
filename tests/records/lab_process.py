"""What the records labs share: failing with a message, waiting for a
condition rather than for a time, reading a file that may not be there
yet, and ending the children they started."""
import os
import subprocess
import sys
import time
import urllib.request


def fail(message):
    print("FAILED: " + message, file=sys.stderr)
    sys.exit(1)


def poll(condition, seconds, what, last=None):
    """The condition's first true value, polled until it comes or time runs
    out; then last(), where given, tells what was seen instead."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    seen = " (last seen: %s)" % (last(),) if last else ""
    fail("no " + what + " within %d s" % seconds + seen)


def text(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as file:
            return file.read()
    except FileNotFoundError:
        return ""


def run_lab(main, children, scratch):
    """main, then every child ended; on a failure the end of what each
    child printed, which the scratch folder's removal would otherwise take
    with it."""
    try:
        main()
    except BaseException:
        stop_all(children)
        tell_outputs(scratch)
        raise
    stop_all(children)


def tell_outputs(scratch, lines=30):
    for name in sorted(os.listdir(scratch)):
        if name.endswith(".out"):
            print("---- the last %d lines of %s:" % (lines, name), file=sys.stderr)
            print("\n".join(text(os.path.join(scratch, name)).splitlines()[-lines:]),
                  file=sys.stderr)


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
