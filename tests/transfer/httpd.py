#!/usr/bin/env python3
"""Two HTTP servers on 127.0.0.1 for the transfer and engine tests.

  httpd.py start DIR   serve DIR/www (a real http.server) and the scripted
                       fault server; writes DIR/ports ("static fault")
  httpd.py stop DIR    stop them

The fault server answers by the first and last path segment (the client
lower-cases URLs) and records every request line in DIR/requests.log:
  ok/N  200 with N pattern bytes    status/C  status C    p206/N  206, N bytes
  cutonce/K/N  half the body, then close, on the first request for K
  more/N fewer/N  N announced, 100 bytes more / fewer sent
  chunked/N  a chunked body         close/N  no length, ends with the connection
  empty  no length, no body         slow/N/MS  N bytes in 10 pieces MS ms apart
  trickle/N/MS  N announced, one byte every MS ms
  silent  10 announced, nothing sent (until the client leaves, 20 s at most)
  endless  no length, bytes until the client leaves (256 MiB at most)
"""
import http.server
import os
import signal
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
        while self.rfile.readline(65536) not in (b"\r\n", b"\n", b""):
            pass
        with self.lock, open(os.path.join(self.server.root, "requests.log"), "a") as log:
            log.write(line + "\n")
        seg = [p for p in (line.split(" ") + ["/"])[1].split("/") if p]
        try:
            self.answer(seg[0] if seg else "", int(seg[-1]) if seg and seg[-1].isdigit() else 0, seg)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def head(self, status, headers):
        text = "HTTP/1.1 %d Status\r\n" % status + "".join("%s: %s\r\n" % h for h in headers)
        self.wfile.write((text + "Connection: close\r\n\r\n").encode("latin-1"))

    def answer(self, kind, n, seg):
        if kind in ("ok", "p206", "more", "fewer", "cutonce"):
            body = pattern(n)
            if kind == "more" or kind == "fewer":
                body = pattern(n + (100 if kind == "more" else -100))
            if kind == "cutonce":
                with self.lock:
                    if seg[1] not in self.cut_seen:
                        body = body[: n // 2]
                    self.cut_seen.add(seg[1])
            extra = [("Content-Range", "bytes 0-%d/%d" % (n - 1, n))] if kind == "p206" else []
            self.head(206 if kind == "p206" else 200, [("Content-Length", n)] + extra)
            self.wfile.write(body)
        elif kind == "status":
            self.head(n, [("Content-Length", 11)])
            self.wfile.write(b"status page")
        elif kind == "chunked":
            self.head(200, [("Transfer-Encoding", "chunked")])
            data = pattern(n)
            for i in range(0, len(data), 1000):
                self.wfile.write(b"%x\r\n" % len(data[i:i + 1000]) + data[i:i + 1000] + b"\r\n")
            self.wfile.write(b"0\r\n\r\n")
        elif kind in ("close", "empty"):
            self.wfile.write(b"HTTP/1.0 200 OK\r\nConnection: close\r\n\r\n" + pattern(n))
        elif kind == "slow":
            n, step = int(seg[1]), max(1, int(seg[1]) // 10)
            self.head(200, [("Content-Length", n)])
            for i in range(0, n, step):
                self.wfile.write(pattern(n)[i:i + step])
                self.wfile.flush()
                time.sleep(int(seg[2]) / 1000.0)
        elif kind == "trickle":
            self.head(200, [("Content-Length", n)])
            for i in range(n):
                self.wfile.write(pattern(1))
                self.wfile.flush()
                time.sleep(int(seg[2]) / 1000.0)
        elif kind == "silent":
            self.head(200, [("Content-Length", 10)])
            self.wfile.flush()
            self.request.settimeout(20)
            try:
                self.rfile.read(1)
            except OSError:
                pass
        elif kind == "endless":
            self.wfile.write(b"HTTP/1.0 200 OK\r\nConnection: close\r\n\r\n")
            chunk = pattern(65536)
            for _ in range(4096):
                self.wfile.write(chunk)
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
    static = http.server.ThreadingHTTPServer(("127.0.0.1", 0), lambda *a, **k: QuietStatic(*a, directory=www, **k))
    fault = FaultServer(("127.0.0.1", 0), FaultHandler)
    fault.root = root
    for s in (static, fault):
        threading.Thread(target=s.serve_forever, daemon=True).start()
    with open(os.path.join(root, "ports.tmp"), "w") as f:
        f.write("%d %d\n" % (static.server_address[1], fault.server_address[1]))
    os.replace(os.path.join(root, "ports.tmp"), os.path.join(root, "ports"))
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
    if os.path.exists(pidfile):
        try:
            os.kill(int(open(pidfile).read()), signal.SIGTERM)
        except (ProcessLookupError, ValueError):
            pass
        os.remove(pidfile)


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop", "serve"):
        sys.exit(__doc__)
    {"start": start, "stop": stop, "serve": serve}[sys.argv[1]](os.path.abspath(sys.argv[2]))
