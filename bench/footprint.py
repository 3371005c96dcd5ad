#!/usr/bin/python3
"""What the agent costs a machine while nothing happens, in a test bed, beside the floor (a
program that only wakes every 100 ms, as the agent's event loop does) and, where Debian's
avahi-daemon is installed, the mDNS daemon that users compare it with, all over the same
minute: peak resident memory, CPU time and wake-ups per second.

Usage: bench/footprint.py [AGENT] [--sleeper PATH] [--seconds N]   (as root)
"""
import argparse
import os
import shutil
import tempfile
import time

from common import cpu_seconds, status_kib, wakeups
from testbed import GROUP, JOIN_PACKET, TestBed

AVAHI = "/usr/sbin/avahi-daemon"
# No D-Bus, IPv4 only, nothing published: the daemon at its smallest.
AVAHI_CONFIG = """[server]
use-ipv4=yes
use-ipv6=no
enable-dbus=no
[publish]
publish-hinfo=no
publish-workstation=no
[wide-area]
enable-wide-area=no
"""


def avahi_command(config):
    # Its own mount namespace gives it a private run folder for its pid file.
    return ["unshare", "--mount", "sh", "-c",
            "mkdir -p /run/avahi-daemon && mount -t tmpfs none /run/avahi-daemon && exec \"$@\"",
            "avahi", AVAHI, "--no-drop-root", "--no-chroot", "--no-rlimits", "-f", config]


def idle_footprint(agent, sleeper, seconds=60):
    """{name: {"peak_kib", "anonymous_kib", "cpu_seconds", "wakeups_per_second"}} over
    `seconds` of idling; anonymous memory is what the process holds beyond its mapped files."""
    with TestBed(3) as bed, tempfile.TemporaryDirectory() as folder:
        agent_host, sleeper_host, avahi_host = bed.hosts
        peer = bed.peer(sleeper_host, join=[GROUP])
        processes = {"agent": agent_host.popen([agent], stdout=-3, stderr=-3),
                     "sleeper": sleeper_host.popen([sleeper])}
        peer.expect({"src": agent_host.address, "data": JOIN_PACKET}, timeout=5)
        if os.path.exists(AVAHI) and shutil.which("unshare"):
            config = os.path.join(folder, "avahi-daemon.conf")
            with open(config, "w") as file:
                file.write(AVAHI_CONFIG)
            processes["avahi-daemon"] = avahi_host.popen(avahi_command(config), stdout=-3, stderr=-3)
        time.sleep(2)  # past every start-up
        alive = {name: p for name, p in processes.items() if p.poll() is None}
        before = {name: (cpu_seconds(p.pid), wakeups(p.pid)) for name, p in alive.items()}
        started = time.monotonic()
        time.sleep(seconds)
        elapsed = time.monotonic() - started
        figures = {}
        for name, p in alive.items():
            cpu, woken = before[name]
            figures[name] = {"peak_kib": status_kib(p.pid, "VmHWM"),
                             "anonymous_kib": status_kib(p.pid, "RssAnon"),
                             "cpu_seconds": cpu_seconds(p.pid) - cpu,
                             "wakeups_per_second": (wakeups(p.pid) - woken) / elapsed}
        return figures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("agent", nargs="?", default="build/release/src/tintCHECK_AutoDiscover")
    parser.add_argument("--sleeper", default="build/release/bench/sleeper")
    parser.add_argument("--seconds", type=float, default=60)
    args = parser.parse_args()
    for name, f in idle_footprint(os.path.abspath(args.agent), os.path.abspath(args.sleeper), args.seconds).items():
        print(f"{name}: peak resident {f['peak_kib'] / 1024:.2f} MB "
              f"({f['anonymous_kib'] / 1024:.2f} MB anonymous), CPU {f['cpu_seconds'] * 1000:.0f} ms, "
              f"{f['wakeups_per_second']:.1f} wake-ups/s")


if __name__ == "__main__":
    main()
