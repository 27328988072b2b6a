"""Run in vantage_lab.sh's Prometheus namespace: three vantage points run
--headless on the same two hosts, a real Prometheus scrapes them with the
shipped rules, and every query of the shipped dashboard is asked of it. Then
one vantage point's path to the hosts is broken, and "which vantage points
see the host down" must name that one alone; then host2 itself goes silent,
and every vantage point must see it down."""
import json
import os
import socket
import subprocess
import sys
import time
import urllib.parse
import urllib.request

from lab_process import fail, poll, run_lab

BINARY, RULES, DASHBOARD, LAB, SCRATCH = sys.argv[1:6]
HOSTS = ["198.51.100.2", "198.51.100.18"]
VANTAGES = {"vp1": "192.0.2.18", "vp2": "192.0.2.34", "vp3": "192.0.2.50"}
WHO_IS_DOWN = "echowatch_up == 0"
SEEN_DOWN_BY_SOME = "count by (host) (echowatch_up == 0) < count by (host) (echowatch_up)"
DOWN_EVERYWHERE = "count by (host) (echowatch_up == 0) == count by (host) (echowatch_up)"
started = []


def start(arguments, name, namespace=None):
    """A child of ours, in a namespace of the lab where one is named."""
    if namespace:
        arguments = ["ip", "netns", "exec", "%s-%s" % (LAB, namespace)] + arguments
    output = open(os.path.join(SCRATCH, name + ".out"), "wb")
    child = subprocess.Popen(arguments, stdout=output, stderr=subprocess.STDOUT)
    started.append(child)
    return child


def in_namespace(namespace, *arguments):
    subprocess.run(["ip", "netns", "exec", "%s-%s" % (LAB, namespace)] + list(arguments),
                   check=True, timeout=30)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Prometheus:
    def __init__(self):
        self.port = free_port()
        config = os.path.join(SCRATCH, "prometheus.yml")
        targets = "      - targets: [%s]\n" % ", ".join(
            "'%s:9427'" % address for address in VANTAGES.values())
        with open(config, "w", encoding="utf-8") as file:
            file.write("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                       "rule_files: ['%s']\nscrape_configs:\n  - job_name: echowatch\n"
                       "    static_configs:\n%s" % (RULES, targets))
        start(["prometheus", "--config.file=" + config,
               "--storage.tsdb.path=" + os.path.join(SCRATCH, "tsdb"),
               "--web.listen-address=127.0.0.1:%d" % self.port, "--log.level=warn"],
              "prometheus")

    def query(self, expression):
        url = "http://127.0.0.1:%d/api/v1/query?%s" % (
            self.port, urllib.parse.urlencode({"query": expression}))
        try:
            with urllib.request.urlopen(url, timeout=5) as answer:
                body = json.loads(answer.read().decode())
        except OSError:
            return None
        if body.get("status") != "success":
            fail("Prometheus refused %r: %s" % (expression, body))
        return body["data"]["result"]

    def pairs(self, expression):
        """The (vantage, host) pairs the query answers."""
        return sorted((vantage_of(row), row["metric"].get("host", ""))
                      for row in self.query(expression) or [])


def vantage_of(row):
    """The vantage point a series came from: its target, the instance."""
    address = row["metric"].get("instance", "").split(":")[0]
    return next((name for name, known in VANTAGES.items() if known == address), address)


def start_vantage_points():
    hosts = os.path.join(SCRATCH, "hosts")
    with open(hosts, "w", encoding="utf-8") as file:
        file.write("# the lab's two hosts\n%s\n" % "\n".join(HOSTS))
    for name in VANTAGES:
        start([BINARY, "--headless", "--hosts-file", hosts, "--interval", "200",
               "--metrics", "0.0.0.0:9427"], name, name)


def dashboard_queries():
    """Every query of the shipped dashboard, its variables given as Grafana
    would for "All" over a short range."""
    with open(DASHBOARD, encoding="utf-8") as file:
        dashboard = json.load(file)
    given = {"$host": ".*", "$vantage": ".*", "$__rate_interval": "5s", "$__range": "60s"}
    for panel in dashboard["panels"]:
        for target in panel["targets"]:
            expression = target["expr"]
            for name, value in given.items():
                expression = expression.replace(name, value)
            yield panel["title"], expression


def vantages_in(result):
    return {vantage_of(row) for row in result}


def dashboard_answers(prometheus):
    """Each panel's query answers for every vantage point (the heatmap, one
    series per bucket, sums them)."""
    for title, expression in dashboard_queries():
        if title.startswith("Down now"):
            continue  # nothing is down yet: asked once the path is broken
        whole = (lambda result: result) if title.startswith("Round trip") else \
            (lambda result: vantages_in(result) == set(VANTAGES) and result)
        result = poll(lambda e=expression, w=whole: w(prometheus.query(e) or []), 60,
                      "data from every vantage point for panel " + title)
        print("dashboard panel %r: %d series" % (title, len(result)))


def expect_hosts(prometheus, expression, hosts):
    answered = sorted(row["metric"]["host"] for row in prometheus.query(expression))
    if answered != sorted(hosts):
        fail("%s -> %s, not %s" % (expression, answered, hosts))
    print("%s -> %s" % (expression, answered))


def loss_ratios(prometheus):
    return {(vantage_of(row), row["metric"]["host"]): float(row["value"][1])
            for row in prometheus.query("echowatch:loss_ratio:rate5m") or []}


def loss_told_apart(prometheus):
    """The ratios, once there is loss from vp2 and from no other."""
    losses = loss_ratios(prometheus)
    every = {(vantage, host) for vantage in VANTAGES for host in HOSTS}
    told = set(losses) == every and all(
        (vantage == "vp2") == (loss > 0) for (vantage, host), loss in losses.items())
    return losses if told else None


def broken_path_is_told_apart(prometheus):
    # vp2's traffic to the hosts is dropped on the router; its scrapes pass.
    in_namespace("router", "nft", "add table ip vantage_lab")
    in_namespace("router", "nft", "add chain ip vantage_lab forward "
                 "{ type filter hook forward priority 0 ; }")
    in_namespace("router", "nft", "add rule ip vantage_lab forward ip saddr 192.0.2.32/28 "
                 "ip daddr 198.51.100.0/24 drop")
    expected = sorted(("vp2", host) for host in HOSTS)
    poll(lambda: prometheus.pairs(WHO_IS_DOWN) == expected, 60,
         "vp2 alone seeing both down", lambda: prometheus.pairs(WHO_IS_DOWN))
    print("path of vp2 broken; %s -> %s" % (WHO_IS_DOWN, prometheus.pairs(WHO_IS_DOWN)))
    expect_hosts(prometheus, SEEN_DOWN_BY_SOME, HOSTS)
    expect_hosts(prometheus, DOWN_EVERYWHERE, [])
    # The recorded ratio is evaluated on its own beat, a scrape or so after
    # the down is seen: waited for, every pair checked each time.
    losses = poll(lambda: loss_told_apart(prometheus), 60,
                  "loss from vp2 alone", lambda: loss_ratios(prometheus))
    print("echowatch:loss_ratio:rate5m -> %s" % sorted(losses.items()))
    title, panel = next(query for query in dashboard_queries() if query[0].startswith("Down now"))
    print("dashboard panel %r: %s" % (title, prometheus.pairs(panel)))


def host_down_is_seen_from_everywhere(prometheus):
    in_namespace("host2", "ip", "link", "set", "h0", "down")
    expected = sorted([("vp2", host) for host in HOSTS] +
                      [(vantage, HOSTS[1]) for vantage in ("vp1", "vp3")])
    poll(lambda: prometheus.pairs(WHO_IS_DOWN) == expected, 60, "host2 down from every vantage",
         lambda: prometheus.pairs(WHO_IS_DOWN))
    print("host2 silent too; %s -> %s" % (WHO_IS_DOWN, prometheus.pairs(WHO_IS_DOWN)))
    expect_hosts(prometheus, SEEN_DOWN_BY_SOME, HOSTS[:1])
    expect_hosts(prometheus, DOWN_EVERYWHERE, HOSTS[1:])


def main():
    start_vantage_points()
    prometheus = Prometheus()
    every = sorted((vantage, host) for vantage in VANTAGES for host in HOSTS)
    began = time.monotonic()
    poll(lambda: prometheus.pairs("echowatch_up == 1") == every, 90,
         "both hosts up from all three vantage points",
         lambda: prometheus.query("echowatch_up"))
    print("all up after %.1f s: %s" % (time.monotonic() - began,
                                       prometheus.pairs("echowatch_up == 1")))
    dashboard_answers(prometheus)
    broken_path_is_told_apart(prometheus)
    host_down_is_seen_from_everywhere(prometheus)


run_lab(main, started, SCRATCH)
