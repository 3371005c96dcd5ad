#!/usr/bin/python3
"""Shows discovery happen: starts the agent in three test-bed hosts, one after another, and
prints every datagram on port 9090 as it crosses each host's interfaces. Needs root; makes its
own network namespaces and removes them at the end.

Usage: tools/demo.py [AGENT]
"""
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "testbed"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
os.environ.setdefault("TINTCHECK_AGENT", sys.argv[1] if len(sys.argv) > 1 else "build/release/src/tintCHECK_AutoDiscover")
from agent_bed import Sniffer, start_agent  # noqa: E402
from testbed import TestBed, parse_packet  # noqa: E402

NAMES = {-100: "MemberListRequest", -101: "MemberJoin", -102: "MemberLeave"}


def describe(record):
    parsed = parse_packet(record["data"])
    if parsed is None:
        return record["data"].hex()
    _, command, data = parsed
    name = NAMES.get(command, "greeting" if (command, data) == (0, b"S") else f"command {command}")
    return f"{name}{' ' + repr(data.decode(errors='replace')) if data else ''}"


def main():
    with TestBed(3) as bed:
        sniffers = [Sniffer(host) for host in bed.hosts]
        started = time.monotonic()
        shown = [0] * len(sniffers)
        for host in bed.hosts:
            print(f"{time.monotonic() - started:6.3f}s  starting the agent on {host.address}")
            start_agent(host)
            deadline = time.monotonic() + 1.0
            while time.monotonic() < deadline:
                for i, sniffer in enumerate(sniffers):
                    for record in sniffer.sent()[shown[i]:]:
                        # Each datagram once: where it was sent from, unless it came from outside the bed.
                        if record["src"] == bed.hosts[i].address:
                            print(f"{record['t'] - started:6.3f}s  {record['src']:>12} -> {record['dst']:<15} "
                                  f"{describe(record)}")
                    shown[i] = len(sniffer.sent())
                time.sleep(0.05)
        print("each agent greeted itself and every agent started after it")


if __name__ == "__main__":
    main()
