"""The outage's Where through AT-SPI in the chained lab: the window,
started with --trace-on-down probing the host every 200 ms, sees the host
answer over four hops; then the path breaks, once per case: router 2 drops
the requests it would forward; the host drops them; router 2 rations its
ICMP errors (its allowance spent beforehand) and the host drops them. The
one outage row in the History window must say whose side the outage is on
and where the path broke, and a double-click on the row opens the Path
window on that trace as it was. Then one window sees the way break at
four points in turn, mended in between, and its outage table holds a row
of each class; the host's link down opens a trace with the last router's
host-unreachable marked. With a folder as second argument it saves
pictures of that table and that trace there.

Run by path_lab.sh inside the chained lab's client namespace and a D-Bus
session of its own."""

import subprocess
import sys

from window_session import Atspi, WindowSession, wait_for

HOST = "203.0.113.10"
DROP_TABLE = "ewpath_drop"
HOST_SILENT = "the host: every hop answered up to the host; the host did not"
# Router 2 answers six requests that run out there, then one in ten seconds.
RATIONING = ("net.ipv4.icmp_ratelimit=10000 net.ipv4.icmp_ratemask=6168",
             "net.ipv4.icmp_ratelimit=1000 net.ipv4.icmp_ratemask=6168")
# name, where requests are dropped (role, hook), whether router 2 rations,
# the Where expected.
CASES = [
    ("drop after router 2", ("r2", "forward"), False,
     "beyond the gateway: stops after hop 2 (192.0.2.18)"),
    ("drop at the host", ("host", "input"), False, HOST_SILENT),
    ("router 2 rationing, drop at the host", ("host", "input"), True, HOST_SILENT),
]
TIMED_OUT = "11010   [ ip req timed out ]"
ANSWERED = "0   [ ip success ]"
WHERE_COLUMN = 5
# X keycodes of Xvfb's default keymap.
KEYCODE_CONTROL_L = 37
KEYCODE_H = 43
KEYCODE_RETURN = 36


def lab_namespace(role):
    client = subprocess.run(["ip", "netns", "identify"], capture_output=True, text=True,
                            check=True, timeout=10).stdout.strip()
    if not client.endswith("-client"):
        raise RuntimeError(f"not inside a lab's client namespace ({client!r})")
    return client[: -len("client")] + role


def drop_requests(role, hook, dropping):
    namespace = lab_namespace(role)
    if dropping:
        rules = (f"table ip {DROP_TABLE} {{\n"
                 "  chain c {\n"
                 f"    type filter hook {hook} priority 0; policy accept;\n"
                 f"    ip daddr {HOST} icmp type echo-request drop\n"
                 "  }\n"
                 "}\n")
        subprocess.run(["ip", "netns", "exec", namespace, "nft", "-f", "-"], input=rules,
                       text=True, check=True, timeout=10)
    else:
        subprocess.run(["ip", "netns", "exec", namespace, "nft", "delete", "table", "ip",
                        DROP_TABLE], timeout=10)


def ration_router_2(rationing):
    subprocess.run(["ip", "netns", "exec", lab_namespace("r2"), "sysctl", "-q", "-w",
                    *RATIONING[0 if rationing else 1].split()], check=True, timeout=10)
    if rationing:
        # Spends router 2's allowance: eight requests that run out there.
        subprocess.run(["ping", "-n", "-q", "-t", "2", "-c", "8", "-i", "0.01", "-W", "1", HOST],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20)


def outage_where(session, expected):
    session.press_shortcut(KEYCODE_H, KEYCODE_CONTROL_L)
    history = wait_for("the History window", lambda: session.frame(f"History of {HOST}"))
    table = session.control(lambda node: node.get_name() == "Outages"
                            and node.get_role() == Atspi.Role.TABLE, history)
    wait_for("the outage in the table", lambda: Atspi.Table.get_n_rows(table) >= 1)
    where = lambda: Atspi.Table.get_accessible_at(table, 0, WHERE_COLUMN).get_name()  # noqa: E731
    # The trace runs once the host is called down, and takes a few seconds.
    wait_for(f"a verdict in the Where cell (it reads {where()!r})", where, timeout=30)
    rows = Atspi.Table.get_n_rows(table)
    header = Atspi.Table.get_column_header(table, WHERE_COLUMN).get_name()
    print(f"{rows} outage(s); {header}: {where()}")
    assert header == "Where", header
    assert rows == 1, f"{rows} outages"
    assert where() == expected, f"Where reads {where()!r}"
    return history, table


def open_trace(session, history, table, first_hops, row=0):
    """A double-click on the outage row, as a person would."""
    session.give_keyboard_focus(history.get_name())
    cell = Atspi.Table.get_accessible_at(table, row, 0)
    extents = Atspi.Component.get_extents(cell, Atspi.CoordType.SCREEN)
    environment = {"DISPLAY": session.display, "PATH": "/usr/bin:/bin"}
    subprocess.run(["xdotool", "mousemove", "--sync", str(extents.x + extents.width // 2),
                    str(extents.y + extents.height // 2), "click", "--repeat", "2", "1"],
                   env=environment, check=True, timeout=10)
    title = f"EchoWatch Path to {HOST}, traced at "
    found = lambda: next((session.frame(name) for name in frame_names(session)  # noqa: E731
                          if name.startswith(title)), None)
    path = wait_for("the Path window on the kept trace", found)
    hops = session.control(lambda node: node.get_name() == f"Hops to {HOST}"
                           and node.get_role() == Atspi.Role.TABLE, path)
    rows = Atspi.Table.get_n_rows(hops)
    cells = [[Atspi.Table.get_accessible_at(hops, row, column).get_name() for column in range(2)]
             for row in range(rows)]
    print(f"{path.get_name()}: " + "; ".join(" ".join(cell) for cell in cells))
    assert [cell[1] for cell in cells[:len(first_hops)]] == first_hops, cells
    return path


def frame_names(session):
    desktop = Atspi.get_desktop(0)
    names = []
    for index in range(desktop.get_child_count()):
        application = desktop.get_child_at_index(index)
        for child in range(application.get_child_count() if application else 0):
            frame = application.get_child_at_index(child)
            if frame:
                names.append(frame.get_name())
    return names


def save_picture(session, window, picture):
    wait_for("the window on screen",
             lambda: window.get_state_set().contains(Atspi.StateType.SHOWING))
    environment = {"DISPLAY": session.display, "PATH": "/usr/bin:/bin"}
    subprocess.run(["import", "-window", window.get_name(), picture], env=environment,
                   check=True, timeout=30)
    print(f"wrote {picture}")


# One window, four breaks in turn, each mended before the next: name, the
# commands that break the way and mend it (role, command), the row's Where.
SIDE_TABLE = "ewpath_side"
HOST_LINK_UP = ("sh -c 'ip link set h0 up && ip route replace 192.0.2.0/24 via 203.0.113.1 && "
                "ip route replace 198.51.100.0/28 via 203.0.113.1'")
QUICK_ARP = "sysctl -q -w net.ipv4.neigh.d1.mcast_solicit=1 net.ipv4.neigh.d1.retrans_time_ms=100"
USUAL_ARP = "sysctl -q -w net.ipv4.neigh.d1.mcast_solicit=3 net.ipv4.neigh.d1.retrans_time_ms=1000"


def nft_drop(hook, rule):
    return (f"nft 'add table ip {SIDE_TABLE}; add chain ip {SIDE_TABLE} c {{ type filter hook "
            f"{hook} priority -300; policy accept; }}; add rule ip {SIDE_TABLE} c {rule}'")


NFT_UNDO = f"nft delete table ip {SIDE_TABLE}"
SIDES = [
    ("the gateway silent", [("r1", nft_drop("prerouting", "iifname a0 drop"))], [("r1", NFT_UNDO)],
     "local network: gateway 192.0.2.1 does not answer"),
    ("router 2 drops what it forwards", [("r2", nft_drop("forward", "drop"))], [("r2", NFT_UNDO)],
     "beyond the gateway: stops after hop 2 (192.0.2.18)"),
    ("the host's link down", [("r3", QUICK_ARP), ("host", "ip link set h0 down")],
     [("host", HOST_LINK_UP), ("r3", USUAL_ARP)],
     "beyond the gateway: router 198.51.100.2 (hop 3) cannot reach the host (host unreachable)"),
    ("the host silent", [("host", nft_drop("input", "icmp type echo-request drop"))],
     [("host", NFT_UNDO)], HOST_SILENT),
]


def in_lab(role, command):
    subprocess.run(["ip", "netns", "exec", lab_namespace(role), "sh", "-c", command], check=True,
                   timeout=20)


def where_column(table, rows):
    return [Atspi.Table.get_accessible_at(table, row, WHERE_COLUMN).get_name()
            for row in range(rows)]


def break_in_turn(session, table, index, side):
    """Breaks the way, waits for the outage's row to have its Where, mends it
    and waits for the host's answer."""
    name, breaking, mending, expected = side
    session.wait_for_text("Status", ANSWERED)
    try:
        for role, command in breaking:
            in_lab(role, command)
        wait_for(f"the outage of {name} in the table",
                 lambda: Atspi.Table.get_n_rows(table) == index + 1
                 and Atspi.Table.get_accessible_at(table, 0, WHERE_COLUMN).get_name(),
                 timeout=30)
    finally:
        for role, command in mending:
            in_lab(role, command)
    where = Atspi.Table.get_accessible_at(table, 0, WHERE_COLUMN).get_name()
    print(f"{name}: {where}")
    assert where == expected, f"Where reads {where!r}"


def run_sides(binary, pictures):
    """Every class but this computer's in one outage table, and the trace
    behind the host's link down, its error row marked."""
    print("every side in one window:")
    session = WindowSession(binary, screen="1024x768x24",
                            arguments=["--trace-on-down", "-i", "200", "--start", HOST])
    try:
        session.wait_for_text("Status", ANSWERED)
        session.press_shortcut(KEYCODE_H, KEYCODE_CONTROL_L)
        history = wait_for("the History window", lambda: session.frame(f"History of {HOST}"))
        table = session.control(lambda node: node.get_name() == "Outages"
                                and node.get_role() == Atspi.Role.TABLE, history)
        for index, side in enumerate(SIDES):
            break_in_turn(session, table, index, side)
        wheres = where_column(table, len(SIDES))
        assert wheres == [side[3] for side in reversed(SIDES)], wheres
        if pictures:
            save_picture(session, history, f"{pictures}/outage-where.png")
        host_link_row = len(SIDES) - 1 - 2
        path = open_trace(session, history, table, ["192.0.2.1", "192.0.2.18"], host_link_row)
        marked = error_rows(session, path)
        assert marked == ["198.51.100.2 !H"], marked
        if pictures:
            save_picture(session, path, f"{pictures}/path.png")
    finally:
        session.close()


def error_rows(session, path):
    hops = session.control(lambda node: node.get_name() == f"Hops to {HOST}"
                           and node.get_role() == Atspi.Role.TABLE, path)
    addresses = [Atspi.Table.get_accessible_at(hops, row, 1).get_name()
                 for row in range(Atspi.Table.get_n_rows(hops))]
    return [address for address in addresses if "!" in address]


def run_case(binary, case, pictures):
    name, (role, hook), rationing, expected = case
    print(f"{name}:")
    session = WindowSession(binary, screen="1024x768x24",
                            arguments=["--trace-on-down", "-i", "200", "--start", HOST])
    try:
        session.wait_for_text("Status", ANSWERED)
        if rationing:
            ration_router_2(True)
        drop_requests(role, hook, True)
        session.wait_for_text("Status", TIMED_OUT)
        history, table = outage_where(session, expected)
        # Router 2 answers in the trace unless it was rationing.
        first_hops = ["192.0.2.1"] if rationing else ["192.0.2.1", "192.0.2.18"]
        open_trace(session, history, table, first_hops)
    finally:
        drop_requests(role, hook, False)
        if rationing:
            ration_router_2(False)
        session.close()


def main(binary, pictures=None):
    for case in CASES:
        run_case(binary, case, None)
    run_sides(binary, pictures)


if __name__ == "__main__":
    main(*sys.argv[1:])
