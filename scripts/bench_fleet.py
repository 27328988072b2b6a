"""1,000 hosts at 1 s in one `echowatch --headless`, beside fping on the
same hosts: CPU per probe, resident memory, the share of probes that left
within 10 ms of their tick (from the prober's own histogram), and the time
a scrape of the 1,000 hosts' metrics takes. Run by
bench_fleet.sh in a network namespace with loopback alone: the hosts are
1,000 loopback addresses, which the kernel answers itself.

    python3 bench_fleet.py ECHOWATCH SECONDS [REPLY_MS]

With REPLY_MS the kernel's own answers are off and a responder of the
labs' answers every request that many milliseconds late, as hosts across
a network would, rather than within the send.
"""
import os
import re
import resource
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request

BINARY, SECONDS = sys.argv[1], int(sys.argv[2])
REPLY_MS = int(sys.argv[3]) if len(sys.argv) > 3 else None
RESPONDER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "records",
                         "late_responder.py")
HOSTS = ["127.0.%d.%d" % (third, fourth) for third in range(4) for fourth in range(1, 251)]
METRICS = "http://127.0.0.1:9427/metrics"
TICKS = os.sysconf("SC_CLK_TCK")


def row(*cells):
    print("| %s |" % " | ".join(cells), flush=True)


def scrape():
    try:
        with urllib.request.urlopen(METRICS, timeout=5) as answer:
            return answer.read().decode()
    except OSError:
        return None


def total(text, pattern):
    return sum(float(value) for value in re.findall(r"^%s (\S+)$" % pattern, text, re.M))


def wait_for(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.2)
    sys.exit("bench_fleet: no %s within %d s" % (what, seconds))


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid, encoding="ascii") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def resident_megabytes(pid):
    with open("/proc/%d/status" % pid, encoding="ascii") as status:
        kilobytes = re.search(r"^VmRSS:\s+(\d+) kB", status.read(), re.M).group(1)
    return int(kilobytes) / 1024


def figures(text):
    return {
        "requests": total(text, r'echowatch_requests_total\{host="[^"]*"\}'),
        "on_time": total(text, r'echowatch_probe_delay_seconds_bucket\{le="0.01"\}'),
        "delayed": total(text, r"echowatch_probe_delay_seconds_count"),
    }


def scrape_milliseconds():
    """The median of 11 whole scrapes of the 1,000 hosts' metrics over HTTP."""
    took = []
    for _ in range(11):
        began = time.perf_counter()
        if scrape() is None:
            sys.exit("bench_fleet: a scrape failed")
        took.append((time.perf_counter() - began) * 1e3)
    return sorted(took)[len(took) // 2]


def echowatch_figures(hosts_file):
    child = subprocess.Popen([BINARY, "--headless", "--hosts-file", hosts_file, "--interval",
                              "1000", "--metrics", "127.0.0.1:9427"],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        # Warmed up once every host has been probed twice.
        wait_for(lambda: (lambda text: text and text.count("echowatch_up{") == len(HOSTS)
                          and figures(text)["requests"] >= 2 * len(HOSTS))(scrape()),
                 60, "1,000 hosts probed twice")
        before, cpu_before = figures(scrape()), cpu_seconds(child.pid)
        time.sleep(SECONDS)  # the span measured, not a wait for an event
        after, cpu_after = figures(scrape()), cpu_seconds(child.pid)
        resident = resident_megabytes(child.pid)
        scrape_ms = scrape_milliseconds()
    finally:
        child.send_signal(signal.SIGTERM)
        child.wait(timeout=10)
    probes = after["requests"] - before["requests"]
    on_time = (after["on_time"] - before["on_time"]) / max(1, after["delayed"] - before["delayed"])
    return (cpu_after - cpu_before) / probes * 1e6, probes, resident, on_time, scrape_ms


def fping_figures():
    """fping -l -p 1000 on the same hosts, its CPU per probe sent. -i 1 lets
    it send the 1,000 requests of a round within 1 s (10 ms apart, its
    default, would take 10 s)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    child = subprocess.Popen(["fping", "-l", "-q", "-p", "1000", "-i", "1"] + HOSTS,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    time.sleep(SECONDS)  # the span measured
    child.send_signal(signal.SIGINT)
    summary = child.communicate(timeout=30)[1]
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    sent = sum(int(count) for count in re.findall(r"xmt/rcv/%loss = (\d+)/", summary))
    cpu = (after.ru_utime + after.ru_stime) - (before.ru_utime + before.ru_stime)
    return cpu / max(1, sent) * 1e6, sent


def late_responder(scratch):
    """The kernel's answers off, the labs' responder answering REPLY_MS late."""
    delay = os.path.join(scratch, "delay")
    with open(delay, "w", encoding="ascii") as file:
        file.write("%d\n" % REPLY_MS)
    with open("/proc/sys/net/ipv4/icmp_echo_ignore_all", "w", encoding="ascii") as file:
        file.write("1\n")
    return subprocess.Popen([sys.executable, RESPONDER, delay])


def main():
    with tempfile.TemporaryDirectory() as scratch:
        responder = late_responder(scratch) if REPLY_MS is not None else None
        try:
            hosts = os.path.join(scratch, "hosts")
            with open(hosts, "w", encoding="ascii") as hosts_file:
                hosts_file.write("\n".join(HOSTS) + "\n")
            per_probe, probes, resident, on_time, scrape_ms = echowatch_figures(hosts)
            fping_per_probe, fping_sent = fping_figures()
        finally:
            if responder is not None:
                responder.kill()
                responder.wait()
    fleet = "1,000 hosts at 1 s, --headless, " + (
        "answers %d ms late" % REPLY_MS if REPLY_MS is not None else "the kernel answers")
    row("%s: CPU per probe (%d probes over %d s; fping %d)" % (fleet, probes, SECONDS, fping_sent),
        "%.1f µs, %.2fx fping" % (per_probe, per_probe / fping_per_probe),
        "%.1f µs (fping -l -p 1000 -i 1)" % fping_per_probe, "at most 1.0x fping")
    row("%s: resident memory" % fleet, "%.1f MB" % resident, "-", "under 100 MB")
    row("%s: probes that left within 10 ms of their tick" % fleet, "%.3f %%" % (on_time * 100),
        "-", "99.9 %")
    row("1,000 hosts' metrics: one scrape over HTTP (median of 11)", "%.1f ms" % scrape_ms, "-",
        "under 50 ms")


main()
