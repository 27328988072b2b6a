"""The shipped window, offscreen in records_lab.sh's namespace: a name from
the test's hosts file, the live log across a rotation, /metrics as promtool
and a real Prometheus read it, and a name that does not resolve."""
import json
import os
import re
import socket
import subprocess
import sys
import urllib.parse

from lab_process import fail, fetch, poll, promtool_clean, run_lab, text

BINARY, SCRATCH = sys.argv[1], sys.argv[2]
RUNTIME = os.path.join(SCRATCH, "runtime")
os.mkdir(RUNTIME, 0o700)
ENVIRONMENT = dict(os.environ, QT_QPA_PLATFORM="offscreen", TZ="UTC", XDG_RUNTIME_DIR=RUNTIME)
started = []


def start(arguments, name):
    """A child of ours, its output in the scratch folder."""
    output = open(os.path.join(SCRATCH, name + ".out"), "wb")
    child = subprocess.Popen(arguments, stdout=output, stderr=subprocess.STDOUT,
                             env=ENVIRONMENT)
    if child.pid <= 0:
        fail("no process for " + name)
    started.append(child)
    return child, output.name


def json_lines(path):
    return [json.loads(line) for line in text(path).splitlines()]


def unresolvable_name_ends_with_status_2():
    run = subprocess.run([BINARY, "nosuch.test"], capture_output=True, text=True, timeout=60,
                         env=ENVIRONMENT)
    if run.returncode != 2 or "nosuch.test" not in run.stderr or run.stderr.count("\n") != 1:
        fail("unresolvable name: status %d, %r" % (run.returncode, run.stderr))
    print("unresolvable name: " + run.stderr.strip())


def log_follows_rotation(log):
    lines = poll(lambda: len(json_lines(log)) >= 3 and json_lines(log), 30, "log lines")
    first = lines[0]
    if (first["host"], first["address"], first["status"]) != ("router.test", "127.0.0.2", 0):
        fail("log line %r" % first)
    os.rename(log, log + ".1")
    with open(log, "w", encoding="utf-8"):
        pass
    poll(lambda: len(json_lines(log)) >= 2, 30, "lines in the new log after rotation")
    json_lines(log + ".1")  # every line of the rotated file still parses
    print("log: %d lines before rotation, new file written after it" % len(json_lines(log + ".1")))


def scrape_checks(metrics_url):
    scrape = poll(lambda: fetch(metrics_url), 30, "scrape")
    if 'echowatch_requests_total{host="router.test"}' not in scrape:
        fail("scrape without the named host:\n" + scrape)
    promtool_clean(scrape)
    print("promtool check metrics: clean")


# The counter, and the two queries docs/metrics.md gives (over 10 s rather
# than 5 min, so that two scrapes a second apart suffice): no loss from a
# loopback host that always answers, and a p90 round trip above 0.
QUERIES = [
    ('echowatch_requests_total{host="router.test"}', lambda value: value > 0),
    ("""sum by (host) (increase(echowatch_failures_total[10s]))
          / sum by (host) (increase(echowatch_requests_total[10s]))""", lambda value: value == 0),
    ("""histogram_quantile(0.9,
          sum by (host, le) (rate(echowatch_response_duration_seconds_bucket[10s])))""",
     lambda value: value > 0),
]


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def prometheus_answers(target):
    port = free_port()
    config = os.path.join(SCRATCH, "prometheus.yml")
    with open(config, "w", encoding="utf-8") as file:
        file.write("global:\n  scrape_interval: 1s\nscrape_configs:\n"
                   "  - job_name: echowatch\n    static_configs:\n"
                   "      - targets: ['%s']\n" % target)
    start(["prometheus", "--config.file=" + config,
           "--storage.tsdb.path=" + os.path.join(SCRATCH, "tsdb"),
           "--web.listen-address=127.0.0.1:%d" % port, "--log.level=warn"], "prometheus")
    for query, expected in QUERIES:
        url = "http://127.0.0.1:%d/api/v1/query?%s" % (port, urllib.parse.urlencode({"query": query}))

        def answered():
            body = fetch(url)
            result = json.loads(body)["data"]["result"] if body else []
            return result and expected(float(result[0]["value"][1])) and result

        result = poll(answered, 90, "answer from Prometheus to " + query)
        print("Prometheus: %s -> %s" % (" ".join(query.split()), result[0]["value"][1]))


def main():
    unresolvable_name_ends_with_status_2()
    log = os.path.join(SCRATCH, "live.jsonl")
    _, output = start([BINARY, "router.test", "-i", "100", "-s", "--log", log,
                       "--log-format", "jsonl", "--metrics", "127.0.0.1:0"], "echowatch")
    found = poll(lambda: re.search(r"metrics at http://(127\.0\.0\.1:\d+)/metrics", text(output)),
                 30, "metrics address on standard error")
    log_follows_rotation(log)
    scrape_checks("http://%s/metrics" % found.group(1))
    prometheus_answers(found.group(1))


run_lab(main, started, SCRATCH)
