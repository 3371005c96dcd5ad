"""What the figure scripts share: the test bed on the path, and readings of numbers and processes."""
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "testbed"))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from agent_bed import status_kib  # noqa: E402,F401


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def ms(seconds):
    return f"{seconds * 1000:.1f} ms"


def spread(seconds):
    """p50 / p95 / p99 / max of durations, in milliseconds."""
    if not seconds:
        return "none"
    return " / ".join(f"{percentile(seconds, f) * 1000:.2f}" for f in (0.5, 0.95, 0.99, 1.0)) + " ms"


def cpu_seconds(pid):
    """CPU time so far, to the nanosecond where the kernel keeps scheduler figures (clock ticks
    of 10 ms would hide a few milliseconds a minute)."""
    try:
        return int(open(f"/proc/{pid}/schedstat").read().split()[0]) / 1e9
    except (OSError, IndexError, ValueError):
        fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def wakeups(pid):
    """Times the process has left the CPU, willingly or not: one per wake-up for a sleeper."""
    total = 0
    for line in open(f"/proc/{pid}/status"):
        if line.startswith(("voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:")):
            total += int(line.split()[1])
    return total
