#!/usr/bin/env python3
"""Loopback HTTP server that stands in for the publisher's servers in tests.

It listens on 127.0.0.1 only, on one or more ports (manifest, download and statistics server may
share one process), and answers from a scenario folder:

    <root>/keldra/upgrade.xml       served at /keldra/upgrade.xml, byte for byte
    <root>/_rules.json              optional: per-path answers other than "serve the file"

The query of a request is ignored when the file is looked up. The root and its rules file are
read again for every request, so a test can change the scenario between two requests by writing
files. Every request is appended to the request log as one JSON line before it is answered:

    {"port": 20000, "method": "GET", "path": "/keldra/tallix.xml?a=123", "headers": {...}}

_rules.json maps a path (without query) to an answer:

    {"/keldra/upgrade.xml": {"answer": "html404"}}
    {"/keldra/tallix.xml": {"answer": "empty"}}
    {"/keldra/history.xml": {"answer": "oversize", "size": 1200000, "fill": " "}}
    {"/pkg/a.exe": {"answer": "redirect", "status": 302, "location": "http://127.0.0.1:1/b"}}
    {"/pkg/b.exe": {"answer": "status", "status": 500, "body": "oops"}}
    {"/pkg/c.exe": {"answer": "close"}}
    {"/pkg/d.exe": {"answer": "file", "file": "other/d.exe", "delay": 1.5}}
    {"/pkg/e.exe": {"answer": "cut", "bytes": 100}}       (announces the file, sends 100 bytes)
    {"/pkg/f.exe": {"answer": "nolength"}}                (no Content-Length; the end closes)
    {"/pkg/g.exe": {"answer": "stall", "bytes": 100, "seconds": 30}}
    {"*": {"answer": "close"}}          (every path without a rule of its own)

"file" (the default) serves the file (or the rule's "file" instead) with Range support; a missing
file is a 404 with an HTML page, like "html404". "oversize" is the file (if any) followed by the
fill text up to "size" bytes. "close" drops the connection without an answer. "cut" announces
the file's whole length but sends only its first "bytes" bytes (half by default) and closes;
"nolength" sends the file without Content-Length and closes after it; "stall" announces the file,
sends its first "bytes" bytes and then waits "seconds" before closing. Any rule may add
"delay" (seconds before answering) and "content_type".

Commands:
    serve --root DIR --port P [--port P ...] --log FILE [--ready-file FILE]
    start --state-dir DIR --root DIR --port P [--port P ...]   (background; waits until ready)
Both take --address A (default 127.0.0.1) to listen on another loopback address, such as
127.0.0.2 for a second host.
    stop --state-dir DIR
"start" keeps its process id in <state-dir>/server.pid, the request log in
<state-dir>/requests.jsonl and the server's own output in <state-dir>/server.out; "stop" ends
that process (and only that one).
"""
import argparse
import http.server
import json
import os
import re
import signal
import socketserver
import subprocess
import sys
import threading
import time
import urllib.parse

HOST = "127.0.0.1"  # the default address
RULES_FILE = "_rules.json"
DEFAULT_OVERSIZE = 0x100000 + 0x10000
NOT_FOUND_PAGE = (b"<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>\n"
                  b"<body><h1>Not Found</h1><p>The requested URL was not found.</p></body></html>\n")
CONTENT_TYPES = {".xml": "text/xml", ".html": "text/html", ".htm": "text/html",
                 ".txt": "text/plain", ".exe": "application/octet-stream"}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "LoopbackServer/1"

    def log_message(self, fmt, *args):  # the request log replaces the default stderr lines
        pass

    def do_GET(self):
        self.answer(with_body=True)

    def do_HEAD(self):
        self.answer(with_body=False)

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        if length:
            self.rfile.read(length)
        self.answer(with_body=True)

    # -- request handling ---------------------------------------------------------------------

    def answer(self, with_body):
        self.server.record(self)
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        rule = self.server.rule_for(path)
        if rule.get("delay"):
            time.sleep(float(rule["delay"]))
        kind = rule.get("answer", "file")
        if kind == "close":
            self.close_connection = True
            return
        if kind == "html404":
            return self.send(404, NOT_FOUND_PAGE, "text/html", with_body)
        if kind == "empty":
            return self.send(200, b"", rule.get("content_type", "text/xml"), with_body)
        if kind == "redirect":
            return self.send(int(rule.get("status", 302)), b"", "text/html", with_body,
                             {"Location": rule["location"]})
        if kind == "status":
            return self.send(int(rule["status"]), rule.get("body", "").encode("utf-8"),
                             rule.get("content_type", "text/plain"), with_body)
        file_path = self.server.file_for(rule.get("file", path))
        if kind == "oversize":
            body = b""
            if file_path and os.path.isfile(file_path):
                with open(file_path, "rb") as f:
                    body = f.read()
            fill = rule.get("fill", " ").encode("utf-8") or b" "
            size = int(rule.get("size", DEFAULT_OVERSIZE))
            while len(body) < size:
                body += fill * max(1, (size - len(body)) // len(fill))
            return self.send(200, body[:size], rule.get("content_type", "text/xml"), with_body)
        if not file_path or not os.path.isfile(file_path):
            return self.send(404, NOT_FOUND_PAGE, "text/html", with_body)
        if kind in ("cut", "nolength", "stall"):
            return self.send_damaged(kind, file_path, rule, with_body)
        self.send_file(file_path, rule, with_body)

    def send_damaged(self, kind, file_path, rule, with_body):
        """The file with the answer broken as the rule says (Range is ignored)."""
        with open(file_path, "rb") as f:
            body = f.read()
        self.close_connection = True
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if kind != "nolength":
            self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        if not with_body:
            return
        if kind == "nolength":
            self.wfile.write(body)
            return
        sent = body[:int(rule.get("bytes", len(body) // 2))]
        self.wfile.write(sent)
        self.wfile.flush()
        if kind == "stall":
            time.sleep(float(rule.get("seconds", 30)))

    def send(self, status, body, content_type, with_body, extra=None):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in (extra or {}).items():
            self.send_header(name, value)
        self.end_headers()
        if with_body and body:
            self.wfile.write(body)

    def send_file(self, file_path, rule, with_body):
        size = os.path.getsize(file_path)
        content_type = rule.get("content_type") or CONTENT_TYPES.get(
            os.path.splitext(file_path)[1].lower(), "application/octet-stream")
        start, end, status = 0, size - 1, 200
        wanted = parse_range(self.headers.get("Range"), size)
        if wanted == "unsatisfiable":
            return self.send(416, b"", "text/plain", with_body,
                             {"Content-Range": "bytes */%d" % size})
        if wanted:
            start, end = wanted
            status = 206
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(max(0, end - start + 1)))
        self.send_header("Accept-Ranges", "bytes")
        if status == 206:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end, size))
        self.end_headers()
        if not with_body:
            return
        with open(file_path, "rb") as f:
            f.seek(start)
            left = end - start + 1
            while left > 0:
                chunk = f.read(min(left, 256 * 1024))
                if not chunk:
                    break
                self.wfile.write(chunk)
                left -= len(chunk)


def parse_range(header, size):
    """(start, end) of a single "bytes=" range, None when absent or not understood."""
    if not header:
        return None
    match = re.fullmatch(r"\s*bytes=(\d*)-(\d*)\s*", header)
    if not match or (not match.group(1) and not match.group(2)):
        return None
    if match.group(1):
        start = int(match.group(1))
        end = int(match.group(2)) if match.group(2) else size - 1
    else:
        start, end = max(0, size - int(match.group(2))), size - 1
    if start >= size or start > end:
        return "unsatisfiable"
    return start, min(end, size - 1)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port, root, log, address=HOST):
        self.root = os.path.realpath(root)
        self.log = log
        super().__init__((address, port), Handler)

    def record(self, handler):
        line = json.dumps({"port": self.server_address[1], "method": handler.command,
                           "path": handler.path, "headers": dict(handler.headers.items())})
        self.log.write(line)

    def rule_for(self, path):
        try:
            with open(os.path.join(self.root, RULES_FILE), encoding="utf-8") as f:
                rules = json.load(f)
        except (OSError, ValueError):
            return {}
        rule = rules.get(path, rules.get("*", {}))
        return rule if isinstance(rule, dict) else {}

    def file_for(self, path):
        """The file below the root for a URL path; None for a path that leaves the root."""
        full = os.path.realpath(os.path.join(self.root, path.lstrip("/")))
        if full != self.root and not full.startswith(self.root + os.sep):
            return None
        return full


class RequestLog:
    def __init__(self, path):
        self.lock = threading.Lock()
        self.file = open(path, "a", encoding="utf-8")

    def write(self, line):
        with self.lock:
            self.file.write(line + "\n")
            self.file.flush()


def serve(args):
    log = RequestLog(args.log)
    try:
        servers = [Server(port, args.root, log, args.address) for port in args.port]
    except OSError as error:
        print("cannot listen on %s: %s" % (args.port, error), file=sys.stderr)
        return 2
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    for server in servers:
        threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.1},
                         daemon=True).start()
    if args.ready_file:
        with open(args.ready_file + ".tmp", "w") as f:
            f.write(" ".join(str(p) for p in args.port) + "\n")
        os.replace(args.ready_file + ".tmp", args.ready_file)
    while not stop.wait(0.1):
        pass
    for server in servers:
        server.shutdown()
        server.server_close()
    return 0


def our_server(pid, state_dir):
    """True when `pid` is a server that "start" made for this state folder."""
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            words = f.read().split(b"\0")
    except OSError:
        return False
    return (os.path.basename(__file__).encode() in b" ".join(words)
            and os.path.join(state_dir, "requests.jsonl").encode() in words)


def read_pid(state_dir):
    try:
        with open(os.path.join(state_dir, "server.pid")) as f:
            return int(f.read().strip())
    except (OSError, ValueError):
        return None


def stop(args):
    state_dir = os.path.realpath(args.state_dir)
    pid = read_pid(state_dir)
    if pid is not None and our_server(pid, state_dir):
        os.kill(pid, signal.SIGTERM)
        for _ in range(100):
            if not our_server(pid, state_dir):
                break
            time.sleep(0.05)
        else:
            os.kill(pid, signal.SIGKILL)
    for name in ("server.pid", "server.ready"):
        try:
            os.remove(os.path.join(state_dir, name))
        except OSError:
            pass
    return 0


def start(args):
    state_dir = os.path.realpath(args.state_dir)
    os.makedirs(state_dir, exist_ok=True)
    os.makedirs(args.root, exist_ok=True)
    stop(args)  # a server left over from an interrupted run of this state folder
    ready = os.path.join(state_dir, "server.ready")
    log = os.path.join(state_dir, "requests.jsonl")
    for stale in (ready, log):
        if os.path.exists(stale):
            os.remove(stale)
    open(log, "w").close()
    command = [sys.executable, os.path.realpath(__file__), "serve", "--root",
               os.path.realpath(args.root), "--log", log, "--ready-file", ready]
    for port in args.port:
        command += ["--port", str(port)]
    command += ["--address", args.address]
    with open(os.path.join(state_dir, "server.out"), "wb") as out:
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                                   start_new_session=True, close_fds=True)
    with open(os.path.join(state_dir, "server.pid"), "w") as f:
        f.write("%d\n" % process.pid)
    for _ in range(200):
        if os.path.exists(ready):
            print("loopback server %d listening on %s port(s) %s, root %s"
                  % (process.pid, args.address, " ".join(map(str, args.port)), args.root))
            return 0
        if process.poll() is not None:
            break
        time.sleep(0.05)
    with open(os.path.join(state_dir, "server.out"), errors="replace") as f:
        sys.stderr.write(f.read())
    print("loopback server did not start", file=sys.stderr)
    stop(args)
    return 1


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    p = commands.add_parser("serve")
    p.add_argument("--root", required=True)
    p.add_argument("--port", type=int, action="append", required=True)
    p.add_argument("--log", required=True)
    p.add_argument("--ready-file")
    p.add_argument("--address", default=HOST)
    p = commands.add_parser("start")
    p.add_argument("--state-dir", required=True)
    p.add_argument("--root", required=True)
    p.add_argument("--port", type=int, action="append", required=True)
    p.add_argument("--address", default=HOST)
    p = commands.add_parser("stop")
    p.add_argument("--state-dir", required=True)
    args = parser.parse_args()
    return {"serve": serve, "start": start, "stop": stop}[args.command](args)


if __name__ == "__main__":
    sys.exit(main())
