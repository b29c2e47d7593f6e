#!/usr/bin/env python3
# Another account's worst against every quote service it can find: idle connections and pipelined
# requests it never reads, on each kolpex socket that /proc/net/unix lists and each loopback TCP
# listener. Prints "ready found N connected C tcp T " and holds everything until its stdin closes
# (10 s at most).
import select
import socket
import sys

IDLE, PIPELINED = 2000, 400
PIPELINE = b"GET /detail/stock_quote?Symbol=US:MSFT HTTP/1.1\r\nHost: a\r\n\r\n" * 50

held = []


def crowd(family, address):
    count = 0
    for i in range(IDLE + PIPELINED):
        s = socket.socket(family, socket.SOCK_STREAM)
        try:
            s.settimeout(1)
            s.connect(address)
            if i >= IDLE:
                s.setblocking(False)
                try:
                    s.send(PIPELINE)
                except BlockingIOError:
                    pass
        except OSError:
            s.close()
            break
        held.append(s)
        count += 1
    return count


paths = set()
with open("/proc/net/unix") as table:
    next(table)
    for line in table:
        fields = line.split()
        if len(fields) >= 8 and "/kolpex-" in fields[7] and fields[7].endswith("/quote.sock"):
            paths.add(fields[7])
connected = sum(crowd(socket.AF_UNIX, path) for path in sorted(paths))

ports = set()
with open("/proc/net/tcp") as table:
    next(table)
    for line in table:
        fields = line.split()
        local, state = fields[1], fields[3]
        if state == "0A" and local.startswith("0100007F:"):
            ports.add(int(local.split(":")[1], 16))
tcp = sum(crowd(socket.AF_INET, ("127.0.0.1", port)) for port in sorted(ports))

print(f"ready found {len(paths)} connected {connected} tcp {tcp} ", flush=True)
select.select([sys.stdin], [], [], 10)
