"""The agent end to end: real agent processes in test-bed hosts, checked on the wire by an
independent peer written with Python's socket module."""
import faulthandler
import time
import unittest

from agent_bed import Sniffer, start_agent  # also puts the test bed on the path
from testbed import (GREETING_PACKET, GROUP, JOIN_PACKET, LEAVE_PACKET, LIST_PACKET, PORT,
                     TestBed, packet)

# The agent handles what arrived at its next pass of the event loop, 100 ms apart; the rest is
# scheduling slack on a loaded two-core machine.
GREETING_DEADLINE = 0.6


class AgentTest(unittest.TestCase):
    def setUp(self):
        self.bed = TestBed(3).start()
        self.addCleanup(self.bed.close)
        self.agent_host, self.peer_host, self.third_host = self.bed.hosts

    def start_agent(self, host=None, *args):
        process, started = start_agent(host or self.agent_host, *args)
        return process, started

    def peer(self, host=None, **kw):
        return self.bed.peer(host or self.peer_host, join=[GROUP], **kw)

    def test_announces_itself_on_start(self):
        peer = self.peer()
        self.start_agent()
        announcement = peer.expect({"src": self.agent_host.address}, timeout=5)
        self.assertEqual(announcement.data, JOIN_PACKET)
        self.assertEqual((announcement.sport, announcement.dst, announcement.ttl), (PORT, GROUP, 255))
        peer.expect_none({"src": self.agent_host.address}, duration=0.5)

    def test_greets_each_announcement_once(self):
        peer = self.peer()
        self.start_agent()
        peer.expect({"src": self.agent_host.address, "data": JOIN_PACKET}, timeout=5)
        for _ in range(2):
            peer.drain()
            peer.send(JOIN_PACKET, GROUP)
            sent = time.monotonic()
            greeting = peer.expect({"src": self.agent_host.address}, timeout=2)
            self.assertEqual(greeting.data, GREETING_PACKET)
            self.assertEqual((greeting.sport, greeting.dst), (PORT, self.peer_host.address))
            self.assertLess(greeting.t - sent, GREETING_DEADLINE)
            peer.expect_none({"src": self.agent_host.address}, duration=0.4)

    def test_answers_a_list_request_and_ignores_leaves_and_messages(self):
        peer = self.peer()
        self.start_agent()
        peer.expect({"src": self.agent_host.address, "data": JOIN_PACKET}, timeout=5)
        peer.send(LIST_PACKET, GROUP)
        answer = peer.expect({"src": self.agent_host.address}, timeout=2)
        self.assertEqual(answer.data, JOIN_PACKET)
        self.assertEqual(answer.dst, self.peer_host.address)  # straight back, not to the group
        peer.expect_none({"src": self.agent_host.address}, duration=0.4)
        peer.send(LEAVE_PACKET, GROUP)
        peer.send(packet(5, b"hello"), self.agent_host.address)
        peer.send(GREETING_PACKET, self.agent_host.address)
        peer.expect_none({"src": self.agent_host.address}, duration=0.6)

    def test_several_packets_in_one_datagram_and_one_packet_in_two(self):
        peer = self.peer()
        self.start_agent()
        peer.expect({"src": self.agent_host.address, "data": JOIN_PACKET}, timeout=5)
        peer.send(JOIN_PACKET + LIST_PACKET, self.agent_host.address)
        first = peer.expect({"src": self.agent_host.address}, timeout=2)
        second = peer.expect({"src": self.agent_host.address}, timeout=2)
        self.assertEqual([first.data, second.data], [GREETING_PACKET, JOIN_PACKET])
        peer.send(JOIN_PACKET[:5], self.agent_host.address)
        peer.expect_none({"src": self.agent_host.address}, duration=0.3)
        peer.send(JOIN_PACKET[5:], self.agent_host.address)
        self.assertEqual(peer.expect({"src": self.agent_host.address}, timeout=2).data, GREETING_PACKET)
        peer.expect_none({"src": self.agent_host.address}, duration=0.4)

    def test_each_agent_greets_itself_and_those_started_after_it(self):
        bed = TestBed(3).start()
        self.addCleanup(bed.close)
        sniffers = [Sniffer(host) for host in bed.hosts]
        for host in bed.hosts:
            start_agent(host)
            sniffers[2].wait_for(src=host.address, data=JOIN_PACKET)  # multicast reaches every host
            time.sleep(0.5)  # every agent has handled the announcement
        time.sleep(0.5)
        for i, sender in enumerate(bed.hosts):
            greeted = sorted(r["dst"] for r in sniffers[i].sent(src=sender.address, data=GREETING_PACKET))
            expected = sorted(host.address for host in bed.hosts[i:])
            self.assertEqual(greeted, expected, f"greetings sent by {sender.address}")

    def test_keeps_running_silently_when_the_port_is_taken(self):
        holder = self.bed.peer(self.agent_host)  # holds port 9090 in the agent's host
        peer = self.peer()
        sniffer = Sniffer(self.agent_host)
        process, _ = self.start_agent()
        peer.send(JOIN_PACKET, GROUP)
        time.sleep(1.0)
        self.assertIsNone(process.poll())
        holder.drain()
        self.assertEqual([r for r in sniffer.sent(src=self.agent_host.address)], [])

    def test_arguments_change_nothing(self):
        peer = self.peer()
        self.start_agent(None, "--help", "-v", "stop", "")
        self.assertEqual(peer.expect({"src": self.agent_host.address}, timeout=5).data, JOIN_PACKET)
        peer.send(JOIN_PACKET, GROUP)
        self.assertEqual(peer.expect({"src": self.agent_host.address}, timeout=2).data, GREETING_PACKET)


if __name__ == "__main__":
    # A hang shows where it is stuck before the test runner's time limit ends it.
    faulthandler.dump_traceback_later(270)
    unittest.main(verbosity=2)
