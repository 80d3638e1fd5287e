#!/usr/bin/env python3
"""Scripted link server for the network tests.

Listens on 127.0.0.1 on a free port and prints the port on the first line of
stdout. Both directions of every connection are scrambled the way the client
does it (key byte 0x6D, every byte fed back into the key). The first message
a client sends names the scenario by its identifier; see SCENARIOS below.
The peer ends when its stdin closes, so it never outlives the test runner.
"""
import os
import socket
import socketserver
import struct
import sys
import threading
import time

KEY0 = 0x6D
MAX_LENGTH = 0x100000
TIMEOUT = 20.0

# Identifiers the tests and the peer agree on.
SC_CHECK, SC_SPLIT, SC_LEN0, SC_LENBIG, SC_CLOSE, SC_FLOOD_COUNT, SC_FLOOD_BYTES = range(1, 8)
ID_VERDICT = 0x0C0C
ID_GO_ON = 0x0060
ID_DONE = 0x00D0


class Scrambler:
    """Sending side: c = p ^ k, then k = p; vectorised over whole buffers."""

    def __init__(self):
        self.last = KEY0

    def __call__(self, plain):
        if not plain:
            return b""
        keys = bytes([self.last]) + plain[:-1]
        self.last = plain[-1]
        n = len(plain)
        return (int.from_bytes(plain, "little") ^ int.from_bytes(keys, "little")).to_bytes(n, "little")


class Unscrambler:
    """Receiving side: p = c ^ k, then k = p."""

    def __init__(self):
        self.key = KEY0

    def __call__(self, data):
        out = bytearray(len(data))
        k = self.key
        for i, c in enumerate(data):
            p = c ^ k
            out[i] = p
            k = p
        self.key = k
        return bytes(out)


def message(msg_id, body=b"", send_class=0, length=None):
    if length is None:
        length = 7 + len(body)
    return struct.pack("<IHB", length, msg_id, send_class) + body


class Link(socketserver.BaseRequestHandler):
    def setup(self):
        self.request.settimeout(TIMEOUT)
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.enc = Scrambler()
        self.dec = Unscrambler()
        self.buffer = b""

    def send(self, plain, pause=0.0):
        self.request.sendall(self.enc(plain))
        if pause:
            time.sleep(pause)

    def read_message(self):
        """One whole message from the client as (length, id, class, body)."""
        while True:
            if len(self.buffer) >= 7:
                length, msg_id, send_class = struct.unpack("<IHB", self.buffer[:7])
                if length < 7 or length > MAX_LENGTH:
                    raise ValueError("bad length %d" % length)
                if len(self.buffer) >= length:
                    body = self.buffer[7:length]
                    self.buffer = self.buffer[length:]
                    return length, msg_id, send_class, body
            chunk = self.request.recv(65536)
            if not chunk:
                raise EOFError("client closed")
            self.buffer += self.dec(chunk)

    def handle(self):
        try:
            _, scenario, _, body = self.read_message()
            SCENARIOS[scenario](self, body)
        except (OSError, EOFError, ValueError, KeyError):
            pass

    # The client sends N messages: identifier 0x100 + i, class i % 3, body
    # of i * stride bytes of value i & 0xFF. The peer answers with a verdict.
    def check(self, body):
        count, stride = struct.unpack("<II", body[:8])
        problems = []
        for i in range(count):
            length, msg_id, send_class, got = self.read_message()
            want = bytes([i & 0xFF]) * (i * stride)
            if msg_id != 0x100 + i or send_class != i % 3 or got != want or length != 7 + len(want):
                problems.append("message %d: id %#x class %d length %d" % (i, msg_id, send_class, length))
        text = "ok" if not problems else "; ".join(problems[:3])
        self.send(message(ID_VERDICT, text.encode()))
        self.read_message()  # hold the line until the client goes

    # Awkward segmentation: a header cut in two, three messages in one
    # segment, a header-only message, a long message in pieces.
    def split(self, body):
        first = message(0x21, b"split header")
        self.send(first[:3], 0.03)
        self.send(first[3:], 0.03)
        self.send(message(0x22, b"a") + message(0x23, b"bb") + message(0x24, b"ccc"), 0.03)
        self.send(message(0x25), 0.03)
        long_body = bytes(i & 0xFF for i in range(20000))
        long_msg = message(0x26, long_body)
        for start in range(0, len(long_msg), 5000):
            self.send(long_msg[start:start + 5000], 0.01)
        self.send(message(ID_DONE))
        self.read_message()

    # A broken header with three bytes behind it; after the client's go-on
    # message, five more bytes.
    def bad_length(self, length):
        self.send(struct.pack("<IHB", length, 0x1234, 0) + b"xyz")
        self.read_message()
        self.send(b"12345")
        self.read_message()

    def len0(self, body):
        self.bad_length(0)

    def lenbig(self, body):
        self.bad_length(MAX_LENGTH + 1)

    def close(self, body):
        self.send(message(0x77, b"bye"))
        self.request.shutdown(socket.SHUT_RDWR)

    def flood_count(self, body):
        (count,) = struct.unpack("<I", body[:4])
        batch = message(0x31) * 1000
        for _ in range(count // 1000):
            self.send(batch)
        self.read_message()

    def flood_bytes(self, body):
        (count,) = struct.unpack("<I", body[:4])
        big = message(0x32, bytes(MAX_LENGTH - 7))
        for _ in range(count):
            self.send(big)
        self.read_message()


SCENARIOS = {
    SC_CHECK: Link.check,
    SC_SPLIT: Link.split,
    SC_LEN0: Link.len0,
    SC_LENBIG: Link.lenbig,
    SC_CLOSE: Link.close,
    SC_FLOOD_COUNT: Link.flood_count,
    SC_FLOOD_BYTES: Link.flood_bytes,
}


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = False


def main():
    server = Server(("127.0.0.1", 0), Link)
    print(server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    # Ends with the runner that started it.
    sys.stdin.read()
    os._exit(0)


if __name__ == "__main__":
    main()
