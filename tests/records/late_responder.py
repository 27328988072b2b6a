"""Answers echo requests on this namespace's loopback itself, each after the
delay in milliseconds that the file named on the command line holds at the
moment the request comes, so a lab can make a host slow and fast again
without the kernel's queueing tools. The kernel's own answers must be off
(net.ipv4.icmp_echo_ignore_all=1) in the namespace. Each reply comes from
the address asked, so that any number of loopback addresses answer.

    late_responder.py DELAY_FILE
"""
import heapq
import select
import socket
import sys
import time

ECHO_REQUEST, ECHO_REPLY = 8, 0


def checksum(data):
    if len(data) % 2:
        data += b"\0"
    total = sum(int.from_bytes(data[i:i + 2], "big") for i in range(0, len(data), 2))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def reply_to(packet):
    """The echo reply to a raw IPv4 packet holding an echo request, as a
    whole IPv4 packet from the address asked, or None."""
    header = (packet[0] & 0x0F) * 4
    message = bytearray(packet[header:])
    if len(message) < 8 or message[0] != ECHO_REQUEST:
        return None
    message[0], message[2:4] = ECHO_REPLY, b"\0\0"
    message[2:4] = checksum(bytes(message)).to_bytes(2, "big")
    asked, asker = packet[16:20], packet[12:16]
    # Length, identification and checksum are the kernel's to fill in.
    ip = bytes([0x45, 0, 0, 0, 0, 0, 0, 0, 64, socket.IPPROTO_ICMP, 0, 0]) + asked + asker
    return ip + bytes(message)


def delay_seconds(path):
    try:
        with open(path, encoding="ascii") as file:
            return int(file.read().strip() or 0) / 1000.0
    except (OSError, ValueError):
        return 0.0


def main():
    delay_file = sys.argv[1]
    raw = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_ICMP)
    sender = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_RAW)
    due = []  # (when, sequence, reply, source): the replies waiting their turn
    sequence = 0
    while True:
        timeout = max(0.0, due[0][0] - time.monotonic()) if due else None
        readable, _, _ = select.select([raw], [], [], timeout)
        if readable:
            packet, (source, _) = raw.recvfrom(65535)
            reply = reply_to(packet)
            if reply:
                sequence += 1
                when = time.monotonic() + delay_seconds(delay_file)
                heapq.heappush(due, (when, sequence, reply, source))
        while due and due[0][0] <= time.monotonic():
            _, _, reply, source = heapq.heappop(due)
            sender.sendto(reply, (source, 0))


if __name__ == "__main__":
    main()
