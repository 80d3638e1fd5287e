#!/usr/bin/env python3
"""Two HTTP servers on 127.0.0.1 for the transfer tests.

  httpd.py start DIR   serve DIR/www (a real http.server) and the scripted
                       fault server; writes DIR/ports ("static fault")
  httpd.py stop DIR    stop them

The fault server answers by path (the client lower-cases URLs) and records
every request line in DIR/requests.log:
  /ok/N            200, N pattern bytes
  /status/C        status C
  /p206/N          206 with N pattern bytes
  /cutonce/K/N     first request for K: half the body, then close; then whole
  /more/N /fewer/N announces N, sends 100 bytes more / fewer
  /chunked/N       chunked body of N bytes
  /cutchunked/N    chunked body cut off half way
  /close/N         no length header, body ends with the connection
  /empty           no length header, no body
  /slow/N/MS       N bytes in 10 pieces, MS milliseconds apart
"""
import http.server
import os
import signal
import socket
import socketserver
import subprocess
import sys
import threading
import time


CYCLE = bytes((i * 7 + 3) & 0xFF for i in range(256))


def pattern(n):
    return (CYCLE * (n // 256 + 1))[:n]


class FaultHandler(socketserver.StreamRequestHandler):
    cut_seen = set()
    lock = threading.Lock()

    def handle(self):
        line = self.rfile.readline(65536).decode("latin-1").rstrip("\r\n")
        while True:
            h = self.rfile.readline(65536)
            if h in (b"\r\n", b"\n", b""):
                break
        with self.lock, open(os.path.join(self.server.root, "requests.log"), "a") as log:
            log.write(line + "\n")
        parts = line.split(" ")
        path = parts[1] if len(parts) > 1 else "/"
        seg = [p for p in path.split("/") if p]
        try:
            self.answer(seg)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def head(self, status, headers):
        reason = {200: "OK", 206: "Partial Content", 404: "Not Found"}.get(status, "Status")
        text = "HTTP/1.1 %d %s\r\n" % (status, reason)
        for k, v in headers:
            text += "%s: %s\r\n" % (k, v)
        text += "Connection: close\r\n\r\n"
        self.wfile.write(text.encode("latin-1"))

    def answer(self, seg):
        kind = seg[0] if seg else ""
        n = int(seg[-1]) if seg and seg[-1].isdigit() else 0
        if kind == "ok":
            self.head(200, [("Content-Length", n)])
            self.wfile.write(pattern(n))
        elif kind == "status":
            body = b"status page"
            self.head(n, [("Content-Length", len(body))])
            self.wfile.write(body)
        elif kind == "p206":
            self.head(206, [("Content-Length", n), ("Content-Range", "bytes 0-%d/%d" % (n - 1, n))])
            self.wfile.write(pattern(n))
        elif kind == "cutonce":
            key = seg[1]
            with self.lock:
                first = key not in self.cut_seen
                self.cut_seen.add(key)
            self.head(200, [("Content-Length", n)])
            self.wfile.write(pattern(n)[: n // 2] if first else pattern(n))
        elif kind == "more":
            self.head(200, [("Content-Length", n)])
            self.wfile.write(pattern(n + 100))
        elif kind == "fewer":
            self.head(200, [("Content-Length", n)])
            self.wfile.write(pattern(n - 100))
        elif kind in ("chunked", "cutchunked"):
            self.head(200, [("Transfer-Encoding", "chunked")])
            data = pattern(n)
            if kind == "cutchunked":
                self.wfile.write(b"%x\r\n" % len(data) + data[: len(data) // 2])
                return
            for i in range(0, len(data), 1000):
                piece = data[i:i + 1000]
                self.wfile.write(b"%x\r\n" % len(piece) + piece + b"\r\n")
            self.wfile.write(b"0\r\n\r\n")
        elif kind == "close":
            self.wfile.write(b"HTTP/1.0 200 OK\r\nConnection: close\r\n\r\n" + pattern(n))
        elif kind == "empty":
            self.wfile.write(b"HTTP/1.0 200 OK\r\nConnection: close\r\n\r\n")
        elif kind == "slow":
            n = int(seg[1])
            delay = int(seg[2]) / 1000.0
            data = pattern(n)
            self.head(200, [("Content-Length", n)])
            step = max(1, n // 10)
            for i in range(0, n, step):
                self.wfile.write(data[i:i + step])
                self.wfile.flush()
                time.sleep(delay)
        else:
            self.head(404, [("Content-Length", 0)])


class FaultServer(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


class QuietStatic(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def serve(root):
    www = os.path.join(root, "www")
    os.makedirs(www, exist_ok=True)
    static = http.server.ThreadingHTTPServer(
        ("127.0.0.1", 0), lambda *a, **k: QuietStatic(*a, directory=www, **k))
    fault = FaultServer(("127.0.0.1", 0), FaultHandler)
    fault.root = root
    for s in (static, fault):
        threading.Thread(target=s.serve_forever, daemon=True).start()
    tmp = os.path.join(root, "ports.tmp")
    with open(tmp, "w") as f:
        f.write("%d %d\n" % (static.server_address[1], fault.server_address[1]))
    os.replace(tmp, os.path.join(root, "ports"))
    signal.sigwait({signal.SIGTERM, signal.SIGINT})


def start(root):
    os.makedirs(root, exist_ok=True)
    stop(root)
    for name in ("ports", "requests.log"):
        if os.path.exists(os.path.join(root, name)):
            os.remove(os.path.join(root, name))
    signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGTERM, signal.SIGINT})
    proc = subprocess.Popen([sys.executable, __file__, "serve", root], start_new_session=True,
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(os.path.join(root, "pid"), "w") as f:
        f.write(str(proc.pid))
    deadline = time.time() + 20
    while not os.path.exists(os.path.join(root, "ports")):
        if proc.poll() is not None or time.time() > deadline:
            sys.exit("httpd.py: servers did not start")
        time.sleep(0.05)


def stop(root):
    pidfile = os.path.join(root, "pid")
    if not os.path.exists(pidfile):
        return
    try:
        os.kill(int(open(pidfile).read()), signal.SIGTERM)
    except (ProcessLookupError, ValueError):
        pass
    os.remove(pidfile)


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop", "serve"):
        sys.exit(__doc__)
    {"start": start, "stop": stop, "serve": serve}[sys.argv[1]](os.path.abspath(sys.argv[2]))
