"""The shipped window, offscreen in alerts_lab.sh's namespace, where 30% of
the replies are dropped at random: with --down-after too high to ever be
reached, --down-loss calls the host down, its command is told the loss,
and the live log shows the share that failed. Prints how long it took, in
probes and seconds, beside the loss window's length."""
import json
import os
import subprocess
import sys
import time

from lab_process import fail, poll, run_lab, text

BINARY, SCRATCH = sys.argv[1], sys.argv[2]
RUNTIME = os.path.join(SCRATCH, "runtime")
os.mkdir(RUNTIME, 0o700)
ENVIRONMENT = dict(os.environ, QT_QPA_PLATFORM="offscreen", TZ="UTC", XDG_RUNTIME_DIR=RUNTIME)
INTERVAL_MS = 600
WINDOW = 20
RAISE, CLEAR = 20, 5
started = []


def json_lines(path):
    lines = []
    for line in text(path).splitlines():
        try:
            lines.append(json.loads(line))
        except ValueError:
            break  # a line still being written
    return lines


def main():
    log = os.path.join(SCRATCH, "probes.jsonl")
    facts = os.path.join(SCRATCH, "facts")
    command = "sh -c 'echo \"$ECHOWATCH_STATUS $ECHOWATCH_LOSS $ECHOWATCH_LOST\" >> \"$1\"' sh " + facts
    output = open(os.path.join(SCRATCH, "echowatch.out"), "wb")
    began = time.monotonic()
    child = subprocess.Popen(
        [BINARY, "127.0.0.1", "-i", str(INTERVAL_MS), "-s", "--down-after", "100",
         "--down-loss", "%d:%d" % (RAISE, CLEAR), "--loss-window", str(WINDOW),
         "--log", log, "--log-format", "jsonl", "--on-down", command],
        stdout=output, stderr=subprocess.STDOUT, env=ENVIRONMENT)
    if child.pid <= 0:
        fail("no process for echowatch")
    started.append(child)
    # Three windows' time and more: a 30% loss reaches 4 of 20 within one
    # window nine times in ten, within three all but never.
    bound = 3 * WINDOW * INTERVAL_MS / 1000 + 30
    down = poll(lambda: text(facts).strip(), bound, "down by loss")
    seconds = time.monotonic() - began
    words = down.split("\n")[0].split()
    if words[0] != "down" or len(words) != 3:
        fail("the down command was told %r" % down)
    failed, counted = (int(part) for part in words[1].split("/"))
    if counted != WINDOW or failed * 100 < RAISE * WINDOW:
        fail("ECHOWATCH_LOSS %s for a window of %d at %d%%" % (words[1], WINDOW, RAISE))
    probes = json_lines(log)
    lost = sum(1 for probe in probes if probe["status"] != 0)
    most_in_a_row = row = 0
    for probe in probes:
        row = row + 1 if probe["status"] != 0 else 0
        most_in_a_row = max(most_in_a_row, row)
    print("down by loss after %.1f s and about %d probes (window %d probes, %.0f s): "
          "ECHOWATCH_LOSS=%s, %d of %d logged probes failed (%.0f%%), at most %d in a row"
          % (seconds, len(probes), WINDOW, WINDOW * INTERVAL_MS / 1000, words[1], lost,
             len(probes), 100.0 * lost / max(len(probes), 1), most_in_a_row))
    if most_in_a_row >= 100:
        fail("the host went down in a row, not by loss")


run_lab(main, started, SCRATCH)
