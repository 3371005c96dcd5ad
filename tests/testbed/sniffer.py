#!/usr/bin/python3
"""Watches every interface of the host it runs in, like a packet capture, and prints one JSON
line per UDP datagram to or from the given port: what a process sends to itself crosses `lo`
and shows here too, unlike at any peer. Prints {"ready": true} once it listens.

    {"if": "lo", "src": "198.18.0.10", "sport": 9090, "dst": "198.18.0.10", "dport": 9090,
     "ttl": 255, "data": "<hex>", "t": <monotonic>}
"""
import argparse
import json
import socket
import struct
import sys
import time

ETH_P_ALL = 0x0003
ETH_P_IP = 0x0800
PACKET_OUTGOING = 4


def udp_datagram(frame, port):
    """The UDP datagram to or from `port` that an IPv4 packet carries, as a dict, or None."""
    if len(frame) < 28 or frame[9] != socket.IPPROTO_UDP:
        return None
    header = (frame[0] & 0x0F) * 4
    sport, dport = struct.unpack_from(">HH", frame, header)
    if port not in (sport, dport):
        return None
    return {"src": socket.inet_ntoa(frame[12:16]), "sport": sport,
            "dst": socket.inet_ntoa(frame[16:20]), "dport": dport, "ttl": frame[8],
            "data": frame[header + 8:].hex()}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=9090)
    args = parser.parse_args()
    capture = socket.socket(socket.AF_PACKET, socket.SOCK_DGRAM, socket.htons(ETH_P_ALL))
    capture.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4 << 20)
    print(json.dumps({"ready": True}), flush=True)
    while True:
        frame, (ifname, protocol, pkttype, _, _) = capture.recvfrom(70000)
        # Loopback shows what is sent twice, going out and coming in: keep one.
        if protocol != ETH_P_IP or (ifname == "lo" and pkttype == PACKET_OUTGOING):
            continue
        datagram = udp_datagram(frame, args.port)
        if datagram is None:
            continue
        print(json.dumps({"if": ifname, **datagram, "t": time.monotonic()}), flush=True)


if __name__ == "__main__":
    try:
        main()
    except (KeyboardInterrupt, BrokenPipeError):
        sys.exit(0)
