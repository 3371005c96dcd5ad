#!/usr/bin/python3
"""Measures the agent as a user would meet it, in a test bed of network namespaces, and prints
the figures (not a test: nothing here passes or fails):

- start to announcement: from the exec of the agent to its join announcement at a peer;
- greeting latency: from a member's announcement to the agent's greeting at that member,
  over many announcements (the agent's poll every 100 ms is the floor);
- peak resident memory (VmHWM) after all of that;
- CPU time while idle, which shows whether it waits without spinning.

Usage: bench/agent_figures.py [AGENT] [--starts N] [--greetings N]
"""
import argparse
import os
import random
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "testbed"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from testbed import GREETING_PACKET, GROUP, JOIN_PACKET, PYTHON, TestBed  # noqa: E402
from agent_bed import status_kib  # noqa: E402

# Records the clock right before the agent's own exec, so the figure is the agent's alone.
LAUNCHER = "import os, sys, time; print(time.monotonic(), flush=True); os.execv(sys.argv[1], sys.argv[1:])"


def launch(host, agent):
    process = host.popen([PYTHON, "-c", LAUNCHER, agent], stdout=-1, text=True)
    return process, float(process.stdout.readline())


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def ms(seconds):
    return f"{seconds * 1000:.1f} ms"


def cpu_seconds(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("agent", nargs="?", default="build/release/src/tintCHECK_AutoDiscover")
    parser.add_argument("--starts", type=int, default=20)
    parser.add_argument("--greetings", type=int, default=200)
    args = parser.parse_args()
    agent = os.path.abspath(args.agent)

    starts = []
    for _ in range(args.starts):
        with TestBed(2) as bed:
            peer = bed.peer(bed.hosts[1], join=[GROUP])
            process, started = launch(bed.hosts[0], agent)
            starts.append(peer.expect({"src": bed.hosts[0].address, "data": JOIN_PACKET}, timeout=5).t - started)
            bed.hosts[0].terminate(process)
    print(f"start to announcement ({len(starts)} starts): median {ms(statistics.median(starts))}, "
          f"p95 {ms(percentile(starts, 0.95))}, p99 {ms(percentile(starts, 0.99))}, max {ms(max(starts))} "
          f"(start {starts.index(max(starts)) + 1})")

    with TestBed(2) as bed:
        agent_host, member = bed.hosts
        peer = bed.peer(member, join=[GROUP])
        process, _ = launch(agent_host, agent)
        peer.expect({"src": agent_host.address, "data": JOIN_PACKET}, timeout=5)
        latencies, lost = [], 0
        for _ in range(args.greetings):
            time.sleep(random.uniform(0.12, 0.22))  # announcements at random phases of the poll
            peer.drain()
            peer.send(JOIN_PACKET, GROUP)
            sent = time.monotonic()
            try:
                latencies.append(peer.expect({"src": agent_host.address, "data": GREETING_PACKET}, timeout=2).t - sent)
            except AssertionError:
                lost += 1
        print(f"greeting latency ({len(latencies)} greetings, {lost} lost): median {ms(statistics.median(latencies))}, "
              f"p99 {ms(percentile(latencies, 0.99))}, max {ms(max(latencies))}")
        cpu_before = cpu_seconds(process.pid)
        time.sleep(5)
        idle_cpu = cpu_seconds(process.pid) - cpu_before
        print(f"CPU while idle for 5 s: {idle_cpu * 1000:.0f} ms")
        print(f"peak resident memory (VmHWM): {status_kib(process.pid, 'VmHWM') / 1024:.2f} MB; "
              f"now (VmRSS): {status_kib(process.pid, 'VmRSS') / 1024:.2f} MB")
        agent_host.terminate(process)


if __name__ == "__main__":
    main()
