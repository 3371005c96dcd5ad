#!/usr/bin/python3
"""Runs every measurement of the agent and its library and prints one table, in Markdown, with
the machine it ran on: discovery latency beside the one-way trip of a datagram, the idle
footprint beside a program that only sleeps (and avahi-daemon where installed), the receive
path, and the agent at scale. Nothing here passes or fails. scripts/bench builds what it needs
and runs it; --quick makes a run of a few seconds that only shows that everything still works.

Usage: bench/figures.py [--build FOLDER] [--quick]   (as root)
"""
import argparse
import datetime
import os
import platform
import subprocess
import time

import footprint
import latency
import receive_path
import scale
from common import ROOT, spread


def machine():
    model = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo")
                  if line.startswith("model name")), platform.machine())
    memory = next(int(line.split()[1]) for line in open("/proc/meminfo") if line.startswith("MemTotal"))
    system = next((line.split("=", 1)[1].strip().strip('"') for line in open("/etc/os-release")
                   if line.startswith("PRETTY_NAME=")), "Linux")
    try:
        commit = subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"],
                                capture_output=True, text=True).stdout.strip() or "unknown"
    except OSError:
        commit = "unknown"
    return (f"{model}, {os.cpu_count()} CPUs, {memory / 1024 / 1024:.0f} GiB; {system}, "
            f"kernel {platform.release()}; commit {commit}; "
            f"{datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC")


def megabytes(kib):
    return f"{kib / 1024:.2f} MB"


def scale_row(result):
    r = result
    arrived = f"{r['complete']:.2f} s" if r["complete"] is not None else "never"
    return (f"N = {r['hosts']}: every greeting expected ({r['expected']:,}) has arrived", arrived,
            f"{r['hosts'] * 0.1:.1f} s (N polls)",
            f"{scale.lost_greetings(r)}; {r['dropped']} datagrams dropped by full receive buffers, "
            f"{r['backlog_dropped']} frames by the machine's input backlog; "
            f"announcements within {r['announce_spread'] * 1000:.0f} ms")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build/release", help="a build folder with benchmarks")
    parser.add_argument("--quick", action="store_true", help="a few samples of everything")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    agent = os.path.join(build, "src", "tintCHECK_AutoDiscover")
    quick = args.quick
    began = time.monotonic()
    rows = []

    starts = latency.start_to_announcement(agent, 3 if quick else 20)
    rows.append((f"Start to announcement on the wire ({len(starts)} starts), p50 / p95 / p99 / max",
                 spread(starts), "", "from the exec of the agent"))
    greetings, floor, lost = latency.discovery_latency(agent, 5 if quick else 200)
    rows.append((f"Discovery latency ({len(greetings) + lost} announcements), p50 / p95 / p99 / max",
                 spread(greetings), f"one-way datagram: {spread(floor)}",
                 f"{lost} greetings lost; the 100 ms poll sets the floor for the agent"))

    seconds = 2 if quick else 60
    idle = footprint.idle_footprint(agent, os.path.join(build, "bench", "sleeper"), seconds)
    others = {name: f for name, f in idle.items() if name != "agent"}

    def beside(key, show):
        return "; ".join(f"{name}: {show(f[key])}" for name, f in others.items())
    rows.append(("Peak resident memory (VmHWM)", megabytes(idle["agent"]["peak_kib"]),
                 beside("peak_kib", megabytes), "sleeper: a static C program waking every 100 ms"))
    rows.append(("Anonymous resident memory (RssAnon)", megabytes(idle["agent"]["anonymous_kib"]),
                 beside("anonymous_kib", megabytes), "what it holds beyond its mapped program files"))
    rows.append((f"CPU time over {seconds} s idle", f"{idle['agent']['cpu_seconds'] * 1000:.1f} ms",
                 beside("cpu_seconds", lambda s: f"{s * 1000:.1f} ms"), ""))
    rows.append(("Wake-ups per second, idle", f"{idle['agent']['wakeups_per_second']:.1f}",
                 beside("wakeups_per_second", lambda w: f"{w:.1f}"), "context switches"))

    path = receive_path.receive_path(os.path.join(build, "bench"), 0.01 if quick else 0.5)
    per_packet = path["ns_per_packet"]
    rows.append((f"Cutting one datagram into k packets, ns per packet (k = {' / '.join(map(str, per_packet))})",
                 " / ".join(f"{ns:.1f}" for ns in per_packet.values()), "", "must stay flat as k grows"))
    for size, (endpoint, raw) in path["datagrams_per_second"].items():
        rows.append((f"Loopback throughput, {8 + size}-byte packets, datagrams/s",
                     f"{endpoint / 1e6:.2f} M (DoEvents(0))", f"raw recvfrom loop: {raw / 1e6:.2f} M",
                     f"ratio {raw / endpoint:.1f}: one datagram per pass, peeked to size it"))
    rows.append(("CreatePacket per call (1 / 1,024 data bytes)",
                 " / ".join(f"{ns:.1f} ns" for ns in path["create_packet_ns"].values()), "", ""))
    rows.append(("HashGroupNameToIP(\"tintCHECK4\") per call", f"{path['hash_group_ns']:.1f} ns", "", ""))

    for hosts in ([4] if quick else [8, 32, 64]):
        rows.append(scale_row(scale.run(agent, hosts)))
    if not quick:
        low, high, runs = scale.receive_buffer_threshold(agent)
        for result in runs:
            rows.append(scale_row(result))
        first = f"between N = {low} and N = {high}" if high else f"not up to N = {low}"
        rows.append(("Receive buffers start to drop, simultaneous start", first,
                     f"receive buffer {runs[0]['receive_buffer']:,} bytes",
                     "bisected with the machine's input backlog raised to 100,000 frames"))

    print(f"Machine: {machine()}\n")
    print("| Measure | tintCHECK_AutoDiscover | Floor or comparison | Note |")
    print("|---|---|---|---|")
    for row in rows:
        print("| " + " | ".join(row) + " |")
    print(f"\nThe run took {time.monotonic() - began:.0f} s.")


if __name__ == "__main__":
    main()
