#!/usr/bin/env python3
"""Scripted link server for the network tests.

Listens on 127.0.0.1 on a free port and prints the port on the first line of
stdout. Both directions are scrambled the way the client does it (key byte
0x6D, every plain byte fed back into the key). The first message a client
sends names the scenario by its identifier. The peer ends when its stdin
closes, so it never outlives the test runner.
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
SC_CHECK, SC_SPLIT, SC_FLOOD = 1, 2, 3
ID_VERDICT, ID_DONE = 0x0C0C, 0x00D0


def message(msg_id, body=b""):
    return struct.pack("<IHB", 7 + len(body), msg_id, 0) + body


class Link(socketserver.BaseRequestHandler):
    def setup(self):
        self.request.settimeout(20.0)
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.send_key = self.recv_key = KEY0
        self.buffer = b""

    def send(self, plain, pause=0.0):
        # c = p ^ k, then k = p; vectorised over the whole buffer.
        keys = bytes([self.send_key]) + plain[:-1]
        self.send_key = plain[-1]
        n = len(plain)
        self.request.sendall((int.from_bytes(plain, "little") ^ int.from_bytes(keys, "little")).to_bytes(n, "little"))
        time.sleep(pause)

    def read_message(self):
        """One whole message from the client as (length, id, class, body)."""
        while True:
            if len(self.buffer) >= 7:
                length, msg_id, send_class = struct.unpack("<IHB", self.buffer[:7])
                if length < 7 or length > MAX_LENGTH:
                    raise ValueError("bad length %d" % length)
                if len(self.buffer) >= length:
                    body, self.buffer = self.buffer[7:length], self.buffer[length:]
                    return length, msg_id, send_class, body
            chunk = self.request.recv(65536)
            if not chunk:
                raise EOFError("client closed")
            plain = bytearray(len(chunk))
            for i, c in enumerate(chunk):
                plain[i] = self.recv_key = c ^ self.recv_key
            self.buffer += bytes(plain)

    def handle(self):
        try:
            _, scenario, _, body = self.read_message()
            {SC_CHECK: self.check, SC_SPLIT: self.split, SC_FLOOD: self.flood}[scenario](body)
            self.read_message()  # hold the line until the client goes
        except (OSError, EOFError, ValueError, KeyError):
            pass

    # The client sends N messages: identifier 0x100 + i, class i % 3, body
    # of i * stride bytes of value i & 0xFF. The peer answers with a verdict.
    def check(self, body):
        count, stride = struct.unpack("<II", body[:8])
        problems = []
        for i in range(count):
            length, msg_id, send_class, got = self.read_message()
            if msg_id != 0x100 + i or send_class != i % 3 or got != bytes([i & 0xFF]) * (i * stride):
                problems.append("message %d: id %#x class %d length %d" % (i, msg_id, send_class, length))
        self.send(message(ID_VERDICT, ("; ".join(problems[:3]) or "ok").encode()))

    # Awkward segmentation: a header cut in two, three messages in one
    # segment, a header-only message, a long message in pieces.
    def split(self, body):
        first = message(0x21, b"split header")
        self.send(first[:3], 0.03)
        self.send(first[3:], 0.03)
        self.send(message(0x22, b"a") + message(0x23, b"bb") + message(0x24, b"ccc"), 0.03)
        self.send(message(0x25), 0.03)
        long_msg = message(0x26, bytes(i & 0xFF for i in range(20000)))
        for start in range(0, len(long_msg), 5000):
            self.send(long_msg[start:start + 5000], 0.01)
        self.send(message(ID_DONE))

    def flood(self, body):
        big = message(0x32, bytes(MAX_LENGTH - 7))
        for _ in range(struct.unpack("<I", body[:4])[0]):
            self.send(big)


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True


def main():
    server = Server(("127.0.0.1", 0), Link)
    print(server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.read()  # ends with the runner that started it
    os._exit(0)


if __name__ == "__main__":
    main()
