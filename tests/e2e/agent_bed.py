"""Agent processes in a test bed, for the end-to-end tests and the measurements."""
import json
import os
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "testbed"))
import testbed  # noqa: E402

AGENT = os.environ.get("TINTCHECK_AGENT", "build/release/src/tintCHECK_AutoDiscover")
SNIFFER = os.path.join(os.path.dirname(testbed.__file__), "sniffer.py")


def status_kib(pid, key):
    """A figure of /proc/PID/status in KiB (VmRSS, VmHWM); 0 when absent."""
    for line in open(f"/proc/{pid}/status"):
        if line.startswith(key + ":"):
            return int(line.split()[1])
    return 0


def start_agent(host, *args):
    """Starts the agent in `host`; returns (process, monotonic start time)."""
    started = time.monotonic()
    process = host.popen([AGENT, *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return process, started


class Sniffer:
    """Everything on UDP port 9090 that crosses any interface of one host, `lo` included."""

    def __init__(self, host):
        self.process = host.popen([testbed.PYTHON, SNIFFER], stdout=-1, text=True, bufsize=1)
        self.seen = []
        self._lock = threading.Lock()
        ready = self.process.stdout.readline()
        if "ready" not in ready:
            raise RuntimeError("sniffer did not start")
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            record = json.loads(line)
            record["data"] = bytes.fromhex(record["data"])
            with self._lock:
                self.seen.append(record)

    def wait_for(self, timeout=5.0, **match):
        """Waits until a matching datagram has been seen; returns the matches."""
        deadline = time.monotonic() + timeout
        while not self.sent(**match):
            if time.monotonic() > deadline:
                raise AssertionError(f"no datagram matching {match} within {timeout} s")
            time.sleep(0.02)
        return self.sent(**match)

    def sent(self, src=None, dst=None, data=None):
        with self._lock:
            return [r for r in self.seen
                    if (src is None or r["src"] == src) and (dst is None or r["dst"] == dst)
                    and (data is None or r["data"] == data)]
