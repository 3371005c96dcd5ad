#!/usr/bin/python3
"""Runs the agent for a while under steady mixed traffic in a test bed and reports its memory
and the greetings it failed to send (not a test; takes --minutes, 10 by default).

A member host sends, in a loop well within the agent's ten datagrams a second: a join
announcement (which must be greeted), a list request (which must be answered), a malformed
header, an application message and half a packet completed by the next datagram.
"""
import argparse
import os
import struct
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "testbed"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from testbed import GREETING_PACKET, GROUP, JOIN_PACKET, LIST_PACKET, TestBed, packet  # noqa: E402
from agent_bed import status_kib  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("agent", nargs="?", default="build/release/src/tintCHECK_AutoDiscover")
    parser.add_argument("--minutes", type=float, default=10)
    args = parser.parse_args()
    with TestBed(2) as bed:
        agent_host, member = bed.hosts
        peer = bed.peer(member, join=[GROUP])
        process = agent_host.popen([os.path.abspath(args.agent)])
        peer.expect({"src": agent_host.address, "data": JOIN_PACKET}, timeout=5)
        time.sleep(0.5)
        start_rss = status_kib(process.pid, "VmRSS")
        joins = requests = 0
        deadline = time.monotonic() + args.minutes * 60
        half = packet(9, b"split across two datagrams")
        while time.monotonic() < deadline:
            for datagram, to in ((JOIN_PACKET, GROUP), (LIST_PACKET, agent_host.address),
                                 (struct.pack(">ii", 3, 0), agent_host.address),
                                 (packet(42, b"application"), agent_host.address),
                                 (half[:6], agent_host.address), (half[6:], agent_host.address)):
                peer.send(datagram, to)
                joins += datagram == JOIN_PACKET
                requests += datagram == LIST_PACKET
                time.sleep(0.2)
        time.sleep(2)
        received = [d for d in peer.received if d.src == agent_host.address]
        greetings = sum(d.data == GREETING_PACKET for d in received)
        answers = sum(d.data == JOIN_PACKET and d.dst == member.address for d in received)
        print(f"ran {args.minutes:g} min: {joins} joins, {requests} list requests, "
              f"{greetings} greetings ({joins - greetings} lost), {answers} answers ({requests - answers} lost)")
        print(f"resident memory: {start_rss / 1024:.2f} MB at start, {status_kib(process.pid, 'VmRSS') / 1024:.2f} MB "
              f"at the end, peak {status_kib(process.pid, 'VmHWM') / 1024:.2f} MB; still running: {process.poll() is None}")
        agent_host.terminate(process)


if __name__ == "__main__":
    main()
