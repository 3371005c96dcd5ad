#!/usr/bin/python3
"""N test hosts each run the agent, all released at the same instant. Measures the time until
every agent's greetings to itself and to every member that announced itself after it have
arrived, the greetings that never went out or never arrived, and the datagrams the kernel
dropped from full receive buffers and from its full input backlog.

Usage: bench/scale.py [AGENT] [--hosts 8 32 64]   (as root)
"""
import argparse
import contextlib
import json
import os
import tempfile
import threading
import time

from common import ROOT  # also puts the test bed on the path
from testbed import GREETING_PACKET, JOIN_PACKET, PYTHON, TestBed

TRAFFIC_LOG = os.path.join(ROOT, "bench", "traffic_log.py")
# Opening the pipe for reading blocks until the runner opens it for writing: all agents start
# in the same instant.
LAUNCHER = ["sh", "-c", 'exec 3<"$0"; exec 3<&-; exec "$@"']
PORT_HEX = "%04X" % 9090


def udp_counters(pid):
    """The Udp line of the process's network namespace, as a dict."""
    lines = [line.split() for line in open(f"/proc/{pid}/net/snmp") if line.startswith("Udp:")]
    return dict(zip(lines[0][1:], map(int, lines[1][1:])))


def receive_queue(pid):
    """Bytes waiting in the receive queue of the process's socket on port 9090."""
    for line in open(f"/proc/{pid}/net/udp").readlines()[1:]:
        fields = line.split()
        if fields[1].endswith(":" + PORT_HEX):
            return int(fields[4].split(":")[1], 16)
    return 0


def backlog_drops():
    """Frames the kernel dropped for a full input backlog, on every CPU. The backlog belongs to
    the machine, not to a test host: all the bed's hosts share it."""
    return sum(int(line.split()[1], 16) for line in open("/proc/net/softnet_stat"))


def waiting_on_pipe(pid):
    try:
        return open(f"/proc/{pid}/wchan").read() == "wait_for_partner"
    except OSError:
        return False


class TrafficLog:
    def __init__(self, bed):
        self.process = bed.bridge.popen([PYTHON, TRAFFIC_LOG, *[h.netns for h in bed.hosts]],
                                        stdin=-1, stdout=-1, text=True, bufsize=1)
        if "ready" not in self.process.stdout.readline():
            raise RuntimeError("traffic log did not start")
        self.records, self.end = [], None
        self.last = time.monotonic()
        self._thread = threading.Thread(target=self._read, daemon=True)
        self._thread.start()

    def _read(self):
        for line in self.process.stdout:
            record = json.loads(line)
            if record.get("end"):
                self.end = record
                return
            record["data"] = bytes.fromhex(record["data"])
            self.records.append(record)
            self.last = time.monotonic()

    def close(self):
        self.process.stdin.close()
        self._thread.join(timeout=10)
        return self.end["missed"] if self.end else None


BACKLOG_SETTING = "/proc/sys/net/core/netdev_max_backlog"


@contextlib.contextmanager
def input_backlog(frames):
    """Sets the machine's input backlog for a while (None leaves it alone)."""
    if frames is None:
        yield
        return
    before = open(BACKLOG_SETTING).read()
    with open(BACKLOG_SETTING, "w") as setting:
        setting.write(str(frames))
    try:
        yield
    finally:
        with open(BACKLOG_SETTING, "w") as setting:
            setting.write(before)


def run(agent, hosts, backlog=None, settle=1.5, limit=180.0):
    with input_backlog(backlog):
        return _run(agent, hosts, settle, limit)


def _run(agent, hosts, settle, limit):
    with TestBed(hosts, static_neighbours=True) as bed, tempfile.TemporaryDirectory() as folder:
        gate = os.path.join(folder, "gate")
        os.mkfifo(gate)
        agents = [h.popen(LAUNCHER + [gate, agent], stdout=-3, stderr=-3) for h in bed.hosts]
        log = TrafficLog(bed)
        deadline = time.monotonic() + 60
        while not all(waiting_on_pipe(p.pid) for p in agents):
            if time.monotonic() > deadline:
                raise RuntimeError("the agents did not reach the gate")
            time.sleep(0.05)
        backlog_before = backlog_drops()
        released = time.monotonic()
        os.close(os.open(gate, os.O_WRONLY))
        # Done once every receive queue is empty and nothing has been sent for a while.
        deadline = released + limit
        while time.monotonic() < deadline:
            time.sleep(0.25)
            if time.monotonic() - log.last > settle and not any(receive_queue(p.pid) for p in agents):
                break
        counters = [udp_counters(p.pid) for p in agents]
        backlog = backlog_drops() - backlog_before
        buffer = int(bed.hosts[0].run(["cat", "/proc/sys/net/core/rmem_default"]).stdout)
        missed = log.close()

    address = {h.address: h.index for h in bed.hosts}
    announced, sent, delivered = {}, {}, {}
    for record in log.records:
        sender, receiver = address.get(record["src"]), address.get(record["dst"])
        if sender is None:
            continue
        if record["dir"] == "out" and record["data"] == JOIN_PACKET:
            announced.setdefault(sender, record["t"])
        elif record["data"] == GREETING_PACKET and receiver is not None:
            (sent if record["dir"] == "out" else delivered).setdefault((sender, receiver), record["t"])
    # An agent joins the group before it announces itself, so it hears every announcement sent
    # after its own; what it greets beyond that is a bonus.
    expected = [(a, b) for a in announced for b in announced if announced[b] >= announced[a]]
    arrived = [delivered[pair] for pair in expected if pair in delivered]
    unsent = [0] * hosts
    for a, b in expected:
        unsent[a] += (a, b) not in sent
    # A member's socket drops announcements, each a greeting it then never sends, and greetings
    # to it: what it dropped beyond its unsent greetings were greetings.
    dropped = [c.get("RcvbufErrors", 0) for c in counters]
    greetings_dropped = sum(max(0, d - u) for d, u in zip(dropped, unsent))
    not_delivered = sum(pair in sent and pair not in delivered for pair in expected)
    lost = sum(unsent) + not_delivered + greetings_dropped
    return {
        "hosts": hosts,
        "announced": len(announced),
        "expected": len(expected),
        "lost": lost,
        "not_sent": sum(unsent),
        "not_delivered": not_delivered,
        "greetings_dropped": greetings_dropped,
        "complete": (max(arrived) - released) if arrived and not lost else None,
        "last_greeting": (max(arrived) - released) if arrived else None,
        "announce_spread": (max(announced.values()) - min(announced.values())) if announced else None,
        "dropped": sum(dropped),
        "backlog_dropped": backlog,
        "receive_buffer": buffer,
        "log_missed": missed,
    }


def describe(result):
    r = result
    done = f"after {r['complete']:.2f} s" if r["complete"] is not None else "never"
    return (f"N={r['hosts']}: every greeting expected ({r['expected']}) arrived {done}; {lost_greetings(r)}; "
            f"{r['dropped']} datagrams dropped by full receive buffers, {r['backlog_dropped']} frames by the "
            f"machine's full input backlog; announcements within {r['announce_spread'] * 1000:.0f} ms")


def lost_greetings(result):
    r = result
    return (f"{r['lost']} greetings lost ({r['not_sent']} never sent, their announcement dropped; "
            f"{r['greetings_dropped']} dropped on arrival; {r['not_delivered']} lost on the way)")


def receive_buffer_threshold(agent, low=64, high=320, step=16, backlog=100000):
    """Bisects for the number of hosts at which full receive buffers start to drop datagrams,
    with the machine's input backlog raised: it is one per CPU, shared by all the bed's hosts,
    where each real machine has its own. Returns (largest N without drops, smallest N with
    drops or None, the runs)."""
    runs = [run(agent, high, backlog)]
    if not runs[-1]["dropped"]:
        return high, None, runs
    while high - low > step:
        middle = (low + high) // 2 // 8 * 8
        runs.append(run(agent, middle, backlog))
        if runs[-1]["dropped"]:
            high = middle
        else:
            low = middle
    return low, high, runs


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("agent", nargs="?", default="build/release/src/tintCHECK_AutoDiscover")
    parser.add_argument("--hosts", type=int, nargs="+", default=[8, 32, 64])
    parser.add_argument("--threshold", action="store_true",
                        help="also bisect for the number of hosts at which receive buffers overflow")
    args = parser.parse_args()
    agent = os.path.abspath(args.agent)
    for hosts in args.hosts:
        result = run(agent, hosts)
        print(describe(result), json.dumps(result), flush=True)
    if args.threshold:
        low, high, runs = receive_buffer_threshold(agent)
        for result in runs:
            print(describe(result), flush=True)
        print(f"receive buffers first drop between {low} and {high} hosts", flush=True)


if __name__ == "__main__":
    main()
