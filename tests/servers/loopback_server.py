#!/usr/bin/env python3
"""Loopback HTTP server that stands in for the publisher's servers in tests.

It listens on one or more ports of a loopback address (127.0.0.1 by default) and serves the files
below its root, read again for every request. Every request is appended to the request log as
one JSON line ({"port", "method", "path" with its query, "headers"}) before it is answered.

<root>/_rules.json maps a path (without query; "*" for every other path) to another answer:
    {"answer": "html404"}                      a 404 page
    {"answer": "empty"}                        200 with no body
    {"answer": "oversize", "size": N, "fill": " "}   the file, filled up to N bytes
    {"answer": "redirect", "status": 302, "location": "...", "headers": {"Name": "value"}}
                                               (the extra headers, if any, come before Location)
    {"answer": "close"}                        drops the connection without an answer
    {"answer": "cut", "bytes": N}              announces the whole file, sends N bytes, closes
    {"answer": "nolength"}                     the file without Content-Length ("bytes": N cuts
                                               it after N bytes, a clean close of the connection)
    {"answer": "stall", "bytes": N, "seconds": S}   N bytes, then S seconds of nothing
    {"answer": "rate", "bytes_per_second": N}  the file (with Range) at a steady N bytes a second
    {"answer": "endless", "seconds": S}        200 without Content-Length, then bytes without end
                                               (until the client goes, or S seconds, 120 by default)
Any rule may add "delay" (seconds before answering). Files are served with Range support.

Commands:
    serve --root DIR --port P [--port P ...] --log FILE [--ready-file FILE] [--address A]
    start --state-dir DIR --root DIR --port P [--port P ...] [--address A]   (in the background)
    stop --state-dir DIR
"start" keeps the process id in <state-dir>/server.pid and the request log in
<state-dir>/requests.jsonl; "stop" ends that process (and only that one).
"""
import argparse
import datetime
import http.server
import json
import os
import re
import socketserver
import subprocess
import sys
import threading
import time
import urllib.parse

from server_process import command_words, stop_recorded

NOT_FOUND_PAGE = (b"<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>\n"
                  b"<body><h1>Not Found</h1></body></html>\n")
LOG_LOCK = threading.Lock()  # the servers of one process share the request log


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):  # the request log replaces the default stderr lines
        pass

    def do_GET(self):
        self.server.record(self)
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        rule = self.server.rule_for(path)
        time.sleep(float(rule.get("delay", 0)))
        kind = rule.get("answer", "file")
        if kind == "close":
            self.close_connection = True
            return
        if kind == "empty":
            return self.send(200, b"", "text/xml")
        if kind == "endless":
            return self.send_endless(rule)
        if kind == "redirect":
            return self.send(int(rule.get("status", 302)), b"", "text/html",
                             dict(rule.get("headers", {}), Location=rule["location"]))
        file_path = self.server.file_for(path)
        body = b""
        if file_path and os.path.isfile(file_path):
            with open(file_path, "rb") as f:
                body = f.read()
        elif kind != "oversize":
            kind = "html404"
        if kind == "html404":
            return self.send(404, NOT_FOUND_PAGE, "text/html")
        if kind == "oversize":
            fill = rule.get("fill", " ").encode("utf-8")
            size = int(rule["size"])
            body += fill * ((size - len(body)) // len(fill) + 1)
            return self.send(200, body[:size], "text/xml")
        if kind in ("cut", "nolength", "stall"):
            return self.send_damaged(kind, body, rule)
        rate = float(rule["bytes_per_second"]) if kind == "rate" else None
        wanted = parse_range(self.headers.get("Range"), len(body))
        if wanted == "unsatisfiable":
            return self.send(416, b"", "text/plain", {"Content-Range": "bytes */%d" % len(body)})
        if wanted:
            start, end = wanted
            return self.send(206, body[start:end + 1], "application/octet-stream",
                             {"Content-Range": "bytes %d-%d/%d" % (start, end, len(body))}, rate)
        self.send(200, body, "application/octet-stream", rate=rate)

    def send_damaged(self, kind, body, rule):
        """The file with the answer broken as the rule says (Range is ignored)."""
        self.close_connection = True
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if kind != "nolength":
            self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        default = len(body) if kind == "nolength" else len(body) // 2
        self.wfile.write(body[:int(rule.get("bytes", default))])
        self.wfile.flush()
        if kind == "stall":
            time.sleep(float(rule.get("seconds", 30)))

    def send_endless(self, rule):
        self.close_connection = True
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Connection", "close")
        self.end_headers()
        block = b"\x90" * 65536
        deadline = time.monotonic() + float(rule.get("seconds", 120))
        try:
            while time.monotonic() < deadline:
                self.wfile.write(block)
        except OSError:
            pass  # the client went

    def send(self, status, body, content_type, extra=None, rate=None):
        """The answer; with a rate, the body goes out in small blocks at that many bytes a
        second."""
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in (extra or {}).items():
            self.send_header(name, value)
        self.end_headers()
        if not rate:
            self.wfile.write(body)
            return
        block = max(1, min(4096, int(rate / 20)))
        started = time.monotonic()
        for at in range(0, len(body), block):
            self.wfile.write(body[at:at + block])
            self.wfile.flush()
            time.sleep(max(0.0, started + (at + block) / rate - time.monotonic()))


def parse_range(header, size):
    """(start, end) of a "bytes=start-[end]" range, None when absent or not understood."""
    match = re.fullmatch(r"\s*bytes=(\d+)-(\d*)\s*", header or "")
    if not match:
        return None
    start = int(match.group(1))
    end = min(int(match.group(2) or size - 1), size - 1)
    return "unsatisfiable" if start >= size or start > end else (start, end)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port, root, log, address):
        self.root = os.path.realpath(root)
        self.log = log
        super().__init__((address, port), Handler)

    def record(self, handler):
        # The time and the client address name a report in the publisher's statistics.
        now = datetime.datetime.now(datetime.timezone.utc).isoformat(timespec="milliseconds")
        line = json.dumps({"time": now.replace("+00:00", "Z"), "client": handler.client_address[0],
                           "port": self.server_address[1], "method": handler.command,
                           "path": handler.path, "headers": dict(handler.headers.items())})
        with LOG_LOCK:
            self.log.write(line + "\n")
            self.log.flush()

    def rule_for(self, path):
        try:
            with open(os.path.join(self.root, "_rules.json"), encoding="utf-8") as f:
                rules = json.load(f)
        except (OSError, ValueError):
            return {}
        return rules.get(path, rules.get("*", {}))

    def file_for(self, path):
        """The file below the root for a URL path; None for a path that leaves the root."""
        full = os.path.realpath(os.path.join(self.root, path.lstrip("/")))
        return full if full.startswith(self.root + os.sep) else None


def serve(args):
    log = open(args.log, "a", encoding="utf-8")
    servers = [Server(port, args.root, log, args.address) for port in args.port]
    for server in servers[1:]:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    if args.ready_file:
        with open(args.ready_file + ".tmp", "w") as f:
            f.write(" ".join(str(p) for p in args.port) + "\n")
        os.replace(args.ready_file + ".tmp", args.ready_file)
    servers[0].serve_forever()  # until SIGTERM ends the process


def our_server(pid, state_dir):
    """True when `pid` is a server that "start" made for this state folder."""
    words = command_words(pid)
    return (words is not None and os.path.basename(__file__).encode() in b" ".join(words)
            and os.path.join(state_dir, "requests.jsonl").encode() in words)


def stop(args):
    state_dir = os.path.realpath(args.state_dir)
    return stop_recorded(state_dir, lambda pid: our_server(pid, state_dir),
                         ("server.pid", "server.ready"))


def start(args):
    state_dir = os.path.realpath(args.state_dir)
    os.makedirs(state_dir, exist_ok=True)
    os.makedirs(args.root, exist_ok=True)
    stop(args)  # a server left over from an interrupted run of this state folder
    ready = os.path.join(state_dir, "server.ready")
    log = os.path.join(state_dir, "requests.jsonl")
    open(log, "w").close()
    command = [sys.executable, os.path.realpath(__file__), "serve", "--root",
               os.path.realpath(args.root), "--log", log, "--ready-file", ready,
               "--address", args.address]
    for port in args.port:
        command += ["--port", str(port)]
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
    serve_parser, start_parser, stop_parser = map(commands.add_parser, ("serve", "start", "stop"))
    serve_parser.add_argument("--log", required=True)
    serve_parser.add_argument("--ready-file")
    for p in (start_parser, stop_parser):
        p.add_argument("--state-dir", required=True)
    for p in (serve_parser, start_parser):
        p.add_argument("--root", required=True)
        p.add_argument("--port", type=int, action="append", required=True)
        p.add_argument("--address", default="127.0.0.1")
    args = parser.parse_args()
    return {"serve": serve, "start": start, "stop": stop}[args.command](args)


if __name__ == "__main__":
    sys.exit(main())
