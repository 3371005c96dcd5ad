#!/usr/bin/python3
"""Shows discovery happen in a few seconds: starts the agent in three test-bed hosts, one after
another, while `tintcheck watch` runs in a fourth; prints every datagram on port 9090 as it is
sent, then what `tintcheck members` finds. Needs root and a build in build/release; makes its
own network namespaces and removes them at the end.

Usage: tools/demo.py [BUILD_DIR]
"""
import os
import signal
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build", "release"))
TOOL = os.path.join(BUILD, "tools", "tintcheck", "tintcheck")
os.environ.setdefault("TINTCHECK_AGENT", os.path.join(BUILD, "src", "tintCHECK_AutoDiscover"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "testbed"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
from agent_bed import Sniffer, start_agent  # noqa: E402
from testbed import TestBed, parse_packet  # noqa: E402

NAMES = {-100: "MemberListRequest", -101: "MemberJoin", -102: "MemberLeave"}
STARTED = time.monotonic()


def say(text, at=None):
    print(f"{(at or time.monotonic()) - STARTED:6.3f}s  {text}", flush=True)


def describe(data):
    parsed = parse_packet(data)
    if parsed is None:
        return data.hex()
    _, command, payload = parsed
    if command in NAMES:
        return NAMES[command]
    return "greeting" if (command, payload) == (0, b"S") else f"command {command} {payload!r}"


def main():
    with TestBed(4) as bed:
        agents, console = bed.hosts[:3], bed.hosts[3]
        sniffers = [Sniffer(host) for host in agents]
        shown = [0] * len(sniffers)

        def show_sent():
            new = []
            for i, sniffer in enumerate(sniffers):
                seen = sniffer.sent()
                new += [record for record in seen[shown[i]:] if record["src"] == agents[i].address]
                shown[i] = len(seen)
            for record in sorted(new, key=lambda r: r["t"]):
                say(f"wire   {record['src']:>12} -> {record['dst']:<15} {describe(record['data'])}", record["t"])

        say(f"tintcheck watch on {console.address}")
        watch = console.popen([TOOL, "watch"], stdout=subprocess.PIPE, text=True)
        threading.Thread(target=lambda: [say("watch  " + line.rstrip().split("  ", 1)[1]) for line in watch.stdout],
                         daemon=True).start()
        time.sleep(0.3)
        for host in agents:
            say(f"starting the agent on {host.address}")
            start_agent(host)
            for _ in range(10):
                time.sleep(0.1)
                show_sent()
        watch.send_signal(signal.SIGINT)
        watch.wait(5)
        say(f"tintcheck members on {console.address}:")
        for line in console.run([TOOL, "members", "--wait", "500"]).stdout.splitlines():
            say("       " + line)


if __name__ == "__main__":
    main()
