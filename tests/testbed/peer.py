#!/usr/bin/python3
"""Independent UDP wire peer for test-bed hosts.

Run inside a host namespace.  It binds one UDP socket, optionally joins
multicast groups, then:

* reads JSON commands, one per line, on stdin, e.g.
    {"send": "00000008ffffff9b", "to": "229.235.141.206", "port": 9090}
  optional keys: "id" (echoed in the reply), "ttl" (per-datagram TTL).
  Other commands: {"join": GROUP}, {"leave": GROUP}, {"quit": true}.
  Every command gets one reply line:
    {"reply": ID, "ok": true, ...}  or  {"reply": ID, "ok": false,
                                         "error": MSG, "errno": N}
  (a send's has "t": MONOTONIC, taken right before the datagram left)
* prints one JSON line per received datagram:
    {"from": ADDR, "sport": PORT, "dst": DST_ADDR, "ttl": TTL,
     "data": HEX, "t": MONOTONIC, "ifindex": N}
  ("trunc": true when the datagram was larger than the buffer,
   "drops": N once the kernel has dropped datagrams for a full buffer)
* prints {"ready": true, "address": ..., "port": ...} once bound and
  joined, so a test never sends before the peer can see it, or
  {"error": MSG, "errno": N, "stage": "bind"|"join"|...} and exits 2.

It exits when stdin reaches EOF, so it never outlives its controller.
It knows nothing about the agent's packet format: data is raw hex.
"""

import argparse
import json
import os
import selectors
import socket
import struct
import sys
import time

# Not every Python build exports these; values are the Linux ones.
IP_TTL = getattr(socket, "IP_TTL", 2)
IP_PKTINFO = getattr(socket, "IP_PKTINFO", 8)
IP_RECVTTL = getattr(socket, "IP_RECVTTL", 12)
SO_RXQ_OVFL = getattr(socket, "SO_RXQ_OVFL", 40)
SO_RCVBUFFORCE = getattr(socket, "SO_RCVBUFFORCE", 33)

_IN_PKTINFO = struct.Struct("=i4s4s")  # ifindex, spec_dst, addr
_CMSG_SPACE = (socket.CMSG_SPACE(_IN_PKTINFO.size) + socket.CMSG_SPACE(4)
               + socket.CMSG_SPACE(4))
MAX_DATAGRAM = 65536

# The kernel default receive buffer holds only ~256 small datagrams; a
# peer that is a measuring instrument should not be the one dropping.
DEFAULT_RCVBUF = 4 * 1024 * 1024


def _is_multicast(addr):
    return 224 <= int(addr.split(".")[0]) <= 239


class Peer:
    """One UDP socket with the options the tests need."""

    def __init__(self, bind_addr="0.0.0.0", bind_port=9090, joins=(),
                 ttl=None, loop=None, unicast_ttl=None, iface=None,
                 rcvbuf=DEFAULT_RCVBUF, reuseaddr=False):
        self.iface = iface or "0.0.0.0"
        self.groups = []
        self.drops = 0
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s = self.sock
        try:
            self.stage = "socket"
            if reuseaddr:
                s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            if rcvbuf:
                try:
                    s.setsockopt(socket.SOL_SOCKET, SO_RCVBUFFORCE, rcvbuf)
                except OSError:  # not privileged: capped by rmem_max
                    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
            s.setsockopt(socket.IPPROTO_IP, IP_PKTINFO, 1)
            s.setsockopt(socket.IPPROTO_IP, IP_RECVTTL, 1)
            s.setsockopt(socket.SOL_SOCKET, SO_RXQ_OVFL, 1)
            if ttl is not None:
                s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, ttl)
            if unicast_ttl is not None:
                s.setsockopt(socket.IPPROTO_IP, IP_TTL, unicast_ttl)
            if loop is not None:
                s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_LOOP,
                             1 if loop else 0)
            if iface:
                s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF,
                             socket.inet_aton(iface))
            self.stage = "bind"
            s.bind((bind_addr, bind_port))
            self.stage = "join"
            for g in joins:
                self.join(g)
            self.stage = "run"
        except BaseException as e:
            s.close()
            if isinstance(e, OSError):
                e.peer_stage = self.stage
            raise

    @property
    def address(self):
        return self.sock.getsockname()

    def _mreq(self, group):
        return socket.inet_aton(group) + socket.inet_aton(self.iface)

    def join(self, group):
        self.sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                             self._mreq(group))
        self.groups.append(group)

    def leave(self, group):
        self.sock.setsockopt(socket.IPPROTO_IP, socket.IP_DROP_MEMBERSHIP,
                             self._mreq(group))
        if group in self.groups:
            self.groups.remove(group)

    def send(self, data, to, port=9090, ttl=None):
        if ttl is None:
            return self.sock.sendto(data, (to, port))
        # A per-datagram TTL overrides both the unicast and multicast TTL.
        anc = [(socket.IPPROTO_IP, IP_TTL, struct.pack("=i", ttl))]
        return self.sock.sendmsg([data], anc, 0, (to, port))

    def recv(self, flags=0):
        """One datagram as a dict, or None if none is queued (non-blocking)."""
        try:
            data, anc, mflags, src = self.sock.recvmsg(
                MAX_DATAGRAM, _CMSG_SPACE, flags)
        except BlockingIOError:
            return None
        t = time.monotonic()
        rec = {"from": src[0], "sport": src[1], "dst": None, "ttl": None,
               "data": data.hex(), "t": t}
        for level, ctype, cdata in anc:
            if level == socket.IPPROTO_IP and ctype == IP_PKTINFO:
                ifindex, _spec, addr = _IN_PKTINFO.unpack_from(cdata)
                rec["dst"] = socket.inet_ntoa(addr)
                rec["ifindex"] = ifindex
            elif level == socket.IPPROTO_IP and ctype == IP_TTL:
                rec["ttl"] = struct.unpack_from("=i", cdata)[0]
            elif level == socket.SOL_SOCKET and ctype == SO_RXQ_OVFL:
                self.drops = struct.unpack_from("=I", cdata)[0]
        if mflags & socket.MSG_TRUNC:
            rec["trunc"] = True
        if self.drops:
            rec["drops"] = self.drops
        return rec

    def close(self):
        self.sock.close()


def _err(exc, **extra):
    d = {"error": str(exc), "errno": getattr(exc, "errno", None)}
    d.update(extra)
    return d


class _Out:
    def __init__(self, stream):
        self.stream = stream

    def write(self, obj, flush=True):
        self.stream.write(json.dumps(obj, separators=(",", ":")) + "\n")
        if flush:
            self.stream.flush()

    def flush(self):
        self.stream.flush()


def handle_command(peer, cmd):
    """Run one stdin command; return (reply dict, keep_running)."""
    rid = cmd.get("id")
    try:
        if "send" in cmd:
            t = time.monotonic()
            n = peer.send(bytes.fromhex(cmd["send"]), cmd["to"],
                          int(cmd.get("port", 9090)), cmd.get("ttl"))
            return {"reply": rid, "ok": True, "sent": n, "t": t}, True
        if "join" in cmd:
            peer.join(cmd["join"])
            return {"reply": rid, "ok": True}, True
        if "leave" in cmd:
            peer.leave(cmd["leave"])
            return {"reply": rid, "ok": True}, True
        if "quit" in cmd:
            return {"reply": rid, "ok": True}, False
        return {"reply": rid, "ok": False, "error": "unknown command",
                "errno": None}, True
    except OSError as e:
        return dict(_err(e), reply=rid, ok=False), True
    except (KeyError, ValueError, TypeError) as e:
        return {"reply": rid, "ok": False, "error": repr(e),
                "errno": None}, True


def serve(peer, in_fd=0, out=None):
    """Event loop: stdin commands and socket datagrams, one thread."""
    out = out or _Out(sys.stdout)
    peer.sock.setblocking(False)
    sel = selectors.DefaultSelector()
    sel.register(in_fd, selectors.EVENT_READ, "in")
    sel.register(peer.sock, selectors.EVENT_READ, "sock")
    pending = b""
    try:
        while True:
            for key, _ in sel.select():
                if key.data == "sock":
                    # Drain everything queued, then flush once.
                    while True:
                        rec = peer.recv(socket.MSG_DONTWAIT)
                        if rec is None:
                            break
                        out.write(rec, flush=False)
                    out.flush()
                    continue
                chunk = os.read(in_fd, 65536)
                if not chunk:
                    return 0
                pending += chunk
                while b"\n" in pending:
                    line, pending = pending.split(b"\n", 1)
                    if not line.strip():
                        continue
                    try:
                        cmd = json.loads(line)
                    except ValueError as e:
                        out.write({"reply": None, "ok": False,
                                   "error": "bad json: %s" % e,
                                   "errno": None})
                        continue
                    reply, keep = handle_command(peer, cmd)
                    out.write(reply)
                    if not keep:
                        return 0
    except BrokenPipeError:
        return 0
    finally:
        sel.close()


def parse_args(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--bind-port", type=int, default=9090)
    ap.add_argument("--bind-addr", default="0.0.0.0",
                    help="local address to bind (default any)")
    ap.add_argument("--join", action="append", default=[], metavar="GROUP",
                    help="multicast group to join (repeatable)")
    ap.add_argument("--ttl", type=int, default=None,
                    help="multicast TTL for group sends")
    ap.add_argument("--unicast-ttl", type=int, default=None)
    ap.add_argument("--loop", type=int, choices=(0, 1), default=None,
                    help="IP_MULTICAST_LOOP (default: kernel default, 1)")
    ap.add_argument("--iface", default=None, metavar="ADDR",
                    help="interface address for joins and group sends; "
                         "without it the kernel picks by route")
    ap.add_argument("--rcvbuf", type=int, default=DEFAULT_RCVBUF,
                    help="receive buffer bytes (0 = kernel default)")
    ap.add_argument("--reuseaddr", action="store_true")
    return ap.parse_args(argv)


def main(argv=None):
    a = parse_args(argv)
    out = _Out(sys.stdout)
    try:
        peer = Peer(a.bind_addr, a.bind_port, a.join, ttl=a.ttl,
                    loop=a.loop, unicast_ttl=a.unicast_ttl, iface=a.iface,
                    rcvbuf=a.rcvbuf, reuseaddr=a.reuseaddr)
    except OSError as e:
        out.write(_err(e, stage=getattr(e, "peer_stage", "setup")))
        return 2
    addr, port = peer.address
    out.write({"ready": True, "address": addr, "port": port,
               "groups": list(peer.groups), "pid": os.getpid()})
    try:
        return serve(peer, 0, out)
    finally:
        peer.close()


if __name__ == "__main__":
    sys.exit(main())
