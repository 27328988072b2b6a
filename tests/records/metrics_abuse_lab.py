"""The shipped window, offscreen in metrics_abuse_lab.sh's namespace, with a
live log, commands and traces on down, and /metrics held by 1,100 idle
connections and 300 clients trickling their requests from 127.0.0.1, then
by 300 idle connections from 30 addresses: scrapes from another address
answer, probes, the log, the commands and the traces go on, the process
keeps its descriptors and its CPU, and its standard error is not flooded.
Prints the figures it measured."""
import http.client
import os
import re
import resource
import socket
import subprocess
import sys
import time

from lab_process import fail, poll, stop_all, text

BINARY, SCRATCH = sys.argv[1], sys.argv[2]
HOST = "127.0.0.3"
IDLE, SLOW, SPREAD, SOURCES = 1100, 300, 300, 30
# A window runs with the limit a desktop session gives it (1024), and may
# not raise it: the server's own limits must hold.
DESCRIPTORS = 1024
RUNTIME = os.path.join(SCRATCH, "runtime")
os.mkdir(RUNTIME, 0o700)
ENVIRONMENT = dict(os.environ, QT_QPA_PLATFORM="offscreen", TZ="UTC", XDG_RUNTIME_DIR=RUNTIME)
TICKS = os.sysconf("SC_CLK_TCK")
held = []
started = []


def cpu_seconds(pid):
    fields = text("/proc/%d/stat" % pid).rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def descriptors(pid):
    return len(os.listdir("/proc/%d/fd" % pid))


def nft(*arguments):
    subprocess.run(["nft", *arguments], check=True)


def limit_descriptors():
    resource.setrlimit(resource.RLIMIT_NOFILE, (DESCRIPTORS, DESCRIPTORS))


def start_window():
    log = os.path.join(SCRATCH, "live.csv")
    downs = os.path.join(SCRATCH, "downs")
    errors = open(os.path.join(SCRATCH, "stderr"), "wb")
    window = subprocess.Popen(
        [BINARY, HOST, "-i", "200", "-s", "--down-after", "2", "--log", log,
         "--metrics", "127.0.0.1:0", "--trace-on-down",
         "--on-down", "/bin/sh -c 'echo \"$ECHOWATCH_STATUS\" >> \"$1\"' sh " + downs],
        stdout=subprocess.DEVNULL, stderr=errors, env=ENVIRONMENT, preexec_fn=limit_descriptors)
    if window.pid <= 0:
        fail("no window process")
    started.append(window)
    return window, log, downs, errors.name


def scrape(port, source):
    """/metrics as one scraper from source sees it, or None."""
    try:
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=5,
                                                source_address=(source, 0))
        connection.request("GET", "/metrics")
        answer = connection.getresponse()
        body = answer.read().decode()
        connection.close()
        return body if answer.status == 200 else None
    except OSError:
        return None


def connect(port, source, count):
    for _ in range(count):
        client = socket.socket()
        client.bind((source, 0))
        client.setblocking(False)
        try:
            client.connect(("127.0.0.1", port))
        except BlockingIOError:
            pass
        held.append(client)
    return held[-count:]


def trickle(clients, request, sent):
    """The next byte of a request from each client still connected."""
    if sent < len(request):
        for client in clients:
            try:
                client.send(request[sent:sent + 1])
            except OSError:
                pass
    return sent + 1


def threads(pid):
    return len(os.listdir("/proc/%d/task" % pid))


def lines(path):
    return text(path).count("\n")


def measure(window, what, seconds, during=lambda: None):
    """CPU seconds used and the most descriptors seen over seconds."""
    start = cpu_seconds(window.pid)
    most = 0
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        during()
        most = max(most, descriptors(window.pid))
        time.sleep(0.5)
    used = cpu_seconds(window.pid) - start
    print("%s: %.2f s of CPU in %d s, at most %d descriptors" % (what, used, seconds, most))
    return used, most


def main():
    resource.setrlimit(resource.RLIMIT_NOFILE, (8192, max(8192, resource.getrlimit(
        resource.RLIMIT_NOFILE)[1])))
    window, log, downs, errors = start_window()
    found = poll(lambda: re.search(r"metrics at http://127\.0\.0\.1:(\d+)/metrics", text(errors)),
                 30, "metrics address on standard error")
    port = int(found.group(1))
    poll(lambda: lines(log) >= 5, 30, "log lines")
    _, calm = measure(window, "calm", 5)

    connect(port, "127.0.0.1", IDLE)
    slow = connect(port, "127.0.0.1", SLOW)
    request = b"GET /metrics HTTP/1.1\r\nHost: x\r\n" + b"X: y\r\n" * 40
    sent = [0]
    logged = lines(log)
    cpu, most = measure(window, "%d idle and %d slow connections from 127.0.0.1" % (IDLE, SLOW),
                        15, lambda: sent.__setitem__(0, trickle(slow, request, sent[0])))
    body = scrape(port, "127.0.0.2")
    if body is None or 'echowatch_requests_total{host="%s"}' % HOST not in body:
        fail("no scrape from 127.0.0.2 while held")
    if lines(log) < logged + 20:
        fail("the log stopped: %d lines in 15 s" % (lines(log) - logged))
    # What one address may hold, and what opening the log anew and a scrape
    # take.
    if cpu > 0.25 * 15:
        fail("%.2f s of CPU in 15 s under held connections" % cpu)
    if most > calm + 16:
        fail("descriptors rose from %d to %d" % (calm, most))

    # Many sources: the connection limit, not the one per address, holds.
    for source in range(SOURCES):
        connect(port, "127.0.1.%d" % (source + 1), SPREAD // SOURCES)
    cpu, most = measure(window, "and %d more from %d addresses" % (SPREAD, SOURCES), 5)
    # The connection limit, and as above.
    if cpu > 0.25 * 5 or most > calm + 64 + 16:
        fail("%.2f s of CPU, %d descriptors with connections from many addresses" % (cpu, most))

    # Down and up while held: the command runs, the trace's thread starts.
    before = threads(window.pid)
    nft("add", "table", "inet", "ewabuse")
    nft("add", "chain", "inet", "ewabuse", "out", "{ type filter hook output priority 0; }")
    nft("add", "rule", "inet", "ewabuse", "out", "ip", "daddr", HOST, "icmp", "type",
        "echo-request", "drop")
    poll(lambda: "down" in text(downs), 30, "command on down")
    poll(lambda: threads(window.pid) > before, 30, "thread for the trace")
    nft("delete", "table", "inet", "ewabuse")
    failures = lines(log)
    poll(lambda: lines(log) >= failures + 10, 30, "probes after the host came back")
    if window.poll() is not None:
        fail("the window ended with status %d" % window.returncode)
    said = text(errors)
    print("standard error, %d bytes:\n%s" % (len(said), said))
    if len(said) > 2048 or said.count("\n") > 8:
        fail("standard error flooded")
    for client in held:
        client.close()


try:
    main()
finally:
    for leftover in held:
        leftover.close()
    stop_all(started)
