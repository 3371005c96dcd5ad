#!/usr/bin/python3
"""Logs the UDP datagrams to or from one port in the given network namespaces: once when a
namespace sends one ("out"), `lo` included, so a host's datagrams to itself count too, and once
when one addressed to a namespace alone reaches its network stack ("in"); multicast arriving is
left out. Prints {"ready": true}, then one JSON line per datagram, and at the end of its
standard input {"end": true, "missed": N}, where N is what the kernel dropped because this
logger fell behind.

    {"ns": 3, "dir": "out", "src": "198.18.0.13", "dst": "229.235.141.206", "data": "<hex>",
     "t": <monotonic>}

Usage: send_log.py [--port 9090] NETNS...   (as root)
"""
import argparse
import ctypes
import json
import os
import select
import socket
import struct
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "testbed"))
from sniffer import udp_datagram  # noqa: E402

CLONE_NEWNET = 0x40000000
ETH_P_ALL = 0x0003
ETH_P_IP = 0x0800
PACKET_HOST = 0
PACKET_OUTGOING = 4
SOL_PACKET = 263
PACKET_STATISTICS = 6
SO_ATTACH_FILTER = 26
SO_RCVBUFFORCE = 33
SO_TIMESTAMPNS = 35
# Classic BPF: accept what the host sends and what is addressed to it alone.
SKF_AD_PKTTYPE = -0x1000 + 4
FILTER = [(0x20, 0, 0, SKF_AD_PKTTYPE & 0xFFFFFFFF),  # ld  pkttype
          (0x15, 1, 0, PACKET_OUTGOING),                # jeq #OUTGOING, accept
          (0x15, 0, 1, PACKET_HOST),                    # jeq #HOST, accept, drop
          (0x06, 0, 0, 0x40000),                        # accept: ret #whole
          (0x06, 0, 0, 0)]                              # drop: ret #0

libc = ctypes.CDLL(None, use_errno=True)


def enter(fd):
    if libc.setns(fd, CLONE_NEWNET) != 0:
        raise OSError(ctypes.get_errno(), "setns")


def capture_socket():
    # Only a socket for every protocol sees what goes out.
    s = socket.socket(socket.AF_PACKET, socket.SOCK_DGRAM, socket.htons(ETH_P_ALL))
    code = b"".join(struct.pack("HBBI", *insn) for insn in FILTER)
    program = ctypes.create_string_buffer(code)
    fprog = struct.pack("HL", len(FILTER), ctypes.addressof(program))
    s.setsockopt(socket.SOL_SOCKET, SO_ATTACH_FILTER, fprog)
    s.setsockopt(socket.SOL_SOCKET, SO_RCVBUFFORCE, 32 << 20)
    # The kernel's time of sending: the order of the sends, whenever this logger reads them.
    s.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
    return s


def monotonic_of(ancillary, offset):
    for level, kind, data in ancillary:
        if level == socket.SOL_SOCKET and kind == SO_TIMESTAMPNS:
            seconds, nanoseconds = struct.unpack("qq", data[:16])
            return seconds + nanoseconds / 1e9 - offset
    return time.monotonic()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=9090)
    parser.add_argument("netns", nargs="+")
    args = parser.parse_args()
    sockets = {}
    home = os.open("/proc/self/ns/net", os.O_RDONLY)
    for index, name in enumerate(args.netns):
        fd = os.open(f"/run/netns/{name}", os.O_RDONLY)
        enter(fd)
        os.close(fd)
        sockets[capture_socket()] = index  # a socket stays in the namespace it was made in
    enter(home)
    os.close(home)
    # Kernel time stamps are on the wall clock; the records carry the monotonic one.
    offset = time.clock_gettime(time.CLOCK_REALTIME) - time.monotonic()
    print(json.dumps({"ready": True}), flush=True)
    out = sys.stdout
    while True:
        ready, _, _ = select.select([*sockets, sys.stdin], [], [])
        for s in ready:
            if s is sys.stdin:
                if not os.read(sys.stdin.fileno(), 4096):
                    missed = sum(struct.unpack("II", s.getsockopt(SOL_PACKET, PACKET_STATISTICS, 8))[1]
                                 for s in sockets)
                    print(json.dumps({"end": True, "missed": missed}), flush=True)
                    return
                continue
            frame, ancillary, _, (_, protocol, kind, _, _) = s.recvmsg(70000, 64)
            t = monotonic_of(ancillary, offset)
            datagram = udp_datagram(frame, args.port) if protocol == ETH_P_IP else None
            if datagram is None:
                continue
            out.write(json.dumps({"ns": sockets[s], "dir": "out" if kind == PACKET_OUTGOING else "in",
                                  "src": datagram["src"], "dst": datagram["dst"],
                                  "data": datagram["data"], "t": t}) + "\n")
        out.flush()


if __name__ == "__main__":
    try:
        main()
    except (KeyboardInterrupt, BrokenPipeError):
        sys.exit(0)
