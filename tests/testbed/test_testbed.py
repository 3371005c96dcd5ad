#!/usr/bin/python3
"""Self-test of the namespace test bed and the wire peer.  Runs as root:

    /usr/bin/python3 tests/testbed/test_testbed.py -v
"""

import errno
import faulthandler
import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import testbed as tb  # noqa: E402
from testbed import GROUP, PORT, TestBed  # noqa: E402


def root_links():
    out = subprocess.run(["ip", "-o", "link", "show"], capture_output=True,
                         text=True, check=True).stdout
    return sorted(line.split(":")[1].strip().split("@")[0]
                  for line in out.splitlines())


# Link names the bed uses inside its namespaces; none may show up in the
# caller's namespace.  (Compare by name only: other software on the machine
# may add or remove its own links meanwhile.)
OUR_LINK_RE = re.compile(r"^(br0|h\d+)$")


def our_root_links():
    return [n for n in root_links() if OUR_LINK_RE.match(n)]


def netns_with(prefix):
    out = subprocess.run(["ip", "netns", "list"], capture_output=True,
                         text=True, check=True).stdout
    return [line.split()[0] for line in out.splitlines()
            if line.startswith(prefix)]


def running(pid):
    """True if pid exists and is not a zombie."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            state = f.read().rsplit(")", 1)[1].split()[0]
        return state != "Z"
    except OSError:
        return False


def wait_until(cond, timeout=5.0, step=0.02):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if cond():
            return True
        time.sleep(step)
    return cond()


CAN_RUN = (os.geteuid() == 0 and shutil.which("ip") is not None)

_root_links_before = None


def setUpModule():
    global _root_links_before
    if CAN_RUN:
        _root_links_before = our_root_links()


def tearDownModule():
    if CAN_RUN:
        assert netns_with("tb%dx" % os.getpid()) == [], "namespaces left"
        assert our_root_links() == _root_links_before, "root links changed"


@unittest.skipUnless(CAN_RUN, "needs root and iproute2")
class TestBedTests(unittest.TestCase):

    def assertCleanedUp(self, bed, procs=()):
        self.assertTrue(bed.closed)
        self.assertEqual(netns_with(bed.prefix), [])
        for p in procs:
            self.assertIsNotNone(p.poll(), "process %d still runs" % p.pid)

    def test_layout(self):
        with TestBed(3) as bed:
            self.assertEqual(len(bed.hosts), 3)
            self.assertEqual(sorted(netns_with(bed.prefix)),
                             sorted(bed.netns_names))
            for i, h in enumerate(bed.hosts):
                self.assertEqual(h.address, "198.18.0.%d" % (10 + i))
                addrs = h.ip("-o", "-4", "addr", "show", "dev", "eth0")
                self.assertIn("198.18.0.%d/16" % (10 + i), addrs)
                self.assertIn("UP", h.ip("link", "show", "lo"))
                self.assertTrue(h.has_multicast_route())
            br = bed.bridge.ip("-d", "link", "show", "br0")
            self.assertIn("mcast_snooping 0", br)
            for h in bed.hosts:
                self.assertIn("master br0",
                              bed.bridge.ip("link", "show", h.bridge_port))
            # Nothing of ours in the caller's namespace.
            self.assertEqual(our_root_links(), _root_links_before)
        self.assertCleanedUp(bed)

    def test_static_neighbours(self):
        with TestBed(3, static_neighbours=True) as bed:
            a, b, c = bed.hosts
            neighbours = a.ip("neigh", "show", "dev", "eth0")
            for other in (b, c):
                self.assertIn("%s lladdr %s PERMANENT" % (other.address,
                                                          other.mac),
                              neighbours)
            self.assertIn("link/ether %s" % a.mac, a.ip("link", "show", "eth0"))
            pa = bed.peer(a, bind_port=9191)
            pb = bed.peer(b, bind_port=9191)
            pa.send(b"hi", b.address, port=9191)
            self.assertEqual(pb.expect(b"hi", 2).src, a.address)
        self.assertCleanedUp(bed)

    def test_addresses_continue_past_one_octet(self):
        bed = TestBed(1)
        self.assertEqual([tb.Host(bed, i, "x").address for i in (0, 245, 246, 300)],
                         ["198.18.0.10", "198.18.0.255", "198.18.1.0",
                          "198.18.1.54"])

    def test_multicast_and_unicast(self):
        with TestBed(3) as bed:
            a, b, c = bed.hosts
            pa = bed.peer(a, join=[GROUP], ttl=255, loop=False)
            pb = bed.peer(b, join=[GROUP])
            pc = bed.peer(c, bind_port=9191)   # not joined, other port
            self.assertEqual(pa.port, PORT)

            pa.send(tb.JOIN_PACKET, GROUP)
            d = pb.expect({"command": tb.CMD_JOIN}, timeout=2)
            self.assertEqual(d.src, a.address)
            self.assertEqual(d.sport, PORT)
            self.assertEqual(d.dst, GROUP)
            self.assertEqual(d.ttl, 255)
            self.assertEqual(d.data, bytes.fromhex("00000008ffffff9b"))
            self.assertEqual(d.length, 8)
            # Loop off: the sender does not hear itself on a bed host.
            pa.expect_none(duration=0.2)
            pc.expect_none(duration=0)

            # Unicast greeting b -> a:9090.
            pb.send(tb.GREETING_PACKET, a.address)
            g = pa.expect(tb.GREETING_PACKET, timeout=2)
            self.assertEqual((g.src, g.sport, g.dst), (b.address, PORT,
                                                       a.address))
            self.assertEqual(g.ttl, 64)
            self.assertEqual((g.command, g.payload), (0, b"S"))

            # Per-send TTL, other port.
            pa.send(b"\x01\x02", c.address, port=9191, ttl=7)
            x = pc.expect(b"\x01\x02", timeout=2)
            self.assertEqual((x.dst, x.ttl), (c.address, 7))

            procs = bed.processes()
            self.assertEqual(len(procs), 3)
        self.assertCleanedUp(bed, procs)

    def test_failure_inside_with_block_cleans_up(self):
        with self.assertRaises(RuntimeError):
            with TestBed(2) as bed:
                sleeper = bed.hosts[0].popen(["sleep", "300"])
                peer = bed.peer(bed.hosts[1], join=[GROUP])
                self.assertTrue(running(sleeper.pid))
                raise RuntimeError("test failed here")
        self.assertCleanedUp(bed, [sleeper, peer.proc])

    def test_late_multicast_route(self):
        with TestBed(2, multicast_route=False) as bed:
            a, b = bed.hosts
            self.assertFalse(a.has_multicast_route())
            with self.assertRaises(tb.PeerError) as cm:
                bed.peer(a, join=[GROUP])
            self.assertEqual(cm.exception.errno, errno.ENODEV)
            self.assertEqual(cm.exception.info.get("stage"), "join")

            pa = bed.peer(a)
            r = pa.send(tb.JOIN_PACKET, GROUP, check=False)
            self.assertFalse(r["ok"])
            self.assertEqual(r["errno"], errno.ENETUNREACH)

            bed.add_multicast_route(a)
            bed.add_multicast_route(1)
            bed.add_multicast_route(1)     # idempotent
            pb = bed.peer(b, join=[GROUP])
            pa.join(GROUP)
            pa.send(tb.JOIN_PACKET, GROUP)
            self.assertEqual(pb.expect(tb.JOIN_PACKET, 2).src, a.address)
            pa.leave(GROUP)
            bed.del_multicast_route(a)
            self.assertFalse(a.has_multicast_route())
        self.assertCleanedUp(bed)

    def test_bind_conflict_and_specific_address(self):
        with TestBed(2) as bed:
            a, b = bed.hosts
            bed.peer(a)
            with self.assertRaises(tb.PeerError) as cm:
                bed.peer(a)                  # 9090 taken, no SO_REUSEADDR
            self.assertEqual(cm.exception.errno, errno.EADDRINUSE)
            pa2 = bed.peer(a, bind_addr=a.address, bind_port=9191)
            self.assertEqual(pa2.address, a.address)
            pb = bed.peer(b)
            pb.send(b"hi", a.address, port=9191)
            self.assertEqual(pa2.expect(b"hi", 2).dst, a.address)

    def test_parallel_beds_are_isolated(self):
        with TestBed(2) as one, TestBed(2) as two:
            self.assertNotEqual(one.prefix, two.prefix)
            p1 = [one.peer(h, join=[GROUP], loop=False) for h in one.hosts]
            p2 = [two.peer(h, join=[GROUP], loop=False) for h in two.hosts]
            p1[0].send(tb.LIST_PACKET, GROUP)
            p1[1].expect(tb.LIST_PACKET, 2)
            p2[0].expect_none(duration=0.2)
            p2[1].expect_none(duration=0)
        self.assertCleanedUp(one)
        self.assertCleanedUp(two)

    def test_collect_and_ordering(self):
        with TestBed(2) as bed:
            a, b = bed.hosts
            pa = bed.peer(a, join=[GROUP], loop=False)
            pb = bed.peer(b, join=[GROUP])
            for i in range(300):       # more than the default buffer holds
                pa.send(tb.packet(5, i.to_bytes(2, "big")), GROUP)
            got = pb.collect(0.3)
            self.assertEqual([int.from_bytes(d.payload, "big") for d in got],
                             list(range(300)))
            self.assertTrue(all(d.t > 0 for d in got))
            self.assertEqual(len(pb.received), 300)
            self.assertEqual(pb.pending(), [])

    def _run_child_bed(self):
        """A child process that builds a bed, starts a sleeper and waits."""
        code = (
            "import json, subprocess, sys, time; sys.path.insert(0, %r)\n"
            "import testbed as tb\n"
            "bed = tb.TestBed(2).start()\n"
            # The sleeper must not hold this child's pipes: the runner reads
            # them to the end once the child is gone.
            "p = bed.hosts[0].popen(['sleep', '300'],"
            " stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)\n"
            # Report only once sleep itself runs: setpriv armed the death
            # signal before it exec'd sleep.  (The command lines of python
            # and setpriv before it mention sleep too.)
            "while open('/proc/%%d/cmdline' %% p.pid).read().split('\\0')[0]"
            " != 'sleep':\n"
            "    if p.poll() is not None:\n"
            "        sys.exit('sleeper ended early: %%s' %% p.returncode)\n"
            "    time.sleep(0.005)\n"
            "print(json.dumps({'prefix': bed.prefix, 'pid': p.pid}),"
            " flush=True)\n"
            "time.sleep(300)\n" % HERE)
        # pdeathsig TERM: if this runner is killed, the child still cleans up.
        child = subprocess.Popen([tb.SETPRIV, "--pdeathsig", "TERM", "--",
                                  tb.PYTHON, "-c", code],
                                 stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE, text=True)
        self.addCleanup(self._end_child, child)
        ready, _, _ = select.select([child.stdout], [], [], 30)
        try:
            info = json.loads(child.stdout.readline() if ready else "")
        except ValueError:
            child.kill()
            _, err = child.communicate(timeout=10)
            self.fail("child bed did not start: %s" % err)
        # Whatever the test's outcome, nothing of the child's bed stays.
        self.addCleanup(tb.sweep, info["prefix"])
        self.assertEqual(len(netns_with(info["prefix"])), 3)
        self.assertTrue(running(info["pid"]))
        return child, info

    @staticmethod
    def _end_child(child):
        if child.poll() is None:
            child.kill()
        child.communicate(timeout=10)

    def _check_signal_cleanup(self, sig):
        child, info = self._run_child_bed()
        child.send_signal(sig)
        _, err = child.communicate(timeout=10)
        # Dies of the signal itself (Python does so for SIGINT too).
        self.assertEqual(child.returncode, -sig, err)
        self.assertEqual(netns_with(info["prefix"]), [])
        self.assertTrue(wait_until(lambda: not running(info["pid"])))

    def test_sigterm_cleans_up(self):
        self._check_signal_cleanup(signal.SIGTERM)

    def test_sigint_cleans_up(self):
        self._check_signal_cleanup(signal.SIGINT)

    def test_sigkill_leftovers_are_swept(self):
        child, info = self._run_child_bed()
        child.kill()
        child.communicate(timeout=10)
        # The sleeper dies with its parent (pdeathsig) ...
        self.assertTrue(wait_until(lambda: not running(info["pid"])))
        # ... the namespaces stay until swept (a bed starting in a parallel
        # run may sweep them first).
        left = netns_with(info["prefix"])
        removed = tb.sweep_stale()
        self.assertTrue(set(left) <= set(removed), (left, removed))
        # Only beds whose owner is gone: never this process's.
        self.assertFalse(any(n.startswith("tb%dx" % os.getpid())
                             for n in removed))
        self.assertEqual(netns_with(info["prefix"]), [])

    def test_sweep_prefix_kills_and_removes(self):
        bed = TestBed(2).start()
        try:
            p = bed.hosts[1].popen(["sleep", "300"])
            # sweep finds processes by namespace: wait until it is inside.
            self.assertTrue(wait_until(
                lambda: p.pid in bed.hosts[1].pids()))
            removed = tb.sweep(bed.prefix)
            self.assertEqual(sorted(removed), sorted(bed.netns_names))
            self.assertEqual(netns_with(bed.prefix), [])
            p.wait(timeout=5)
        finally:
            bed.close()          # still fine after a sweep
        self.assertCleanedUp(bed, [p])

    def test_run_and_timeout(self):
        with TestBed(1) as bed:
            h = bed.hosts[0]
            out = h.run(["ip", "-o", "-4", "addr", "show", "eth0"]).stdout
            self.assertIn(h.address, out)
            with self.assertRaises(subprocess.CalledProcessError):
                h.run(["false"])
            self.assertEqual(h.run(["false"], check=False).returncode, 1)
            t0 = time.monotonic()
            with self.assertRaises(subprocess.TimeoutExpired):
                h.run(["sleep", "30"], timeout=0.2)
            self.assertLess(time.monotonic() - t0, 3)
            self.assertEqual(h.pids(), [])

    def test_peer_expect_timeout_is_assertion(self):
        with TestBed(1) as bed:
            p = bed.peer(bed.hosts[0])
            t0 = time.monotonic()
            with self.assertRaises(AssertionError):
                p.expect(None, timeout=0.2)
            self.assertLess(time.monotonic() - t0, 1.0)
            self.assertEqual(p.stop(), 0)   # exits on stdin EOF


if __name__ == "__main__":
    # A hang shows where it is stuck before the test runner's time limit ends it.
    faulthandler.dump_traceback_later(270)
    unittest.main()
