"""The shipped program with --headless in headless_lab.sh's namespaces: no
display, no bus. Startup errors end it with status 2 and one line; it
watches loopback and a host that fails, serves /metrics (promtool finds
nothing to say), runs --on-down, reads its hosts file again on SIGHUP, and
ends within 2 s of SIGTERM with status 0 and every watch ended in the
history file."""
import os
import re
import signal
import sqlite3
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "records"))
from lab_process import fail, fetch, poll, promtool_clean, stop_all, text  # noqa: E402

BINARY, SCRATCH = sys.argv[1], sys.argv[2]
HOSTS = os.path.join(SCRATCH, "hosts")
started = []


def write_hosts(lines):
    with open(HOSTS + ".new", "w", encoding="utf-8") as file:
        file.write("# the lab's hosts\n" + "".join(line + "\n" for line in lines))
    os.replace(HOSTS + ".new", HOSTS)


def run_briefly(arguments):
    return subprocess.run([BINARY, "--headless"] + arguments, capture_output=True, text=True,
                          timeout=60, cwd=SCRATCH)


def startup_errors_end_with_status_2_and_one_line():
    with open(os.path.join(SCRATCH, "bad-hosts"), "w", encoding="utf-8") as file:
        file.write("127.0.0.1\ntwo words\n")
    taken = subprocess.Popen(["python3", "-c", "import socket,time; s=socket.socket(); "
                              "s.bind(('127.0.0.1', 0)); s.listen(); print(s.getsockname()[1], "
                              "flush=True); time.sleep(60)"], stdout=subprocess.PIPE, text=True)
    started.append(taken)
    port = taken.stdout.readline().strip()
    cases = [
        (["--hosts-file", os.path.join(SCRATCH, "missing")], "No such file or directory"),
        (["--hosts-file", os.path.join(SCRATCH, "bad-hosts")], "bad-hosts:2: one host per line"),
        (["nosuch.test"], "nosuch.test: "),
        (["127.0.0.1", "300.1.2.3"], "300.1.2.3: no IPv4 address"),
        (["127.0.0.1", "--metrics", "127.0.0.1:" + port], "--metrics: "),
    ]
    for arguments, said in cases:
        run = run_briefly(arguments)
        if run.returncode != 2 or said not in run.stderr or run.stderr.count("\n") != 1:
            fail("%s: status %d, %r" % (arguments, run.returncode, run.stderr))
        print("startup error: " + run.stderr.strip())


def sample(scrape, name, host):
    found = re.search(r'^%s\{host="%s"\} (\S+)$' % (name, re.escape(host)), scrape, re.M)
    return float(found.group(1)) if found else None


def metrics_answer(url):
    scrape = poll(lambda: (lambda s: s if s and sample(s, "echowatch_up", "192.0.2.1") == 0
                           and (sample(s, "echowatch_requests_total", "router.test") or 0) >= 3
                           else None)(fetch(url)), 30, "scrape with router.test probed and "
                  "192.0.2.1 down")
    for host in ("127.0.0.1", "router.test"):
        if sample(scrape, "echowatch_up", host) != 1:
            fail("%s not up:\n%s" % (host, scrape))
    if 'echowatch_failures_total{host="127.0.0.1",status="11010"} 0' not in scrape:
        fail("failure counters not there at 0:\n" + scrape)
    promtool_clean(scrape)
    print("metrics: 3 hosts, 192.0.2.1 down, failure counters at 0, promtool clean")


def hangup_reads_hosts_again(child, url):
    """The hosts file read again, and the log, rotated away as logrotate
    would before its SIGHUP, written anew."""
    log = os.path.join(SCRATCH, "log")
    poll(lambda: os.path.exists(log), 30, "the live log")
    os.replace(log, log + ".1")
    write_hosts(["router.test", "127.0.0.3"])
    os.kill(child.pid, signal.SIGHUP)
    poll(lambda: "127.0.0.3" in text(log), 30, "the new log with 127.0.0.3 in it")

    def reread():
        scrape = fetch(url)
        return scrape and sample(scrape, "echowatch_up", "127.0.0.3") == 1 \
            and sample(scrape, "echowatch_up", "192.0.2.1") is None and scrape

    scrape = poll(reread, 30, "127.0.0.3 watched and 192.0.2.1 no more after SIGHUP")
    if sample(scrape, "echowatch_up", "router.test") != 1:
        fail("router.test lost its watch on SIGHUP")
    print("SIGHUP: 127.0.0.3 added, 192.0.2.1 removed, router.test kept, the log written anew")


def terminate_ends_cleanly(child, history):
    began = time.monotonic()
    child.send_signal(signal.SIGTERM)
    status = child.wait(timeout=10)
    took = time.monotonic() - began
    if status != 0 or took > 2:
        fail("SIGTERM: status %d after %.2f s" % (status, took))
    with sqlite3.connect("file:%s?mode=ro" % history, uri=True) as connection:
        rows = connection.execute("select host, why from watch_log order by host, started").fetchall()
    ended = {(host, why) for host, why in rows}
    expected = {("127.0.0.1", "closed"), ("127.0.0.2", "closed"), ("127.0.0.3", "closed"),
                ("192.0.2.1", "stopped")}
    if ended != expected:
        fail("watches in the history file: %r" % rows)
    print("SIGTERM: status 0 after %.2f s; watches ended: %s" % (took, sorted(ended)))


def main():
    startup_errors_end_with_status_2_and_one_line()
    write_hosts(["router.test", "192.0.2.1"])
    history = os.path.join(SCRATCH, "history.sqlite")
    down_mark = os.path.join(SCRATCH, "down")
    output = open(os.path.join(SCRATCH, "headless.out"), "wb")
    child = subprocess.Popen(
        [BINARY, "--headless", "127.0.0.1", "--hosts-file", HOSTS, "--interval", "100",
         "--metrics", "127.0.0.1:0", "--history", history, "--log", os.path.join(SCRATCH, "log"),
         "--on-down", "touch " + down_mark], stdout=output, stderr=subprocess.STDOUT)
    started.append(child)
    found = poll(lambda: re.search(r"metrics at (http://127\.0\.0\.1:\d+/metrics)",
                                   text(output.name)), 30, "metrics address on standard error")
    url = found.group(1)
    metrics_answer(url)
    poll(lambda: os.path.exists(down_mark), 30, "--on-down run for 192.0.2.1")
    hangup_reads_hosts_again(child, url)
    terminate_ends_cleanly(child, history)


try:
    main()
finally:
    stop_all(started)
