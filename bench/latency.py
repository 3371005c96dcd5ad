#!/usr/bin/python3
"""How fast the agent speaks, in a test bed of two hosts: from its start to its announcement on
the wire, and from a member's announcement to the agent's greeting at that member, beside the
floor: the one-way trip of a plain datagram between the same two hosts.

Usage: bench/latency.py [AGENT] [--starts N] [--samples N]   (as root)
"""
import argparse
import os
import random
import time

from common import spread
from testbed import GREETING_PACKET, GROUP, JOIN_PACKET, PYTHON, TestBed

# Records the clock right before the agent's own exec, so the figure is the agent's alone.
LAUNCHER = "import os, sys, time; print(time.monotonic(), flush=True); os.execv(sys.argv[1], sys.argv[1:])"
FLOOR_PORT = 9191


def launch(host, agent):
    process = host.popen([PYTHON, "-c", LAUNCHER, agent], stdout=-1, text=True)
    return process, float(process.stdout.readline())


def start_to_announcement(agent, starts=20):
    """Seconds from the exec of the agent to its announcement at a member, one per start. All
    starts share one bed: the kernel finishes tearing down a bed's namespaces in the background,
    and starts in fresh beds right after others came out up to some 30 ms later on that
    account alone."""
    figures = []
    with TestBed(2) as bed:
        agent_host, member = bed.hosts
        peer = bed.peer(member, join=[GROUP])
        for _ in range(starts):
            time.sleep(0.2)
            peer.drain()
            process, started = launch(agent_host, agent)
            figures.append(peer.expect({"src": agent_host.address, "data": JOIN_PACKET}, timeout=5).t - started)
            agent_host.terminate(process)
    return figures


def discovery_latency(agent, samples=200):
    """Seconds from a member's announcement to the agent's greeting at the member, and from a
    plain datagram's send to its arrival on the same path; and the greetings lost."""
    greetings, floor, lost = [], [], 0
    with TestBed(2) as bed:
        agent_host, member = bed.hosts
        peer = bed.peer(member, join=[GROUP])
        near = bed.peer(agent_host, bind_port=FLOOR_PORT)
        far = bed.peer(member, bind_port=FLOOR_PORT)
        process, _ = launch(agent_host, agent)
        peer.expect({"src": agent_host.address, "data": JOIN_PACKET}, timeout=5)
        for sample in range(samples):
            time.sleep(random.uniform(0.12, 0.22))  # announcements at random phases of the poll
            mark = sample.to_bytes(4, "big")
            sent = near.send(mark, member.address, port=FLOOR_PORT)["t"]
            floor.append(far.expect(mark, timeout=2).t - sent)
            peer.drain()
            sent = peer.send(JOIN_PACKET, GROUP)["t"]
            try:
                greetings.append(peer.expect({"src": agent_host.address, "data": GREETING_PACKET}, timeout=2).t - sent)
            except AssertionError:
                lost += 1
        agent_host.terminate(process)
    return greetings, floor, lost


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("agent", nargs="?", default="build/release/src/tintCHECK_AutoDiscover")
    parser.add_argument("--starts", type=int, default=20)
    parser.add_argument("--samples", type=int, default=200)
    args = parser.parse_args()
    agent = os.path.abspath(args.agent)
    print(f"start to announcement, p50 / p95 / p99 / max: {spread(start_to_announcement(agent, args.starts))}")
    greetings, floor, lost = discovery_latency(agent, args.samples)
    print(f"greeting latency, p50 / p95 / p99 / max: {spread(greetings)} ({lost} lost)")
    print(f"one-way datagram on the same path (floor): {spread(floor)}")


if __name__ == "__main__":
    main()
