#!/usr/bin/python3
"""The outside yardstick of bench/quellix_relay_bench.cpp: a plain python3 UDP relay.

Usage: outside_quellix_relay.py INPUT_PORT LISTENER_PORT...

Binds 127.0.0.1:INPUT_PORT and sends every datagram it receives, as it is, to each
listener port on 127.0.0.1 (one recv, then one sendto per listener), until a datagram
"quit" arrives. The benchmark starts it, drives it with the same sender and listeners
as the diffusion program's relay, and compares the highest rates with none lost.
Run with Debian's python3.
"""
import socket
import sys


def main():
    if len(sys.argv) < 3:
        sys.stderr.write(__doc__)
        return 2
    source = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    source.bind(("127.0.0.1", int(sys.argv[1])))
    out = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    targets = [("127.0.0.1", int(p)) for p in sys.argv[2:]]
    recv = source.recv
    send = out.sendto
    while True:
        data = recv(65536)
        if data == b"quit":
            return 0
        for t in targets:
            send(data, t)


if __name__ == "__main__":
    sys.exit(main())
