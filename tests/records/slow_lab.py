"""The shipped program, the window offscreen and --headless side by side,
watching a loopback host that late_responder.py answers late, then in time
again: each calls it slow once its 95th percentile has been over 100 ms for
a full minute, runs --on-slow with the figures, shows it in /metrics and
the history file, and calls it normal a full minute after it is fast again.
Prints when each came, beside the minute the rule asks for."""
import os
import re
import sqlite3
import subprocess
import sys
import time
import urllib.request

from lab_process import fail, poll, run_lab, stop_all, text

BINARY, RESPONDER, SCRATCH = sys.argv[1], sys.argv[2], sys.argv[3]
RUNTIME = os.path.join(SCRATCH, "runtime")
os.mkdir(RUNTIME, 0o700)
ENVIRONMENT = dict(os.environ, QT_QPA_PLATFORM="offscreen", TZ="UTC", XDG_RUNTIME_DIR=RUNTIME)
DELAY = os.path.join(SCRATCH, "delay_ms")
LATE_MS, IN_TIME_MS, OVER_MS = 150, 5, 100
# The rule's minute, the minute of answers it looks over, and slack for a
# loaded machine.
BOUND_S = 60 + 60 + 45
WATCH = ["127.0.0.1", "--slow-over", str(OVER_MS), "--on-slow", "", "--on-normal", ""]
FACTS = 'echo "$ECHOWATCH_STATUS $ECHOWATCH_PERCENTILE $ECHOWATCH_ROUND_TRIP_MS" >> "$1"'
started = []


def set_delay(milliseconds):
    with open(DELAY + ".new", "w", encoding="ascii") as file:
        file.write(str(milliseconds))
    os.replace(DELAY + ".new", DELAY)


def start(name, arguments):
    facts = os.path.join(SCRATCH, name + ".facts")
    command = "sh -c '%s' sh %s" % (FACTS, facts)
    watch = [command if word == "" else word for word in WATCH]
    output = open(os.path.join(SCRATCH, name + ".out"), "wb")
    child = subprocess.Popen([BINARY] + arguments + watch, stdout=output,
                             stderr=subprocess.STDOUT, env=ENVIRONMENT, cwd=SCRATCH)
    started.append(child)
    return facts, output.name


def told(facts, status, since):
    lines = [line.split() for line in text(facts).splitlines()]
    found = [line for line in lines if line and line[0] == status]
    return (found[0], time.monotonic() - since) if found else None


def slow_metric(output):
    found = re.search(r"metrics at (http://127\.0\.0\.1:\d+/metrics)", text(output))
    if not found:
        return None
    with urllib.request.urlopen(found.group(1), timeout=10) as answer:
        page = answer.read().decode()
    value = re.search(r'^echowatch_slow\{[^}]*host="127\.0\.0\.1"[^}]*\} (\d)$', page, re.M)
    return value.group(1) if value else None


def check_slow(name, facts, since):
    (status, percentile, round_trip), seconds = poll(
        lambda: told(facts, "slow", since), BOUND_S, name + " calling the host slow")
    if percentile != "95" or not OVER_MS < float(round_trip) < LATE_MS * 3:
        fail("%s told slow with p%s %s ms" % (name, percentile, round_trip))
    if seconds < 60:
        fail("%s called the host slow after %.1f s, before a full minute" % (name, seconds))
    print("%s: slow after %.1f s (p%s %s ms, the rule's minute: 60 s)"
          % (name, seconds, percentile, round_trip))


def check_normal(name, facts, since):
    (_, _, round_trip), seconds = poll(
        lambda: told(facts, "normal", since), BOUND_S, name + " calling the host normal")
    if seconds < 60:
        fail("%s called the host normal after %.1f s, before a full minute" % (name, seconds))
    print("%s: normal %.1f s after the host was fast again (p95 then %s ms)"
          % (name, seconds, round_trip))


def check_history(history):
    with sqlite3.connect("file:%s?mode=ro" % history, uri=True) as connection:
        periods = connection.execute(
            "SELECT start_ms, end_ms FROM slow_periods ORDER BY start_ms").fetchall()
    if len(periods) != 1 or periods[0][1] is None or periods[0][1] <= periods[0][0]:
        fail("the history file's slow periods are %r, not one ended period" % periods)
    print("history: one slow period of %.1f s" % ((periods[0][1] - periods[0][0]) / 1000))


def main():
    set_delay(LATE_MS)
    responder = subprocess.Popen([sys.executable, RESPONDER, DELAY])
    started.append(responder)
    history = os.path.join(SCRATCH, "history.sqlite")
    began = time.monotonic()
    window = start("window", ["-i", "500", "-s"])
    headless = start("headless", ["--headless", "-i", "500", "--metrics", "127.0.0.1:0",
                                  "--history", history])
    check_slow("window", window[0], began)
    check_slow("headless", headless[0], began)
    if poll(lambda: slow_metric(headless[1]), 10, "echowatch_slow in /metrics") != "1":
        fail("/metrics does not say slow while the host is slow")
    set_delay(IN_TIME_MS)
    fast = time.monotonic()
    check_normal("window", window[0], fast)
    check_normal("headless", headless[0], fast)
    if slow_metric(headless[1]) != "0":
        fail("/metrics still says slow once the host is normal")
    stop_all(started[::-1])
    check_history(history)


run_lab(main, started, SCRATCH)
