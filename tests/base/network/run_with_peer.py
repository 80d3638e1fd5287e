#!/usr/bin/env python3
"""Runs a test command with the scripted link peer alive beside it.

Starts link_peer.py, passes its port to the command in LINK_PEER_PORT, and
stops the peer when the command ends (the peer also ends by itself when this
runner dies, because its stdin closes).
"""
import os
import select
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    peer = subprocess.Popen([sys.executable, os.path.join(HERE, "link_peer.py")],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    try:
        ready, _, _ = select.select([peer.stdout], [], [], 10)
        line = peer.stdout.readline().strip() if ready else b""
        if not line.isdigit():
            print("link peer did not start", file=sys.stderr)
            return 2
        env = dict(os.environ, LINK_PEER_PORT=line.decode())
        return subprocess.call(sys.argv[1:], env=env)
    finally:
        peer.stdin.close()
        try:
            peer.wait(5)
        except subprocess.TimeoutExpired:
            peer.kill()
            peer.wait()


if __name__ == "__main__":
    sys.exit(main())
