#!/bin/sh
# Runs a command in a network namespace of its own, which disappears with the command: only
# loopback, up, with multicast routed over it. Nothing the command sends can leave the machine.
# Without `src`, a looped-back multicast datagram would carry the source 0.0.0.0.
exec unshare --net sh -c 'ip link set lo up && ip route add 224.0.0.0/4 dev lo src 127.0.0.1 && exec "$@"' in_private_netns "$@"
