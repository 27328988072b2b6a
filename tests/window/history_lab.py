"""The History window after a real run in the lab, driven through AT-SPI:
the lab's host answers, is silenced by an nftables drop for a few seconds,
then answers again. The window must show one outage of timeouts whose lost
probes are all the run lost, and ping's statistics lines. With a second
argument it saves a picture of the History window there.

Run by history_lab.sh inside the lab's client namespace and a D-Bus session
of its own."""

import re
import struct
import subprocess
import sys

from window_session import Atspi, WindowSession, wait_for

HOST = "198.51.100.2"
# Probes 200 ms apart: about 2 s answered, 4 s silent, 2 s answered again.
ANSWERED_PROBES = 10
SILENT_PROBES = 20
DROP_TABLE = "ewhistory_drop"
COUNT_TABLE = "ewhistory_count"
TIMED_OUT = "11010   [ ip req timed out ]"
ANSWERED = "0   [ ip success ]"
# X keycodes of Xvfb's default keymap.
KEYCODE_CONTROL_L = 37
KEYCODE_H = 43


def lab_namespace(role):
    client = subprocess.run(["ip", "netns", "identify"], capture_output=True, text=True,
                            check=True, timeout=10).stdout.strip()
    if not client.endswith("-client"):
        raise RuntimeError(f"not inside a lab's client namespace ({client!r})")
    return client[: -len("client")] + role


def count_requests():
    """Counts, from now on, every echo request the lab's host receives
    (dropped ones too)."""
    rules = (f"table ip {COUNT_TABLE} {{\n"
             "  chain input {\n"
             "    type filter hook input priority -10; policy accept;\n"
             "    icmp type echo-request counter\n"
             "  }\n"
             "}\n")
    subprocess.run(["ip", "netns", "exec", lab_namespace("host"), "nft", "-f", "-"], input=rules,
                   text=True, check=True, timeout=10)


def requests():
    listed = subprocess.run(["ip", "netns", "exec", lab_namespace("host"), "nft", "list", "table",
                             "ip", COUNT_TABLE], capture_output=True, text=True, check=True,
                            timeout=10).stdout
    return int(re.search(r"packets (\d+)", listed).group(1))


def wait_for_requests(what, more):
    """Waits until the host has received MORE echo requests than now."""
    target = requests() + more
    wait_for(f"{more} probes {what}", lambda: requests() >= target, timeout=30)


def silence_host(silent):
    host = lab_namespace("host")
    if silent:
        rules = (f"table ip {DROP_TABLE} {{\n"
                 "  chain input {\n"
                 "    type filter hook input priority 0; policy accept;\n"
                 "    icmp type echo-request drop\n"
                 "  }\n"
                 "}\n")
        subprocess.run(["ip", "netns", "exec", host, "nft", "-f", "-"], input=rules, text=True,
                       check=True, timeout=10)
    else:
        subprocess.run(["ip", "netns", "exec", host, "nft", "delete", "table", "ip", DROP_TABLE],
                       check=True, timeout=10)


def ping_loss(transmitted, received):
    """The loss as ping prints it: through a float, with %g."""
    loss = struct.unpack("f", struct.pack("f", (transmitted - received) * 100.0 / transmitted))[0]
    return "%g" % loss


def vary_round_trips():
    """For the picture: the host's replies delayed 2 ms +- 1 ms, so the chart
    has round trips to draw. Left out where the kernel has no netem."""
    host = lab_namespace("host")
    added = subprocess.run(["ip", "netns", "exec", host, "tc", "qdisc", "add", "dev", "h0", "root",
                            "netem", "delay", "2ms", "1ms"], capture_output=True, timeout=10)
    if added.returncode != 0:
        print("no netem here: the picture shows the lab's own round trips")


def run_with_outage(session):
    session.type_into("Address", HOST)
    session.type_into("Interval (ms)", "200")
    session.press("Start")
    session.wait_for_text("Status", ANSWERED)
    wait_for_requests("answered", ANSWERED_PROBES)
    silence_host(True)
    try:
        session.wait_for_text("Status", TIMED_OUT)
        wait_for_requests("dropped", SILENT_PROBES)
    finally:
        silence_host(False)
    session.wait_for_text("Status", ANSWERED)
    wait_for_requests("answered again", ANSWERED_PROBES)
    session.press("Stop")
    session.named("Start")


def check_history(session):
    session.press_shortcut(KEYCODE_H, KEYCODE_CONTROL_L)
    history = wait_for("the History window", lambda: session.frame(f"History of {HOST}"))
    statistics = session.control(lambda node: node.get_name() == "Statistics"
                                 and node.get_role() == Atspi.Role.TEXT, history)
    text = Atspi.Text.get_text(statistics, 0, Atspi.Text.get_character_count(statistics))
    lines = text.split("\n")
    print("\n".join(lines))
    sent = re.fullmatch(r"(\d+) packets transmitted, (\d+) received, ([0-9.e+-]+)% packet loss, time \d+ms",
                        lines[0])
    assert sent, f"statistics line {lines[0]!r}"
    transmitted, received = int(sent.group(1)), int(sent.group(2))
    assert sent.group(3) == ping_loss(transmitted, received), lines[0]
    down = re.fullmatch(r"down [0-9.]+% of the watched time \((.+) of (.+)\)", lines[1])
    assert down, f"down time line {lines[1]!r}"
    assert re.fullmatch(r"rtt min/avg/max/mdev = (\d+\.\d{3}/){3}\d+\.\d{3} ms", lines[2]), lines[2]
    assert len(lines) == 3, "nothing was left unsent"

    table = session.control(lambda node: node.get_name() == "Outages"
                            and node.get_role() == Atspi.Role.TABLE, history)
    # The table fills as the window catches up: wait for the outage, then
    # make sure it is the only one.
    wait_for("the outage in the table", lambda: Atspi.Table.get_n_rows(table) >= 1)
    rows = Atspi.Table.get_n_rows(table)
    assert rows == 1, f"{rows} outages"
    cell = lambda column: Atspi.Table.get_accessible_at(table, 0, column).get_name()  # noqa: E731
    assert cell(4) == TIMED_OUT, f"cause {cell(4)!r}"
    assert int(cell(3)) == transmitted - received, f"{cell(3)} lost of {transmitted - received}"
    assert cell(1) != "ongoing"
    assert cell(2) == down.group(1), f"outage of {cell(2)}, down for {down.group(1)}"
    print(f"one outage: {cell(0)} to {cell(1)}, {cell(2)}, {cell(3)} lost, {cell(4)}")
    return history


def main(binary, picture=None):
    count_requests()
    session = WindowSession(binary, screen="1024x768x24")
    try:
        if picture:
            vary_round_trips()
        run_with_outage(session)
        history = check_history(session)
        if picture:
            wait_for("the History window on screen",
                     lambda: history.get_state_set().contains(Atspi.StateType.SHOWING))
            environment = {"DISPLAY": session.display, "PATH": "/usr/bin:/bin"}
            subprocess.run(["import", "-window", history.get_name(), picture], env=environment,
                           check=True, timeout=30)
            print(f"wrote {picture}")
    finally:
        session.close()
        subprocess.run(["ip", "netns", "exec", lab_namespace("host"), "nft", "delete", "table",
                        "ip", COUNT_TABLE], timeout=10)


if __name__ == "__main__":
    main(*sys.argv[1:])
