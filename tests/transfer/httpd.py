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
  huge     100 GB announced, bytes until the client leaves (60 s at most);
           "huge SENT MS" in sent.log once the client has left
  dribble/MS  the status line and headers one byte every MS ms (120 s at most)
  range/KEY/OPTS/N  N pattern bytes with a validator, honouring Range and
                       If-Range; OPTS ("-" for none), comma-separated:
      cut=A:B:..   request i of KEY ends its body at byte offset i-th value
      stall=A      the first request sends up to offset A, then nothing
      norange      Range is ignored (200, the whole body)
      badrange     a range answer starts one byte later than asked
      wrong        a range answer carries other bytes than the file's
      replace      from the second request on the file is another one
      ignoreifrange  a range is answered even for another file's validator
      always416    every range request is answered 416
      other        always another file than the validator names
      status=C     every request is answered with status C
      lm, weak, novalidator  Last-Modified only, a weak ETag, neither
and records each request's line and headers in DIR/headers.log.
"""
import contextlib
import http.server
import itertools
import os
import signal
import socketserver
import subprocess
import sys
import threading
import time

CYCLE = bytes((i * 7 + 3) & 0xFF for i in range(256))
BLOCK = 1 << 20
# The pattern file and its other version (XOR 0x5A), a block and a cycle long.
VERSIONS = {1: CYCLE * (BLOCK // 256 + 1), 2: bytes(b ^ 0x5A for b in CYCLE) * (BLOCK // 256 + 1)}


def pattern(n):
    return (CYCLE * (n // 256 + 1))[:n]


class FaultHandler(socketserver.StreamRequestHandler):
    cut_seen = set()
    counts = {}
    lock = threading.Lock()

    def handle(self):
        line = self.rfile.readline(65536).decode("latin-1").rstrip("\r\n")
        lines = itertools.takewhile(lambda h: h not in (b"\r\n", b"\n"), iter(lambda: self.rfile.readline(65536), b""))
        raw = [h.decode("latin-1").rstrip("\r\n") for h in lines]
        self.fields = {name.strip().lower(): value.strip() for name, _, value in (t.partition(":") for t in raw)}
        with self.lock:
            self.log("requests.log", line + "\n")
            self.log("headers.log", "\t".join([line] + raw) + "\n")
        seg = [p for p in (line.split(" ") + ["/"])[1].split("/") if p]
        try:
            self.answer(seg[0] if seg else "", int(seg[-1]) if seg and seg[-1].isdigit() else 0, seg)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def log(self, name, text):
        with open(os.path.join(self.server.root, name), "a") as f:
            f.write(text)

    def head(self, status, headers):
        text = "HTTP/1.1 %d Status\r\n" % status + "".join("%s: %s\r\n" % h for h in headers)
        self.wfile.write((text + "Connection: close\r\n\r\n").encode("latin-1"))

    def status(self, code):
        self.head(code, [("Content-Length", 11)])
        self.wfile.write(b"status page")

    def linger(self):
        """Waits for the client to leave, 20 s at most."""
        self.wfile.flush()
        self.request.settimeout(20)
        with contextlib.suppress(OSError):
            self.rfile.read(1)

    def paced(self, data, step, ms, limit=None):
        start = time.time()
        for i in range(0, len(data), step):
            if limit and time.time() - start > limit:
                break
            self.wfile.write(data[i:i + step])
            self.wfile.flush()
            time.sleep(ms / 1000.0)

    def answer(self, kind, n, seg):
        if kind in ("ok", "p206", "more", "fewer", "cutonce"):
            body = pattern(n + {"more": 100, "fewer": -100}.get(kind, 0))
            if kind == "cutonce":
                with self.lock:
                    if seg[1] not in self.cut_seen:
                        body = body[: n // 2]
                    self.cut_seen.add(seg[1])
            extra = [("Content-Range", "bytes 0-%d/%d" % (n - 1, n))] if kind == "p206" else []
            self.head(206 if kind == "p206" else 200, [("Content-Length", n)] + extra)
            self.wfile.write(body)
        elif kind == "status":
            self.status(n)
        elif kind == "chunked":
            self.head(200, [("Transfer-Encoding", "chunked")])
            data = pattern(n)
            for i in range(0, len(data), 1000):
                self.wfile.write(b"%x\r\n" % len(data[i:i + 1000]) + data[i:i + 1000] + b"\r\n")
            self.wfile.write(b"0\r\n\r\n")
        elif kind in ("close", "empty", "endless"):
            self.wfile.write(b"HTTP/1.0 200 OK\r\nConnection: close\r\n\r\n")
            for _ in range(4096 if kind == "endless" else 1):
                self.wfile.write(pattern(65536 if kind == "endless" else n))
        elif kind == "slow":  # N bytes in 10 pieces MS ms apart
            self.head(200, [("Content-Length", int(seg[1]))])
            self.paced(pattern(int(seg[1])), max(1, int(seg[1]) // 10), int(seg[2]))
        elif kind == "trickle":
            self.head(200, [("Content-Length", n)])
            self.paced(pattern(1) * n, 1, int(seg[2]))
        elif kind == "silent":
            self.head(200, [("Content-Length", 10)])
            self.linger()
        elif kind == "range" and len(seg) == 4:
            self.ranged(seg[1], [o for o in seg[2].split(",") if o not in ("", "-")], n)
        elif kind == "huge":
            self.head(200, [("Content-Length", 100 << 30)])
            chunk, sent, start = pattern(65536), 0, time.time()
            try:
                while time.time() - start < 60:
                    self.wfile.write(chunk)
                    sent += len(chunk)
            finally:
                with self.lock:
                    self.log("sent.log", "huge %d %d\n" % (sent, (time.time() - start) * 1000))
        elif kind == "dribble":
            text = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\nX-Pad: %s\r\n\r\n" % ("a" * 500)
            self.paced(text.encode("latin-1"), 1, n, 120)
            self.wfile.write(pattern(10))
        else:
            self.head(404, [("Content-Length", 0)])

    def ranged(self, key, opts, n):
        flags = {o.partition("=")[0]: o.partition("=")[2] for o in opts}
        with self.lock:
            count = self.counts[key] = self.counts.get(key, 0) + 1
        if flags.get("status", "").isdigit():
            return self.status(int(flags["status"]))
        version = 2 if "replace" in flags and count > 1 else 1
        etag = '"%s-v%d"' % (key, version)
        modified = "Mon, 07 Dec 2026 0%d:00:00 GMT" % version
        validators = ([("Last-Modified", modified)] if "lm" in flags else [("ETag", "W/" + etag)] if "weak" in flags
                      else [] if "novalidator" in flags else [("ETag", etag), ("Last-Modified", modified)])
        asked = self.fields.get("range", "")
        first = int(asked[6:-1]) if asked.startswith("bytes=") and asked.endswith("-") and asked[6:-1].isdigit() else None
        if_range = self.fields.get("if-range")
        honour = (first is not None and "norange" not in flags and
                  (if_range is None or if_range in (etag, modified) or "ignoreifrange" in flags))
        body_version = 3 - version if "other" in flags else version
        if (first is not None and "always416" in flags) or (honour and first >= n):
            return self.head(416, [("Content-Range", "bytes */%d" % n), ("Content-Length", 0)])
        if honour:
            first += "badrange" in flags
            body_version = 3 - body_version if "wrong" in flags else body_version
            self.head(206, validators + [("Content-Range", "bytes %d-%d/%d" % (first, n - 1, n)),
                                         ("Content-Length", n - first)])
        else:
            first = 0
            self.head(200, validators + [("Content-Length", n)])
        cuts = [int(c) for c in flags.get("cut", "").split(":") if c.isdigit()]
        stall = int(flags["stall"]) if flags.get("stall", "").isdigit() and count == 1 else None
        end = max(first, min(n, stall if stall is not None else cuts[count - 1] if count <= len(cuts) else n))
        for pos in range(first, end, BLOCK):
            self.wfile.write(VERSIONS[body_version][pos % 256: pos % 256 + min(BLOCK, end - pos)])
        if stall is not None:
            self.linger()


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
    for name in ("ports", "requests.log", "headers.log", "sent.log"):
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
        with contextlib.suppress(ProcessLookupError, ValueError):
            os.kill(int(open(pidfile).read()), signal.SIGTERM)
        os.remove(pidfile)


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop", "serve"):
        sys.exit(__doc__)
    {"start": start, "stop": stop, "serve": serve}[sys.argv[1]](os.path.abspath(sys.argv[2]))
