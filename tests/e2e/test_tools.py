"""The operator tools for real, in the test bed: the tintcheck client against running agents,
and the Wireshark dissector on a capture made there."""
import faulthandler
import json
import os
import queue
import signal
import subprocess
import threading
import time
import unittest

from agent_bed import start_agent
from testbed import GROUP, JOIN_PACKET, LEAVE_PACKET, LIST_PACKET, TestBed, packet

TOOL = os.environ.get("TINTCHECK_TOOL", "build/release/tools/tintcheck/tintcheck")
DISSECTOR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "wireshark", "tintcheck.lua")


class Lines:
    """The lines a process prints, each waited for with a time limit."""

    def __init__(self, stream):
        self._lines = queue.Queue()
        threading.Thread(target=lambda: [self._lines.put(line) for line in stream], daemon=True).start()

    def next(self, timeout=5):
        try:
            return self._lines.get(timeout=timeout)
        except queue.Empty:
            raise AssertionError(f"no line within {timeout} s") from None


class ToolTest(unittest.TestCase):
    def bed(self, hosts):
        bed = TestBed(hosts).start()
        self.addCleanup(bed.close)
        return bed

    def agents(self, bed, hosts):
        watcher = bed.peer(bed.hosts[-1], bind_port=9191, join=[GROUP])
        for host in hosts:
            start_agent(host)
        time.sleep(0.5)  # each agent has announced itself and handled the others' announcements
        return watcher

    def test_members_lists_the_running_agents_and_itself(self):
        bed = self.bed(4)
        self.agents(bed, bed.hosts[:3])
        result = bed.hosts[3].run([TOOL, "members", "--wait", "1000"])
        lines = sorted(result.stdout.splitlines())
        self.assertEqual(lines, sorted(f"{h.address}  (1 answer)" for h in bed.hosts))
        result = bed.hosts[3].run([TOOL, "members", "--json", "--wait", "1000"])
        document = json.loads(result.stdout)
        self.assertEqual(document["group"], "tintCHECK4")
        self.assertEqual(document["address"], GROUP)
        self.assertEqual(sorted(m["address"] for m in document["members"]), sorted(h.address for h in bed.hosts))
        self.assertTrue(all(m["answers"] == 1 for m in document["members"]))

    def test_watch_prints_the_joins_of_agents_started_after_it_and_leaves_on_interrupt(self):
        bed = self.bed(3)
        peer = bed.peer(bed.hosts[2], join=[GROUP])
        watch = bed.hosts[1].popen([TOOL, "watch"], stdout=subprocess.PIPE, text=True)
        self.addCleanup(watch.wait)
        self.addCleanup(watch.kill)
        lines = Lines(watch.stdout)
        self.assertRegex(lines.next(), rf"^\d{{4}}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{{3}}Z  joined   {bed.hosts[1].address}\n$")
        start_agent(bed.hosts[0])
        self.assertIn(f"  joined   {bed.hosts[0].address}\n", lines.next())
        peer.send(packet(5, b"hi there"), bed.hosts[1].address)
        self.assertIn(f"  message  {bed.hosts[2].address}  command 5  \"hi there\"\n", lines.next())
        peer.send(packet(-7, b"\x00\xff"), bed.hosts[1].address)
        self.assertIn(f"  message  {bed.hosts[2].address}  command -7  hex:00ff\n", lines.next())
        peer.send(LEAVE_PACKET, bed.hosts[1].address)
        self.assertIn(f"  left     {bed.hosts[2].address}\n", lines.next())
        peer.drain()
        watch.send_signal(signal.SIGINT)
        self.assertEqual(watch.wait(5), 0)
        self.assertEqual(peer.expect({"src": bed.hosts[1].address}, timeout=2).data, LEAVE_PACKET)

    def test_send_puts_the_exact_bytes_on_the_wire(self):
        bed = self.bed(2)
        sender, receiver = bed.hosts
        peer = bed.peer(receiver, join=[GROUP])
        sender.run([TOOL, "send", "--to", receiver.address, "5", "hello"])
        datagram = peer.expect({"src": sender.address}, timeout=2)
        self.assertEqual((datagram.data, datagram.sport, datagram.dst), (packet(5, b"hello"), 9090, receiver.address))
        sender.run([TOOL, "send", "--hex", "-7", "00ff"])
        datagram = peer.expect({"src": sender.address}, timeout=2)
        self.assertEqual((datagram.data, datagram.dst), (packet(-7, b"\x00\xff"), GROUP))

    def test_address_prints_group_addresses(self):
        for name, address in (("abc", "232.121.218.196"), ("ABC", "232.121.218.196"), ("", "224.0.0.0"),
                              ("zzzzzzzzzz", "235.240.108.128"), ("tintCHECK4", GROUP),
                              ("0224.001.2.3", "0224.001.2.3"), ("240.1.1.1", "234.134.177.110")):
            result = subprocess.run([TOOL, "address", name], capture_output=True, text=True, check=True)
            self.assertEqual(result.stdout, address + "\n")

    def test_says_plainly_when_the_port_is_taken(self):
        bed = self.bed(1)
        bed.peer(bed.hosts[0])  # holds port 9090, as a running agent would
        result = bed.hosts[0].run([TOOL, "members"], check=False)
        self.assertNotEqual(result.returncode, 0)
        self.assertEqual(result.stdout, "")
        self.assertEqual(len(result.stderr.splitlines()), 1)
        self.assertIn("UDP port 9090 is already in use on this machine", result.stderr)

    def test_bad_use_gets_a_one_line_reason(self):
        for args in ([], ["bogus"], ["send", "5"], ["members", "--port", "0"], ["send", "--hex", "1", "xyz"]):
            result = subprocess.run([TOOL, *args], capture_output=True, text=True)
            self.assertNotEqual(result.returncode, 0, args)
            self.assertEqual(len(result.stderr.splitlines()), 1, (args, result.stderr))
            self.assertTrue(result.stderr.startswith("tintcheck: "), result.stderr)

    def test_dissector_decodes_a_capture_made_in_the_bed(self):
        bed = self.bed(2)
        agent_host, member = bed.hosts
        capture = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"tintcheck-{os.getpid()}.pcap")
        self.addCleanup(lambda: os.path.exists(capture) and os.unlink(capture))
        tshark = member.popen(["tshark", "-q", "-i", "eth0", "-w", capture, "-f", "udp port 9090"],
                              stderr=subprocess.PIPE, text=True)
        self.addCleanup(tshark.kill)
        messages = Lines(tshark.stderr)
        while "Capturing on" not in messages.next(timeout=20):
            pass
        peer = bed.peer(member, join=[GROUP])
        start_agent(agent_host)
        peer.expect({"src": agent_host.address}, timeout=5)
        peer.send(JOIN_PACKET + LIST_PACKET, agent_host.address)  # both answered
        peer.expect({"src": agent_host.address}, timeout=2)
        peer.expect({"src": agent_host.address}, timeout=2)
        peer.send(b"\x00\x00\x00\x03\x00\x00\x00\x00", agent_host.address)
        time.sleep(0.5)
        tshark.send_signal(signal.SIGINT)
        tshark.wait(10)
        decoded = subprocess.run(
            ["tshark", "-r", capture, "-X", f"lua_script:{DISSECTOR}", "-T", "fields", "-e", "ip.src",
             "-e", "tintcheck.length", "-e", "tintcheck.command", "-e", "tintcheck.name", "-e", "tintcheck.text",
             "-e", "_ws.expert.message", "-E", "occurrence=a", "-E", "aggregator=|"],
            capture_output=True, text=True, check=True).stdout.splitlines()
        rows = [line.split("\t") for line in decoded]
        a, m = agent_host.address, member.address
        self.assertEqual([row[:5] for row in rows], [
            [a, "8", "-101", "MemberJoin", ""],
            [m, "8|8", "-101|-100", "MemberJoin|MemberListRequest", ""],
            [a, "9", "0", "Greeting", "S"],
            [a, "8", "-101", "MemberJoin", ""],
            [m, "3", "", "", ""],
        ])
        self.assertIn("Length that no packet can have", rows[4][5])


if __name__ == "__main__":
    # A hang shows where it is stuck before the test runner's time limit ends it.
    faulthandler.dump_traceback_later(270)
    unittest.main(verbosity=2)
