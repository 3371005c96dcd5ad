"""Multi-host test bed built from Linux network namespaces.

    with TestBed(3) as bed:
        a, b, c = bed.hosts
        agent = a.popen(["./agent"])
        p = PeerProcess(b, join=[GROUP])        # or bed.peer(b, join=[GROUP])
        d = p.expect({"command": CMD_JOIN, "src": a.address}, timeout=5)

Layout: one namespace holds bridge br0 (multicast snooping off, so
delivery never depends on an IGMP querier); each host is a namespace with
lo and eth0 (198.18.0.(10+i)/16, on into 198.18.1.x past 245 hosts), the
far end of a veth pair whose other end is a port of br0.  Nothing is created in the caller's namespace, so no
test datagram can leave the machine.

Cleanup always runs (context exit, atexit, SIGTERM/SIGINT/SIGHUP): the
process groups started here are killed, anything else still inside the
bed's namespaces is killed by pid, and the namespaces are deleted (which
removes the veths and the bridge).  Needs root and iproute2.
"""

import atexit
import json
import os
import re
import secrets
import signal
import struct
import subprocess
import sys
import threading
import time
from dataclasses import dataclass, field

__all__ = [
    "TestBed", "Node", "Host", "PeerProcess", "Datagram", "TestBedError",
    "PeerError", "PeerTimeout", "sweep", "sweep_stale", "list_netns",
    "packet", "parse_packet", "GROUP", "PORT", "CMD_LIST", "CMD_JOIN",
    "CMD_LEAVE", "CMD_GREETING", "JOIN_PACKET", "LIST_PACKET",
    "LEAVE_PACKET", "GREETING_PACKET", "PYTHON", "PEER_SCRIPT",
]

HERE = os.path.dirname(os.path.abspath(__file__))
PEER_SCRIPT = os.path.join(HERE, "peer.py")
# A python3 wrapper earlier on PATH costs ~0.3 s per start; use the real one.
PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") \
    else sys.executable
IP = "ip"
SETPRIV = "/usr/bin/setpriv" if os.path.exists("/usr/bin/setpriv") else None
NETNS_DIR = "/run/netns"

SUBNET_PREFIX = "198.18."
SUBNET_LEN = 16
HOST_BASE = 10
MAX_HOSTS = 1000
MCAST_ROUTE = "224.0.0.0/4"

# --- the agent's wire format ----------------------------------------------
GROUP = "229.235.141.206"
PORT = 9090
CMD_GREETING = 0
CMD_LIST = -100
CMD_JOIN = -101
CMD_LEAVE = -102
_HDR = struct.Struct(">ii")


def packet(command, data=b""):
    """Message packet: int32 BE total length (header included), int32 BE
    command, data."""
    return _HDR.pack(_HDR.size + len(data), command) + bytes(data)


def parse_packet(raw):
    """(length, command, data) or None when shorter than the header."""
    raw = bytes(raw)
    if len(raw) < _HDR.size:
        return None
    length, command = _HDR.unpack_from(raw)
    return length, command, raw[_HDR.size:]


JOIN_PACKET = packet(CMD_JOIN)          # 00000008 ffffff9b
LIST_PACKET = packet(CMD_LIST)          # 00000008 ffffff9c
LEAVE_PACKET = packet(CMD_LEAVE)        # 00000008 ffffff9a
GREETING_PACKET = packet(CMD_GREETING, b"S")  # 00000009 00000000 53


class TestBedError(RuntimeError):
    pass


# --- namespace bookkeeping -------------------------------------------------

# Auto prefixes carry the owner's pid so leftovers of a dead run can be
# told apart from a run still going: tb<pid>x<4 hex>.
_AUTO_PREFIX_RE = re.compile(r"^tb(\d+)x[0-9a-f]{4}(?:br|h\d+)$")
_prefix_lock = threading.Lock()
_used_prefixes = set()


def list_netns():
    """Names of all named network namespaces (what `ip netns list` shows)."""
    try:
        return sorted(os.listdir(NETNS_DIR))
    except FileNotFoundError:
        return []


def _ns_inode(name):
    try:
        st = os.stat(os.path.join(NETNS_DIR, name))
        return (st.st_dev, st.st_ino)
    except OSError:
        return None


def _pids_in_netns(names):
    """Pids of processes whose network namespace is one of `names`."""
    want = {i for i in (_ns_inode(n) for n in names) if i}
    if not want:
        return []
    me = os.getpid()
    pids = []
    for d in os.listdir("/proc"):
        if not d.isdigit() or int(d) == me:
            continue
        try:
            st = os.stat("/proc/%s/ns/net" % d)
        except OSError:
            continue   # gone, or a zombie that already left its namespace
        if (st.st_dev, st.st_ino) in want:
            pids.append(int(d))
    return pids


def _kill_netns_pids(names, timeout=2.0):
    """SIGKILL, by pid, whatever still runs inside our namespaces: a netns
    with a live process survives `ip netns del` (and keeps its links)."""
    deadline = time.monotonic() + timeout
    while True:
        pids = _pids_in_netns(names)
        if not pids:
            return []
        for pid in pids:
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        if time.monotonic() > deadline:
            return pids
        time.sleep(0.01)


def _delete_netns(names):
    names = [n for n in names if os.path.exists(os.path.join(NETNS_DIR, n))]
    if not names:
        return
    subprocess.run([IP, "-force", "-batch", "-"],
                   input="".join("netns del %s\n" % n for n in names),
                   text=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def sweep(prefix):
    """Remove every namespace whose name starts with `prefix`, killing the
    processes inside by pid.  Returns the names removed.  Use the exact
    prefix of one bed: sweep("tb") would also hit beds running in
    parallel."""
    if not prefix:
        raise ValueError("empty prefix")
    names = [n for n in list_netns() if n.startswith(prefix)]
    if names:
        _kill_netns_pids(names)
        _delete_netns(names)
    return names


def _pid_alive(pid):
    try:
        os.kill(pid, 0)
        return True
    except ProcessLookupError:
        return False
    except PermissionError:
        return True


def sweep_stale():
    """Remove leftovers of auto-named beds whose owning process is gone
    (e.g. a test runner killed with SIGKILL).  Beds of live runs are left
    alone.  Returns the names removed."""
    stale = []
    for n in list_netns():
        m = _AUTO_PREFIX_RE.match(n)
        if m and int(m.group(1)) != os.getpid() \
                and not _pid_alive(int(m.group(1))):
            stale.append(n)
    if stale:
        _kill_netns_pids(stale)
        _delete_netns(stale)
    return stale


def _new_prefix():
    with _prefix_lock:
        existing = list_netns()
        while True:
            p = "tb%dx%s" % (os.getpid(), secrets.token_hex(2))
            if p not in _used_prefixes and \
                    not any(n.startswith(p) for n in existing):
                _used_prefixes.add(p)
                return p


# --- emergency cleanup -----------------------------------------------------

_LIVE = []          # beds not yet closed; no lock: used from signal handlers
_handlers_installed = False


def _close_all():
    for bed in list(_LIVE):
        try:
            bed.close()
        except Exception as e:   # keep going: other beds still need it
            print("testbed: cleanup of %s failed: %r" % (bed.prefix, e),
                  file=sys.stderr)


def _on_signal(signum, frame):
    # Clean up here rather than by unwinding: unittest turns SystemExit
    # raised inside a test into a mere error and carries on.
    _close_all()
    if signum == signal.SIGINT:
        raise KeyboardInterrupt
    # Then die of the same signal, as the default action would have.
    signal.signal(signum, signal.SIG_DFL)
    os.kill(os.getpid(), signum)


def _install_handlers():
    global _handlers_installed
    if _handlers_installed:
        return
    if threading.current_thread() is not threading.main_thread():
        return   # signal.signal only works there; atexit still covers us
    _handlers_installed = True
    defaults = {signal.SIGTERM: signal.SIG_DFL, signal.SIGHUP: signal.SIG_DFL,
                signal.SIGINT: signal.default_int_handler}
    for sig, dflt in defaults.items():
        # Respect a handler someone else installed on purpose.
        if signal.getsignal(sig) is dflt:
            signal.signal(sig, _on_signal)


atexit.register(_close_all)


# --- nodes -----------------------------------------------------------------

class Node:
    """A network namespace in the bed that can run processes."""

    def __init__(self, bed, name, netns):
        self.bed = bed
        self.name = name
        self.netns = netns
        self.procs = []

    def __repr__(self):
        return "<%s %s netns=%s>" % (type(self).__name__, self.name,
                                     self.netns)

    def exec_prefix(self):
        return [IP, "netns", "exec", self.netns]

    def popen(self, argv, pdeathsig=True, **kw):
        """Start argv inside this namespace in a new session (its own
        process group, killed at cleanup).  kw go to subprocess.Popen;
        stdin defaults to /dev/null.  With pdeathsig the process is
        SIGKILLed if the thread that started it dies (covers a killed test
        runner); start long-lived processes from the main thread."""
        if isinstance(argv, (str, bytes)):
            raise TypeError("argv must be a list, not a string")
        if self.bed.closed:
            raise TestBedError("test bed is closed")
        cmd = self.exec_prefix()
        if pdeathsig and SETPRIV:
            cmd += [SETPRIV, "--pdeathsig", "KILL", "--"]
        cmd += [str(a) for a in argv]
        kw.setdefault("stdin", subprocess.DEVNULL)
        kw["start_new_session"] = True
        p = subprocess.Popen(cmd, **kw)
        self.procs.append(p)
        return p

    def run(self, argv, timeout=30, check=True, capture=True, input=None,
            **kw):
        """Run argv to completion inside this namespace; returns a
        CompletedProcess (text mode).  On timeout the whole process group
        is killed and subprocess.TimeoutExpired raised."""
        if capture:
            kw.setdefault("stdout", subprocess.PIPE)
            kw.setdefault("stderr", subprocess.PIPE)
        if input is not None:
            kw["stdin"] = subprocess.PIPE
        kw.setdefault("text", True)
        p = self.popen(argv, **kw)
        try:
            out, err = p.communicate(input, timeout=timeout)
        except subprocess.TimeoutExpired:
            self.terminate(p, timeout=0.5)
            raise
        cp = subprocess.CompletedProcess(p.args, p.returncode, out, err)
        if check and p.returncode != 0:
            raise subprocess.CalledProcessError(p.returncode, p.args, out,
                                                err)
        return cp

    def ip(self, *args, check=True):
        """`ip -n NETNS args...`; returns stdout."""
        r = subprocess.run([IP, "-n", self.netns] + [str(a) for a in args],
                           capture_output=True, text=True)
        if check and r.returncode != 0:
            raise TestBedError("ip -n %s %s: %s" % (
                self.netns, " ".join(map(str, args)), r.stderr.strip()))
        return r.stdout

    def ip_batch(self, lines):
        _ip_batch(self.netns, lines)

    @staticmethod
    def terminate(proc, timeout=2.0, sig=signal.SIGTERM):
        """Send sig to proc's process group, SIGKILL it after timeout;
        returns the exit code."""
        _signal_groups([proc], sig)
        if _wait_all([proc], timeout):
            _signal_groups([proc], signal.SIGKILL)
            _wait_all([proc], 2.0)
        return proc.returncode

    def pids(self):
        """Pids of every process currently inside this namespace."""
        return _pids_in_netns([self.netns])


class Host(Node):
    """A test host: eth0 with `address`/16 on the bed's bridge, lo up."""

    def __init__(self, bed, index, netns):
        super().__init__(bed, "h%d" % index, netns)
        self.index = index
        self.address = "%s%d.%d" % ((SUBNET_PREFIX,) + divmod(HOST_BASE + index, 256))
        self.ifname = "eth0"
        self.bridge_port = "h%d" % index   # the veth end inside the bridge ns
        # Locally administered; used only by beds with static neighbours.
        self.mac = "02:00:c6:12:%02x:%02x" % (index >> 8, index & 0xFF)

    def has_multicast_route(self):
        return bool(self.ip("route", "show", MCAST_ROUTE).strip())

    def set_link(self, up):
        """Bring eth0 up or down (cut the host off the bridge)."""
        self.ip("link", "set", self.ifname, "up" if up else "down")


def _signal_groups(procs, sig):
    for p in procs:
        # Only while unreaped: the pid (and so the group id) is still ours.
        if p.returncode is None and p.poll() is None:
            try:
                os.killpg(p.pid, sig)
            except OSError:
                pass


def _wait_all(procs, timeout):
    """Wait for procs until timeout; returns those still running."""
    deadline = time.monotonic() + timeout
    left = [p for p in procs if p.poll() is None]
    while left:
        rest = deadline - time.monotonic()
        if rest <= 0:
            break
        try:
            left[0].wait(timeout=min(rest, 0.05))
        except subprocess.TimeoutExpired:
            pass
        left = [p for p in left if p.poll() is None]
    return left


def _ip_batch(netns, lines):
    cmd = [IP] + (["-n", netns] if netns else []) + ["-batch", "-"]
    r = subprocess.run(cmd, input="".join(l + "\n" for l in lines),
                       capture_output=True, text=True)
    if r.returncode != 0:
        raise TestBedError("ip%s -batch failed: %s" % (
            " -n " + netns if netns else "", r.stderr.strip()))


# --- the bed ---------------------------------------------------------------

class TestBed:
    """N hosts on one bridge, each in its own network namespace.

    multicast_route: True (every host gets 224.0.0.0/4 on eth0), False (no
    host does), or a collection of host indices that get it.  Without it a
    host's group join fails with ENODEV and a group send with ENETUNREACH.

    static_neighbours: every host knows every other's link address from the
    start and never asks for it.  All namespaces share one kernel neighbour
    table, whose default limit (1,024 entries in all) a few dozen hosts
    talking to each other exceed, while real machines each have their own.
    """

    __test__ = False   # not a test case, whatever pytest thinks

    def __init__(self, n_hosts=3, multicast_route=True, prefix=None,
                 sweep_stale_beds=True, static_neighbours=False):
        if not 1 <= n_hosts <= MAX_HOSTS:
            raise ValueError("n_hosts out of range")
        self.n_hosts = n_hosts
        if multicast_route is True:
            self._mroute = set(range(n_hosts))
        elif not multicast_route:
            self._mroute = set()
        else:
            self._mroute = set(multicast_route)
        self._auto_prefix = prefix is None
        self._user_prefix = prefix
        self._sweep_stale = sweep_stale_beds
        self._static_neighbours = static_neighbours
        self.prefix = prefix
        self.hosts = []
        self.bridge = None
        self.peers = []
        self._netns = []        # names this bed created (or is creating)
        self.started = False
        self.closed = False
        self.setup_time = None
        self.teardown_time = None

    # context manager
    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def __repr__(self):
        return "<TestBed %s hosts=%d>" % (self.prefix, self.n_hosts)

    def __getitem__(self, i):
        return self.hosts[i]

    @property
    def netns_names(self):
        return list(self._netns)

    def start(self):
        if self.started:
            return self
        if os.geteuid() != 0:
            raise TestBedError("the test bed needs root")
        t0 = time.monotonic()
        _install_handlers()
        if self._sweep_stale:
            sweep_stale()
        if self._auto_prefix:
            self.prefix = _new_prefix()
        else:
            clash = [n for n in list_netns() if n.startswith(self.prefix)]
            if clash:
                raise TestBedError("namespaces with prefix %r exist: %s" %
                                   (self.prefix, clash))
        self.started = True
        _LIVE.append(self)
        try:
            self._build()
        except BaseException:
            self.close()
            raise
        self.setup_time = time.monotonic() - t0
        return self

    def _build(self):
        p = self.prefix
        br_ns = p + "br"
        host_ns = [p + "h%d" % i for i in range(self.n_hosts)]
        # Record names before creating them so an interruption in the
        # middle still removes whatever got made.
        self._netns = [br_ns] + host_ns
        _ip_batch(None, ["netns add %s" % n for n in self._netns])
        self.bridge = Node(self, "bridge", br_ns)
        self.hosts = [Host(self, i, n) for i, n in enumerate(host_ns)]

        # addrgenmode none: no IPv6 link-local, so no DAD/RS/MLD chatter.
        lines = ["link set lo up",
                 "link add br0 type bridge mcast_snooping 0 stp_state 0 "
                 "forward_delay 0",
                 "link set br0 addrgenmode none",
                 "link set br0 up"]
        for h in self.hosts:
            lines += ["link add %s type veth peer name eth0 netns %s"
                      % (h.bridge_port, h.netns),
                      "link set %s addrgenmode none" % h.bridge_port,
                      "link set %s master br0 up" % h.bridge_port]
        _ip_batch(br_ns, lines)

        for h in self.hosts:
            lines = ["link set lo up",
                     "link set eth0 addrgenmode none",
                     "addr add %s/%d dev eth0" % (h.address, SUBNET_LEN),
                     "link set eth0 up"]
            if h.index in self._mroute:
                lines.append("route replace %s dev eth0" % MCAST_ROUTE)
            if self._static_neighbours:
                lines.insert(1, "link set eth0 address %s" % h.mac)
                lines += ["neigh replace %s lladdr %s dev eth0 nud permanent"
                          % (o.address, o.mac)
                          for o in self.hosts if o is not h]
            _ip_batch(h.netns, lines)

    def _host(self, host):
        return self.hosts[host] if isinstance(host, int) else host

    def host(self, i):
        return self.hosts[i]

    def add_multicast_route(self, host):
        """Give a host (object or index) its 224.0.0.0/4 route on eth0."""
        self._host(host).ip("route", "replace", MCAST_ROUTE, "dev", "eth0")

    def del_multicast_route(self, host):
        self._host(host).ip("route", "del", MCAST_ROUTE, check=False)

    def peer(self, host, **kw):
        """Start a PeerProcess on host (object or index); stopped at close."""
        return PeerProcess(self._host(host), **kw)

    def processes(self):
        return [p for n in self._nodes() for p in n.procs]

    def _nodes(self):
        return ([self.bridge] if self.bridge else []) + list(self.hosts)

    def close(self, grace=2.0):
        """Kill everything started in the bed and delete its namespaces.
        Idempotent and safe to re-enter from a signal handler."""
        if self.closed or not self.started:
            self.closed = True
            return
        t0 = time.monotonic()
        procs = self.processes()
        _signal_groups(procs, signal.SIGTERM)
        left = _wait_all(procs, grace)
        if left:
            _signal_groups(left, signal.SIGKILL)
            _wait_all(left, 1.0)
        _kill_netns_pids(self._netns)
        _delete_netns(self._netns)
        for pp in list(self.peers):
            pp._close_pipes()
        self.closed = True
        if self in _LIVE:
            _LIVE.remove(self)
        self.teardown_time = time.monotonic() - t0


# --- peer process ----------------------------------------------------------

class PeerError(TestBedError):
    """The peer failed; .info holds its error line ({"error", "errno",
    ...}) when it sent one, .errno its errno."""

    def __init__(self, msg, info=None):
        super().__init__(msg)
        self.info = info or {}

    @property
    def errno(self):
        return self.info.get("errno")


class PeerTimeout(AssertionError):
    """No matching datagram in time (an assertion failure in unittest)."""


@dataclass
class Datagram:
    src: str
    sport: int
    dst: str
    ttl: int
    data: bytes
    t: float
    raw: dict = field(default_factory=dict, repr=False)

    @classmethod
    def from_json(cls, d):
        return cls(d["from"], d["sport"], d.get("dst"), d.get("ttl"),
                   bytes.fromhex(d["data"]), d["t"], d)

    @property
    def length(self):
        p = parse_packet(self.data)
        return p[0] if p else None

    @property
    def command(self):
        p = parse_packet(self.data)
        return p[1] if p else None

    @property
    def payload(self):
        p = parse_packet(self.data)
        return p[2] if p else None


def _matcher(pred):
    """None: any; bytes: exact data; dict: attribute equality
    (e.g. {"src": a.address, "command": CMD_JOIN}); callable: as is."""
    if pred is None:
        return lambda d: True
    if isinstance(pred, (bytes, bytearray)):
        want = bytes(pred)
        return lambda d: d.data == want
    if isinstance(pred, dict):
        items = list(pred.items())
        return lambda d: all(getattr(d, k) == v for k, v in items)
    if callable(pred):
        return pred
    raise TypeError("predicate must be None, bytes, dict or callable")


class PeerProcess:
    """peer.py running in a host, driven over its stdin/stdout.

    Received datagrams are collected by a reader thread.  expect() and
    collect() consume datagrams; `received` keeps them all.
    """

    def __init__(self, host, bind_port=PORT, bind_addr=None, join=(),
                 ttl=None, loop=None, unicast_ttl=None, iface=None,
                 rcvbuf=None, reuseaddr=False, ready_timeout=10.0,
                 extra_args=()):
        self.host = host
        argv = [PYTHON, "-u", PEER_SCRIPT, "--bind-port", str(bind_port)]
        if bind_addr:
            argv += ["--bind-addr", bind_addr]
        for g in ([join] if isinstance(join, str) else join):
            argv += ["--join", g]
        if ttl is not None:
            argv += ["--ttl", str(ttl)]
        if loop is not None:
            argv += ["--loop", "1" if loop else "0"]
        if unicast_ttl is not None:
            argv += ["--unicast-ttl", str(unicast_ttl)]
        if iface:
            argv += ["--iface", iface]
        if rcvbuf is not None:
            argv += ["--rcvbuf", str(rcvbuf)]
        if reuseaddr:
            argv += ["--reuseaddr"]
        argv += list(extra_args)
        self._cond = threading.Condition()
        self._received = []     # every Datagram, in arrival order
        self._consumed = set()  # indices into _received
        self._replies = {}
        self._next_id = 0
        self._ready = None
        self._error = None
        self._eof = False
        self._stderr = []
        self._wlock = threading.Lock()
        # No pdeathsig needed: the peer exits when its stdin closes.
        self.proc = host.popen(argv, pdeathsig=False, stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)
        host.bed.peers.append(self)
        self._reader = threading.Thread(target=self._read_stdout,
                                        daemon=True)
        self._ereader = threading.Thread(target=self._read_stderr,
                                         daemon=True)
        self._reader.start()
        self._ereader.start()
        try:
            self._wait_ready(ready_timeout)
        except BaseException:
            self.stop()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        return False

    def __repr__(self):
        return "<PeerProcess on %s pid=%s>" % (self.host.name, self.proc.pid)

    # reader side
    def _read_stdout(self):
        f = self.proc.stdout
        try:
            for line in f:
                try:
                    d = json.loads(line)
                except ValueError:
                    continue
                with self._cond:
                    if "from" in d:
                        self._received.append(Datagram.from_json(d))
                    elif "reply" in d:
                        self._replies[d["reply"]] = d
                    elif d.get("ready"):
                        self._ready = d
                    elif "error" in d:
                        self._error = d
                    self._cond.notify_all()
        except (OSError, ValueError):
            pass
        finally:
            with self._cond:
                self._eof = True
                self._cond.notify_all()
            f.close()

    def _read_stderr(self):
        try:
            for line in self.proc.stderr:
                if len(self._stderr) < 1000:
                    self._stderr.append(line.decode(errors="replace"))
        except (OSError, ValueError):
            pass
        finally:
            self.proc.stderr.close()

    @property
    def stderr(self):
        return "".join(self._stderr)

    def _wait_ready(self, timeout):
        with self._cond:
            ok = self._cond.wait_for(
                lambda: self._ready or self._error or self._eof, timeout)
        if self._ready:
            return
        if self._error:
            raise PeerError("peer on %s failed: %s" % (self.host.name,
                                                       self._error),
                            self._error)
        if self._eof:
            self.proc.wait(timeout=2)
            raise PeerError("peer on %s exited (%s): %s" % (
                self.host.name, self.proc.returncode, self.stderr.strip()))
        if not ok:
            raise PeerError("peer on %s not ready after %.1fs" %
                            (self.host.name, timeout))

    @property
    def address(self):
        return self._ready["address"] if self._ready else None

    @property
    def port(self):
        return self._ready["port"] if self._ready else None

    @property
    def pid(self):
        return self.proc.pid

    @property
    def error(self):
        """The startup error dict ({"error", "errno", "stage"}) if any."""
        return self._error

    # commands
    def _command(self, cmd, timeout):
        with self._cond:
            self._next_id += 1
            rid = self._next_id
        cmd["id"] = rid
        line = (json.dumps(cmd) + "\n").encode()
        try:
            with self._wlock:
                self.proc.stdin.write(line)
                self.proc.stdin.flush()
        except (OSError, ValueError) as e:
            raise PeerError("peer on %s gone: %s %s" % (
                self.host.name, e, self.stderr.strip()))
        with self._cond:
            self._cond.wait_for(lambda: rid in self._replies or self._eof,
                                timeout)
            reply = self._replies.pop(rid, None)
        if reply is None:
            raise PeerError("peer on %s: no reply to %s" % (self.host.name,
                                                           cmd))
        return reply

    def _checked(self, reply, check, what):
        if check and not reply.get("ok"):
            raise PeerError("%s failed: %s (errno %s)" % (
                what, reply.get("error"), reply.get("errno")), reply)
        return reply

    def send(self, data, to, port=PORT, ttl=None, check=True, timeout=5.0):
        """Send one datagram; returns the reply dict ({"ok", "sent"} or
        {"ok": False, "error", "errno"}); raises PeerError on failure
        when check."""
        cmd = {"send": bytes(data).hex(), "to": to, "port": port}
        if ttl is not None:
            cmd["ttl"] = ttl
        return self._checked(self._command(cmd, timeout), check,
                             "send to %s:%s" % (to, port))

    def join(self, group=GROUP, check=True, timeout=5.0):
        return self._checked(self._command({"join": group}, timeout), check,
                             "join %s" % group)

    def leave(self, group=GROUP, check=True, timeout=5.0):
        return self._checked(self._command({"leave": group}, timeout),
                             check, "leave %s" % group)

    # receiving
    @property
    def received(self):
        """Every datagram received so far (consumed or not)."""
        with self._cond:
            return list(self._received)

    def pending(self):
        """Datagrams not yet consumed by expect()/collect()/drain()."""
        with self._cond:
            return [d for i, d in enumerate(self._received)
                    if i not in self._consumed]

    def _find(self, match, start):
        for i in range(start, len(self._received)):
            if i not in self._consumed and match(self._received[i]):
                return i
        return None

    def expect(self, predicate=None, timeout=2.0):
        """Wait for the first unconsumed datagram matching predicate,
        consume and return it; PeerTimeout (an AssertionError) if none
        comes within timeout."""
        match = _matcher(predicate)
        deadline = time.monotonic() + timeout
        with self._cond:
            scanned = 0
            while True:
                i = self._find(match, scanned)
                if i is not None:
                    self._consumed.add(i)
                    return self._received[i]
                scanned = len(self._received)
                rest = deadline - time.monotonic()
                if rest <= 0 or self._eof:
                    break
                self._cond.wait(rest)
        raise PeerTimeout("peer on %s: no datagram matching %r within %.2fs;"
                          " pending: %s" % (self.host.name, predicate,
                                            timeout, self._summary()))

    def expect_none(self, predicate=None, duration=0.5):
        """Fail if an unconsumed datagram matching predicate is pending or
        arrives within duration."""
        match = _matcher(predicate)
        deadline = time.monotonic() + duration
        with self._cond:
            while True:
                i = self._find(match, 0)
                if i is not None:
                    raise AssertionError(
                        "peer on %s: unexpected datagram %r" %
                        (self.host.name, self._received[i]))
                rest = deadline - time.monotonic()
                if rest <= 0 or self._eof:
                    return
                self._cond.wait(rest)

    def collect(self, duration, predicate=None):
        """Wait `duration` seconds, then return (and consume) every
        unconsumed datagram matching predicate, in arrival order, including
        those that were already pending (call drain() first to get only
        new ones)."""
        time.sleep(duration)   # plain wait: nothing to react to meanwhile
        return self.drain(predicate)

    def drain(self, predicate=None):
        """Consume and return pending datagrams (matching predicate)."""
        match = _matcher(predicate)
        with self._cond:
            out = []
            for i, d in enumerate(self._received):
                if i not in self._consumed and match(d):
                    self._consumed.add(i)
                    out.append(d)
            return out

    def _summary(self, limit=10):
        items = [d for i, d in enumerate(self._received)
                 if i not in self._consumed]
        s = ", ".join("%s:%s->%s ttl=%s %s" % (d.src, d.sport, d.dst, d.ttl,
                                               d.data.hex())
                      for d in items[:limit])
        return "[%s%s]" % (s, " ..." if len(items) > limit else "")

    # lifetime
    def stop(self, timeout=2.0):
        """Close stdin (the peer exits on EOF); kill it if it lingers."""
        try:
            if self.proc.stdin and not self.proc.stdin.closed:
                self.proc.stdin.close()
        except OSError:
            pass
        if _wait_all([self.proc], timeout):
            Node.terminate(self.proc, timeout=1.0)
        self._reader.join(timeout=2)
        self._ereader.join(timeout=2)
        self._close_pipes()
        return self.proc.returncode

    def _close_pipes(self):
        # stdout/stderr are closed by their reader threads at EOF.
        try:
            if self.proc.stdin and not self.proc.stdin.closed:
                self.proc.stdin.close()
        except OSError:
            pass


# --- command line: leftovers and timing ------------------------------------

def _bench(n_hosts, rounds):
    setup, teardown, total = [], [], []
    for _ in range(rounds):
        t0 = time.monotonic()
        with TestBed(n_hosts) as bed:
            pass
        total.append(time.monotonic() - t0)
        setup.append(bed.setup_time)
        teardown.append(bed.teardown_time)

    def ms(v):
        v = sorted(v)
        return "median %.1f ms, min %.1f, max %.1f" % (
            1000 * v[len(v) // 2], 1000 * v[0], 1000 * v[-1])
    print("%d hosts x %d rounds" % (n_hosts, rounds))
    print("  setup:    " + ms(setup))
    print("  teardown: " + ms(teardown))
    print("  total:    " + ms(total))


def main(argv=None):
    import argparse
    ap = argparse.ArgumentParser(description="namespace test bed tools")
    ap.add_argument("--sweep", metavar="PREFIX",
                    help="remove namespaces starting with PREFIX")
    ap.add_argument("--sweep-stale", action="store_true",
                    help="remove beds whose owning process is gone")
    ap.add_argument("--list", action="store_true",
                    help="list test bed namespaces")
    ap.add_argument("--bench", type=int, metavar="ROUNDS",
                    help="time setup/teardown of a bed")
    ap.add_argument("--hosts", type=int, default=3)
    a = ap.parse_args(argv)
    if a.sweep:
        print("\n".join(sweep(a.sweep)))
    if a.sweep_stale:
        print("\n".join(sweep_stale()))
    if a.list:
        print("\n".join(n for n in list_netns() if _AUTO_PREFIX_RE.match(n)))
    if a.bench:
        _bench(a.hosts, a.bench)
    return 0


if __name__ == "__main__":
    sys.exit(main())
