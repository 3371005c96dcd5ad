#!/usr/bin/python3
"""The receive path's figures from the Google Benchmark programs: the cost per packet of cutting
one datagram of k packets, the endpoint's datagrams per second under DoEvents(0) against a raw
recvfrom loop on the same loopback traffic (in a private network namespace), and the cost of one
CreatePacket and one HashGroupNameToIP.

Usage: bench/receive_path.py [BENCH_FOLDER]   (the loopback part as root)
"""
import argparse
import json
import os
import subprocess

from common import ROOT

IN_PRIVATE_NETNS = os.path.join(ROOT, "tests", "support", "in_private_netns.sh")


def run_benchmark(command, min_time):
    out = subprocess.run([*command, "--benchmark_format=json", f"--benchmark_min_time={min_time}"],
                         check=True, capture_output=True, text=True).stdout
    return {b["name"]: b for b in json.loads(out)["benchmarks"]}


def nanoseconds(benchmark):
    scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[benchmark["time_unit"]]
    return benchmark["real_time"] * scale


def receive_path(folder, min_time=0.5):
    parse = run_benchmark([os.path.join(folder, "receive_path_benchmark")], min_time)
    loopback = run_benchmark([IN_PRIVATE_NETNS, os.path.join(folder, "loopback_throughput_benchmark")], min_time)
    per_packet = {int(name.split("/")[1]): b["time_per_packet"] * 1e9
                  for name, b in parse.items() if name.startswith("ParseOneDatagram/")}
    throughput = {}
    for size in (0, 1024):
        endpoint = loopback[f"EndpointDoEvents/{size}"]["items_per_second"]
        raw = loopback[f"RawRecvfromLoop/{size}"]["items_per_second"]
        throughput[size] = (endpoint, raw)
    return {
        "ns_per_packet": per_packet,
        "datagrams_per_second": throughput,
        "create_packet_ns": {int(name.split("/")[1]): nanoseconds(b)
                             for name, b in parse.items() if name.startswith("CreatePacketPerCall/")},
        "hash_group_ns": nanoseconds(parse["HashGroupNameToIPPerCall"]),
    }


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder", nargs="?", default="build/release/bench")
    args = parser.parse_args()
    figures = receive_path(os.path.abspath(args.folder))
    for k, ns in figures["ns_per_packet"].items():
        print(f"datagram of {k} packets: {ns:.1f} ns per packet")
    for size, (endpoint, raw) in figures["datagrams_per_second"].items():
        print(f"{size}-byte payloads: endpoint {endpoint / 1e6:.2f} M datagrams/s, raw recvfrom {raw / 1e6:.2f} M/s, "
              f"ratio {raw / endpoint:.1f}")
    for size, ns in figures["create_packet_ns"].items():
        print(f"CreatePacket, {size} data bytes: {ns:.1f} ns")
    print(f"HashGroupNameToIP: {figures['hash_group_ns']:.1f} ns")


if __name__ == "__main__":
    main()
