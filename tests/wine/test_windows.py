"""The Windows build under Wine: the console program and the service, in a test-bed host,
checked on the wire by the same Python peer as on Linux; the Winsock error table; the
uncaught-exception report. Each Wine session is isolated in its host's network namespace
(winenv.sh), so the wineserver's sockets live there too."""
import faulthandler
import os
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "testbed"))
from testbed import GREETING_PACKET, GROUP, JOIN_PACKET, LEAVE_PACKET, TestBed  # noqa: E402

WINENV = os.path.join(HERE, "winenv.sh")
BUILD = os.path.abspath(os.environ.get("TINTCHECK_WINDOWS_BUILD", "build/windows"))
AGENT = os.path.join(BUILD, "src", "tintCHECK_AutoDiscover.exe")
CONTROL = os.path.join(BUILD, "tests", "windows", "service_control.exe")
SC = r"C:\windows\system32\sc.exe"
SERVICE = "tintCHECK_AutoDiscover"
# Under Wine a console program's offer to the service manager fails only after about 10 s.
CONSOLE_START = 25


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


class WineSession:
    """A Wine session inside one host of the bed."""

    def __init__(self, host):
        env = dict(os.environ)
        if BUILD.startswith("/tmp/"):  # the session has a /tmp of its own
            env["WINENV_KEEP_TMP"] = os.path.dirname(os.path.dirname(BUILD))
        self.session = subprocess.run([WINENV, "start", host.netns], capture_output=True, text=True,
                                      check=True, timeout=180, env=env).stdout.strip()

    def command(self, *args):
        return [WINENV, "run", self.session, "--", *args]

    def run(self, *args, timeout=60):
        result = subprocess.run(self.command(*args), capture_output=True, timeout=timeout)
        # Windows programs end the lines they print with CR LF.
        return result.returncode, result.stdout.decode(errors="replace").replace("\r\n", "\n"), result.stderr

    def control(self, *args):
        code, out, _ = self.run("wine", CONTROL, *args)
        return code, out

    def end(self):
        subprocess.run([WINENV, "end", self.session], capture_output=True, timeout=60)


class WindowsTest(unittest.TestCase):
    def setUp(self):
        self.bed = TestBed(2).start()
        self.addCleanup(self.bed.close)
        self.windows_host, self.peer_host = self.bed.hosts
        self.wine = WineSession(self.windows_host)
        self.addCleanup(self.wine.end)

    def peer(self):
        return self.bed.peer(self.peer_host, join=[GROUP])

    def expect_greeting(self, peer, timeout=3):
        peer.drain()
        peer.send(JOIN_PACKET, GROUP)
        greeting = peer.expect({"src": self.windows_host.address}, timeout=timeout)
        self.assertEqual(greeting.data, GREETING_PACKET)
        self.assertEqual(greeting.dst, self.peer_host.address)

    def test_console_program_announces_itself_and_greets(self):
        peer = self.peer()
        agent = subprocess.Popen(self.wine.command("wine", AGENT), stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        self.addCleanup(agent.wait)
        self.addCleanup(agent.kill)
        announcement = peer.expect({"src": self.windows_host.address}, timeout=CONSOLE_START)
        self.assertEqual(announcement.data, JOIN_PACKET)
        self.assertEqual((announcement.dst, announcement.sport, announcement.ttl), (GROUP, 9090, 255))
        self.expect_greeting(peer)

    def test_service_lifecycle(self):
        peer = self.peer()
        code, _, _ = self.wine.run("wine", SC, "create", SERVICE, "binPath=", windows_path(AGENT))
        self.assertEqual(code, 0)
        self.assertEqual(self.wine.run("wine", SC, "start", SERVICE)[0], 0)
        self.assertIn("state=4", self.wine.control("wait", SERVICE, "4", "10000")[1])
        self.assertIn("state=4 type=0x10 controls=0x7 win32exit=0", self.wine.control("query", SERVICE)[1])

        announcement = peer.expect({"src": self.windows_host.address}, timeout=10)
        self.assertEqual(announcement.data, JOIN_PACKET)
        self.expect_greeting(peer)

        self.assertIn("state=7", self.wine.control("pause", SERVICE)[1])
        self.expect_greeting(peer)  # pausing changes only the reported state
        self.assertIn("state=4", self.wine.control("continue", SERVICE)[1])
        code, out = self.wine.control("interrogate", SERVICE)
        self.assertEqual(code, 0)
        self.assertIn("state=4", out)
        self.expect_greeting(peer)

        peer.drain()
        self.wine.control("stop", SERVICE)
        stopped = self.wine.control("wait", SERVICE, "1", "10000")[1]
        self.assertIn("state=1", stopped)
        self.assertIn("win32exit=0", stopped)
        self.assertIn("pid=0", stopped)  # the process has ended
        peer.expect_none(LEAVE_PACKET, duration=1.0)  # no leave announcement
        peer.send(JOIN_PACKET, GROUP)
        peer.expect_none({"src": self.windows_host.address}, duration=0.5)
        self.assertEqual(self.wine.run("wine", SC, "delete", SERVICE)[0], 0)

    def test_winsock_errors_translate_to_socket_codes(self):
        code, out, _ = self.wine.run("wine", os.path.join(BUILD, "tests", "windows", "winsock_errors_test.exe"))
        self.assertRegex(out, r"\d+ passed, 0 failed")
        self.assertEqual(code, 0, out)

    def test_uncaught_exception_report(self):
        code, out, err = self.wine.run("wine", os.path.join(BUILD, "tests", "windows", "throwing_app.exe"), "runtime",
                                       timeout=CONSOLE_START + 30)
        self.assertEqual(code, 0)
        self.assertEqual(err.decode(), "Exception Message: Something broke\nException Error Number: -42\n"
                                      "An exception of class RuntimeException was not handled.  "
                                      "The application must shut down.")
        self.assertEqual(out, "DontDaemonize\nUnhandledException RuntimeException\nStop(False)\n")


if __name__ == "__main__":
    # A hang shows where it is stuck before the test runner's time limit ends it.
    faulthandler.dump_traceback_later(570)
    unittest.main(verbosity=2)
